// Chroma key against a key colour in the CbCr plane, with spill reduction,
// mask erosion and background compositing.
//   KEY_PASS:       key + horizontal erosion -> despilled colour, alpha
//   COMPOSITE_PASS: vertical erosion of that alpha + composite
//   neither:        key + composite in one pass (no erosion)
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform sampler2D u_bg;
uniform vec2 u_keyChroma;     // key Cb, Cr minus 0.5
uniform float u_keyLuma;
uniform float u_threshold;    // chroma distance fully keyed below
uniform float u_ramp;         // width of the soft edge
uniform float u_despill;      // 0..1
uniform float u_deshadow;     // 0..1
uniform int u_spillChannel;   // 1 green, 2 blue
uniform vec2 u_texel;
uniform int u_radius;
uniform int u_hasBackground;
uniform vec2 u_bgScale;
uniform vec2 u_bgOffset;

float keyAlpha(vec3 c)
{
    float y = luma(c);
    vec2 cc = vec2(-0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b,
                   0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b);
    // Shadows on the screen are darker, less saturated shades of the key:
    // scaling their chroma up by the luma ratio brings them back to it.
    float shade = clamp(u_keyLuma / max(y, 0.02), 1.0, 4.0);
    cc *= mix(1.0, shade, u_deshadow);
    return smoothstep(u_threshold, u_threshold + u_ramp, distance(cc, u_keyChroma));
}

vec3 despill(vec3 c)
{
    if (u_spillChannel == 2) {
        float limit = max(c.r, c.g);
        c.b -= u_despill * max(c.b - limit, 0.0);
    } else {
        float limit = max(c.r, c.b);
        c.g -= u_despill * max(c.g - limit, 0.0);
    }
    return c;
}

vec4 composite(vec3 fg, float alpha)
{
    if (u_hasBackground != 0) {
        vec3 bg = texture(u_bg, v_uv * u_bgScale + u_bgOffset).rgb;
        return vec4(mix(bg, fg, alpha), 1.0);
    }
    return vec4(fg * alpha, alpha);
}

void main()
{
#if defined(KEY_PASS)
    vec3 c = texture(u_src, v_uv).rgb;
    float a = keyAlpha(c);
    for (int i = 1; i <= u_radius; ++i) {
        a = min(a, keyAlpha(texture(u_src, v_uv + vec2(float(i) * u_texel.x, 0.0)).rgb));
        a = min(a, keyAlpha(texture(u_src, v_uv - vec2(float(i) * u_texel.x, 0.0)).rgb));
    }
    o_color = vec4(despill(c), a);
#elif defined(COMPOSITE_PASS)
    vec4 k = texture(u_src, v_uv);
    float a = k.a;
    for (int i = 1; i <= u_radius; ++i) {
        a = min(a, texture(u_src, v_uv + vec2(0.0, float(i) * u_texel.y)).a);
        a = min(a, texture(u_src, v_uv - vec2(0.0, float(i) * u_texel.y)).a);
    }
    o_color = composite(k.rgb, a);
#else
    vec3 c = texture(u_src, v_uv).rgb;
    o_color = composite(despill(c), keyAlpha(c));
#endif
}
