// Image-quality family and the global colour operations. Every operation is
// compiled only when its setting is not neutral.
uniform float u_contrast;       // factor around mid grey
uniform float u_saturation;     // factor around luma
uniform float u_brightness;     // -0.8..0.8, quadratic lift or drop
uniform vec3 u_gain;            // temperature and tint as channel gains
uniform float u_shadows;        // -1..1
uniform float u_highlights;     // -1..1
uniform float u_fade;           // 0..1
uniform float u_vignette;       // 0..1
uniform float u_grain;          // 0..1
uniform float u_grainSeed;
uniform float u_aspect;

vec3 applyBrightness(vec3 c)  { c = clamp(c, 0.0, 1.0); return c + u_brightness * c * (1.0 - c); }
vec3 applyContrast(vec3 c)    { return (c - 0.5) * u_contrast + 0.5; }
vec3 applySaturation(vec3 c)  { float y = luma(c); return mix(vec3(y), c, u_saturation); }
vec3 applyGain(vec3 c)        { return c * u_gain; }

vec3 applyShadowsHighlights(vec3 c)
{
    float y = clamp(luma(c), 0.0, 1.0);
    float shadowMask = (1.0 - y) * (1.0 - y);
    float highlightMask = y * y;
    return c + vec3(u_shadows * 0.35 * shadowMask + u_highlights * 0.35 * highlightMask);
}

vec3 applyFade(vec3 c)        { return mix(c, vec3(0.16) + c * 0.72, u_fade); }

// The global colour grade: functions of the colour alone, in chain order.
// With a 3D filter they are baked into its table (lut_bake.frag), so the
// frame pays one lookup for all of them.
vec3 applyColourGrade(vec3 c)
{
#ifdef BRIGHTNESS
    c = applyBrightness(c);
#endif
#ifdef CONTRAST
    c = applyContrast(c);
#endif
#ifdef SATURATION
    c = applySaturation(c);
#endif
#ifdef GAIN
    c = applyGain(c);
#endif
#ifdef SHADOWS_HIGHLIGHTS
    c = applyShadowsHighlights(c);
#endif
#ifdef FADE
    c = applyFade(c);
#endif
    return c;
}

vec3 applyVignette(vec3 c, vec2 uv)
{
    vec2 d = (uv - 0.5) * vec2(u_aspect, 1.0) / max(u_aspect, 1.0);
    float r = length(d) * 1.414;
    return c * (1.0 - u_vignette * 0.85 * smoothstep(0.35, 1.0, r));
}

vec3 applyGrain(vec3 c, vec2 fragCoord)
{
    float n = fract(sin(dot(fragCoord + u_grainSeed, vec2(12.9898, 78.233))) * 43758.5453);
    return c + vec3((n - 0.5) * u_grain * 0.2);
}
