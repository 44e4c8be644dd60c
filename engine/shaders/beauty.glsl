// Beauty family: skin smoothing, whitening, rosy tone.
uniform sampler2D u_blur;   // downscaled: rgb local mean, a weight of the own value
uniform float u_whiten;     // 0..1
uniform float u_rosy;       // 0..1

// Guided-filter style smoothing on skin; beauty_blur.frag did the work.
vec3 smoothSkin(vec3 c, vec2 uv, out vec3 localMean)
{
    vec4 m = texture(u_blur, uv);
    localMean = m.rgb;
    return m.rgb + m.a * (c - m.rgb);
}

vec3 whitenSkin(vec3 c, float skin)
{
    // Quadratic lift: brightens mid-tones most, keeps black and white points.
    vec3 lifted = c + 0.6 * c * (1.0 - c);
    return mix(c, lifted, u_whiten * (0.35 + 0.65 * skin));
}

vec3 rosySkin(vec3 c, float skin)
{
    vec3 rose = softLight(c, vec3(0.95, 0.34, 0.45));
    return mix(c, rose, u_rosy * skin * 0.75);
}
