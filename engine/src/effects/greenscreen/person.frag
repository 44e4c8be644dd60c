// Background replacement over the portrait mask (256 x 256 over the frame).
//   GUIDE_PASS:     the frame at the mask's grid (rgb) with the mask (a)
//   BAND_PASS:      how much the mask varies over the 5 x 5 cells about each
//                   cell (the footprint of the refinement below)
//   BLUR_PASS:      one direction of a Gaussian blur of the background
//                   alone: samples are weighted by 1 - mask, so the person
//                   never bleeds into the blurred background (no halo).
//                   rgb = weighted mean colour, a = mean background weight.
//   COMPOSITE_PASS: joint-bilateral upsampling of the mask at full size
//                   (weights follow the frame's colours, so the edge sits on
//                   hair and shoulders rather than on the coarse grid), then
//                   the frame over the background picture or the blur.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform sampler2D u_mask;
uniform sampler2D u_guide;
uniform sampler2D u_bg;
uniform sampler2D u_band;
uniform vec2 u_texel;       // one texel of u_src (guide) or u_guide (blur)
uniform vec2 u_step;        // blur direction, in texture coordinates
uniform float u_sigma;      // blur sigma in steps
uniform int u_radius;       // blur taps each side
uniform int u_firstBlur;    // 1: read the guide (weights from its mask)
uniform int u_useBlur;      // composite over the blur (else over u_bg)
uniform vec2 u_bgScale;
uniform vec2 u_bgOffset;

#if defined(GUIDE_PASS)
void main()
{
    // Four bilinear taps: the mean of about a 2 x 2 frame-pixel neighbourhood
    // per tap, wide enough that the guide does not alias on fine texture.
    vec2 d = 0.25 * u_texel;
    vec3 c = texture(u_src, v_uv + vec2(-d.x, -d.y)).rgb + texture(u_src, v_uv + vec2(d.x, -d.y)).rgb
           + texture(u_src, v_uv + vec2(-d.x, d.y)).rgb + texture(u_src, v_uv + vec2(d.x, d.y)).rgb;
    o_color = vec4(0.25 * c, texture(u_mask, v_uv).r);
}
#elif defined(BAND_PASS)
void main()
{
    ivec2 size = textureSize(u_src, 0);
    ivec2 c = ivec2(gl_FragCoord.xy);
    float lo = 1.0;
    float hi = 0.0;
    for (int j = -2; j <= 2; ++j) {
        for (int i = -2; i <= 2; ++i) {
            float a = texelFetch(u_src, clamp(c + ivec2(i, j), ivec2(0), size - 1), 0).a;
            lo = min(lo, a);
            hi = max(hi, a);
        }
    }
    o_color = vec4(hi - lo);
}
#elif defined(BLUR_PASS)
void main()
{
    vec3 sum = vec3(0.0);
    float weight = 0.0;
    float total = 0.0;
    for (int i = -u_radius; i <= u_radius; ++i) {
        float g = exp(-0.5 * float(i * i) / (u_sigma * u_sigma));
        vec4 s = texture(u_src, v_uv + float(i) * u_step);
        float w = u_firstBlur != 0 ? 1.0 - s.a : s.a;
        sum += s.rgb * (g * w);
        weight += g * w;
        total += g;
    }
    o_color = weight > 1e-4 ? vec4(sum / weight, weight / total) : vec4(texture(u_src, v_uv).rgb, 0.0);
}
#else
void main()
{
    vec4 c = texture(u_src, v_uv);
    vec2 size = vec2(textureSize(u_guide, 0));
    vec2 p = v_uv * size - 0.5;
    vec2 base = floor(p);
    float sum = texture(u_guide, v_uv).a;
    float weight = 1.0;
    // Where the mask is flat (most of the frame) the refinement cannot
    // change it: skip the 16 taps.
    bool edge = texture(u_band, v_uv).r > 0.02;
    if (edge) {
        sum = 0.0;
        weight = 0.0;
        for (int j = -1; j <= 2; ++j) {
            for (int i = -1; i <= 2; ++i) {
                vec2 t = base + vec2(float(i), float(j));
                vec4 g = texelFetch(u_guide, ivec2(clamp(t, vec2(0.0), size - 1.0)), 0);
                vec2 dp = t - p;
                vec3 dc = c.rgb - g.rgb;
                // Spatial sigma 1 mask cell, colour sigma 0.1.
                float w = exp(-0.5 * dot(dp, dp) - 50.0 * dot(dc, dc)) + 1e-6;
                sum += w * g.a;
                weight += w;
            }
        }
    }
    // Cells the model is unsure of (below 0.3) are background: no ghosts of
    // the old background in the new one.
    float alpha = smoothstep(0.3, 0.8, sum / weight);
#if defined(SHOW_MASK)
    o_color = vec4(vec3(alpha), 1.0);
    return;
#endif
    vec3 bg;
    if (u_useBlur != 0) {
        vec4 b = texture(u_bg, v_uv);
        bg = b.a > 0.0 ? b.rgb : c.rgb;
    } else {
        bg = texture(u_bg, v_uv * u_bgScale + u_bgOffset).rgb;
    }
    o_color = vec4(mix(bg, c.rgb, alpha), c.a);
}
#endif
