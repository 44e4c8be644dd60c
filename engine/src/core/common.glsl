// Helpers shared by the fused colour pass.
float luma(vec3 c)
{
    return dot(c, vec3(0.299, 0.587, 0.114));
}

// Soft skin likelihood from the chroma plane (Cb 0.30..0.50, Cr 0.52..0.68
// with soft borders); very dark pixels (pupils, brows, hair) are not skin.
// Both chroma windows are symmetric, so each is one ramp on the distance
// from its centre (Cb 0.40, Cr 0.605): the same values as a rising times a
// falling edge, with half the work on the fused full-size pass.
float skinLikelihood(vec3 c)
{
    float y = luma(c);
    vec2 chroma = vec2(dot(c, vec3(-0.168736, -0.331264, 0.5)) + 0.5,
                       dot(c, vec3(0.5, -0.418688, -0.081312)) + 0.5);
    vec2 outside = smoothstep(vec2(0.09, 0.065), vec2(0.13, 0.105), abs(chroma - vec2(0.40, 0.605)));
    return (1.0 - outside.x) * (1.0 - outside.y) * smoothstep(0.12, 0.25, y);
}

// Soft light (the smooth "pegtop" form: no branches, no square roots).
vec3 softLight(vec3 base, vec3 blend)
{
    return (1.0 - 2.0 * blend) * base * base + 2.0 * blend * base;
}
