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
    // Quadratic lift c + 0.6 c (1 - c), mixed in by strength and skin:
    // brightens mid-tones most, keeps black and white points.
    return c + (0.6 * u_whiten * (0.35 + 0.65 * skin)) * (c - c * c);
}

vec3 rosySkin(vec3 c, float skin)
{
    // Mix towards softLight(c, rose): for a fixed rose tone b that is
    // (1 - 2b) c^2 + 2b c, so the mix is c + t ((1 - 2b) c^2 + (2b - 1) c).
    const vec3 k = vec3(1.0) - 2.0 * vec3(0.95, 0.34, 0.45);
    return c + (0.75 * u_rosy * skin) * (k * (c * c - c));
}
