// Helpers shared by the fused colour pass.
float luma(vec3 c)
{
    return dot(c, vec3(0.299, 0.587, 0.114));
}

// Soft skin likelihood from the chroma plane (Cb 0.30..0.50, Cr 0.52..0.68
// with soft borders); very dark pixels (pupils, brows, hair) are not skin.
float skinLikelihood(vec3 c)
{
    float y = luma(c);
    float cb = -0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b + 0.5;
    float cr = 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b + 0.5;
    float inCb = smoothstep(0.27, 0.31, cb) * (1.0 - smoothstep(0.49, 0.53, cb));
    float inCr = smoothstep(0.50, 0.54, cr) * (1.0 - smoothstep(0.67, 0.71, cr));
    return inCb * inCr * smoothstep(0.12, 0.25, y);
}

// Soft light (the smooth "pegtop" form: no branches, no square roots).
vec3 softLight(vec3 base, vec3 blend)
{
    return (1.0 - 2.0 * blend) * base * base + 2.0 * blend * base;
}
