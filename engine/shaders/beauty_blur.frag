// Separable 13-tap Gaussian at half resolution for the skin smoothing.
// The first (horizontal) pass reads the full-size picture at the centres of
// 2x2 blocks, so linear filtering also does the downscale; it stores the
// colour mean and the mean of squared luma (alpha) for the local variance.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform vec2 u_step;
const float kWeights[7] = float[7](0.1372, 0.1296, 0.1097, 0.0831, 0.0563, 0.0342, 0.0185);
void main()
{
    vec4 sum = vec4(0.0);
    for (int i = -6; i <= 6; ++i) {
        vec4 s = texture(u_src, v_uv + float(i) * u_step);
#ifdef FIRST_PASS
        float y = dot(s.rgb, vec3(0.299, 0.587, 0.114));
        s.a = y * y;
#endif
        sum += s * kWeights[abs(i)];
    }
    o_color = sum;
}
