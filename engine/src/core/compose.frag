// The fused per-pixel pass: smoothing, sharpening, skin tone, global colour,
// filter, vignette and grain in one draw. Each block exists only when its
// define is set, so neutral settings cost nothing.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform vec2 u_texel;
uniform float u_sharpen;

void main()
{
#ifdef WARP
    vec2 uv = warpedUv(v_uv);
#else
    vec2 uv = v_uv;
#endif
    vec4 src = texture(u_src, uv);
    vec3 c = src.rgb;
    float skin = 0.0;
#ifdef SMOOTH
    vec3 localMean;
    c = smoothSkin(c, uv, localMean);
#if defined(WHITEN) || defined(ROSY)
    skin = skinLikelihood(localMean);
#endif
#elif defined(SKIN_TONE)
    skin = skinLikelihood(c);
#endif
#ifdef SHARPEN
#ifdef SCALED_SOURCE
    // Neighbours one output pixel away in a source of another size.
    vec3 around = texture(u_src, uv + vec2(u_texel.x, 0.0)).rgb
                + texture(u_src, uv - vec2(u_texel.x, 0.0)).rgb
                + texture(u_src, uv + vec2(0.0, u_texel.y)).rgb
                + texture(u_src, uv - vec2(0.0, u_texel.y)).rgb;
#else
    // Constant texel offsets: no coordinate arithmetic per tap.
    vec3 around = textureOffset(u_src, uv, ivec2(1, 0)).rgb
                + textureOffset(u_src, uv, ivec2(-1, 0)).rgb
                + textureOffset(u_src, uv, ivec2(0, 1)).rgb
                + textureOffset(u_src, uv, ivec2(0, -1)).rgb;
#endif
    c += u_sharpen * (src.rgb - around * 0.25);
#endif
#ifdef WHITEN
    c = whitenSkin(clamp(c, 0.0, 1.0), skin);
#endif
#ifdef ROSY
    c = rosySkin(clamp(c, 0.0, 1.0), skin);
#endif
#ifdef LUT_BAKED
    // Colour grade, filter and intensity in one table lookup.
    c = texture(u_lut3d, clamp(c, 0.0, 1.0) * u_lutScale + u_lutOffset).rgb;
#else
    c = applyColourGrade(c);
#if defined(LUT3D) || defined(LUT1D)
    c = applyLut(clamp(c, 0.0, 1.0));
#endif
#endif
#ifdef VIGNETTE
    c = applyVignette(c, v_uv);
#endif
#ifdef GRAIN
    c = applyGrain(c, gl_FragCoord.xy);
#endif
    o_color = vec4(clamp(c, 0.0, 1.0), src.a);
}
