// Background replacement over the portrait mask (256 x 256 over the frame;
// its texture holds the mask in r and, in g, how much the mask varies over
// the 5 x 5 cells about each cell: the footprint of the refinement below).
//   GUIDE_PASS:     the frame at the mask's grid (rgb) with the mask (a)
//   BLUR_PASS:      one direction of a Gaussian blur of the background
//                   alone: samples are weighted by 1 - mask, so the person
//                   never bleeds into the blurred background (no halo).
//                   rgb = weighted sum of colours (premultiplied), a = mean
//                   background weight, both over the Gaussian's total, so
//                   that bilinear reads of the result weight by coverage.
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
uniform vec2 u_texel;       // one texel of u_src (guide) or u_guide (blur)
uniform vec2 u_step;        // blur direction, in texture coordinates
uniform float u_sigma;      // blur sigma in steps
uniform int u_radius;       // blur taps each side
uniform int u_firstBlur;    // 1: read the guide (weights from its mask)
                            // 0: read the first pass (premultiplied)
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
#elif defined(BLUR_PASS)
void main()
{
    // Gaussian weights by ratios (g(i + 1) / g(i) = q^(2i + 1)): one exp per
    // pixel instead of one per tap.
    float q = exp(-0.5 / (u_sigma * u_sigma));
    vec4 s = texture(u_src, v_uv);
    float w = u_firstBlur != 0 ? 1.0 - s.a : s.a;
    vec3 sum = u_firstBlur != 0 ? s.rgb * w : s.rgb;
    float weight = w;
    float total = 1.0;
    float g = 1.0;
    float r = q;
    for (int i = 1; i <= u_radius; ++i) {
        g *= r;
        r *= q * q;
        vec4 a = texture(u_src, v_uv + float(i) * u_step);
        vec4 b = texture(u_src, v_uv - float(i) * u_step);
        if (u_firstBlur != 0) {
            sum += g * (a.rgb * (1.0 - a.a) + b.rgb * (1.0 - b.a));
            weight += g * ((1.0 - a.a) + (1.0 - b.a));
        } else {
            sum += g * (a.rgb + b.rgb);
            weight += g * (a.a + b.a);
        }
        total += 2.0 * g;
    }
    o_color = vec4(sum / total, weight / total);
}
#else
void main()
{
    vec4 c = texture(u_src, v_uv);
    vec2 size = vec2(textureSize(u_guide, 0));
    vec2 p = v_uv * size - 0.5;
    vec2 base = floor(p);
    // Where the mask is flat (most of the frame) the refinement cannot
    // change it: the mask's own cell is the answer. The taps run in a loop
    // whose trip count is zero there: a software rasteriser runs both sides
    // of an if for a whole block of pixels, but leaves a loop as soon as no
    // pixel of the block needs it.
    vec2 maskAndBand = texture(u_mask, v_uv).rg;
    int taps = maskAndBand.g > 0.02 ? 16 : 0;
    float sum = taps == 0 ? maskAndBand.r : 0.0;
    float weight = taps == 0 ? 1.0 : 0.0;
    for (int k = 0; k < taps; ++k) {
        vec2 t = base + vec2(float(k % 4 - 1), float(k / 4 - 1));
        vec4 g = texelFetch(u_guide, ivec2(clamp(t, vec2(0.0), size - 1.0)), 0);
        vec2 dp = t - p;
        vec3 dc = c.rgb - g.rgb;
        // Spatial sigma 1 mask cell, colour sigma 0.1.
        float w = exp(-0.5 * dot(dp, dp) - 50.0 * dot(dc, dc)) + 1e-6;
        sum += w * g.a;
        weight += w;
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
        // Premultiplied: cells without any background carry no colour.
        vec4 b = texture(u_bg, v_uv);
        bg = b.a > 1e-3 ? b.rgb / b.a : c.rgb;
    } else {
        bg = texture(u_bg, v_uv * u_bgScale + u_bgOffset).rgb;
    }
    o_color = vec4(mix(bg, c.rgb, alpha), c.a);
}
#endif
