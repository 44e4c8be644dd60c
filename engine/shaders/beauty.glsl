// Beauty family: skin smoothing, whitening, rosy tone.
uniform sampler2D u_blur;   // half-size: rgb mean, mean of squared luma
uniform float u_smooth;     // 0..1
uniform float u_smoothEps;  // guided-filter regulariser
uniform float u_whiten;     // 0..1
uniform float u_rosy;       // 0..1

// Guided-filter style smoothing on the local mean and variance: flat (skin)
// areas move to the mean, high-variance areas (edges, eyes, hair) keep
// their own value. Only skin-coloured areas are smoothed.
vec3 smoothSkin(vec3 c, vec2 uv, out float skin)
{
    vec4 m = texture(u_blur, uv);
    float ym = luma(m.rgb);
    float variance = max(m.a - ym * ym, 0.0);
    float keep = variance / (variance + u_smoothEps);
    vec3 smoothed = m.rgb + keep * (c - m.rgb);
    skin = skinLikelihood(m.rgb);
    return mix(c, smoothed, u_smooth * skin);
}

vec3 whitenSkin(vec3 c, float skin)
{
    // Logarithmic lift: brightens mid-tones, keeps white and black points.
    const float beta = 5.0;
    vec3 lifted = log(c * (beta - 1.0) + 1.0) / log(beta);
    return mix(c, lifted, u_whiten * (0.35 + 0.65 * skin));
}

vec3 rosySkin(vec3 c, float skin)
{
    vec3 rose = softLight(c, vec3(0.95, 0.34, 0.45));
    return mix(c, rose, u_rosy * skin * 0.75);
}
