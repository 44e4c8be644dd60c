// Separable 13-tap Gaussian on the downscaled picture for the skin
// smoothing, texel-centred taps, 8-bit textures throughout (cheap to write
// and read on every driver).
//   FIRST_PASS (horizontal): rgb = colour mean, a = 2 x standard deviation
//   of luma along the row (square root keeps small variances precise).
//   second pass (vertical): the variance of the whole window is the mean of
//   the row variances plus the variance of the row means. From it comes the
//   guided-filter weight of the picture's own value next to the mean, then
//   the final weight with strength and skin likelihood folded in:
//   result = mean + a x (own - mean), one multiply-add at full size.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform float u_smoothEps;
uniform float u_smooth;
#ifdef FACE_MASK
// Per face 8 vec4 in output pixels: the face's axis (x, y, 0, 0), then
// ellipses (centre x, y, semi-axes along the face's x, y): the face oval,
// then the parts kept sharp (eyes, brows, mouth, nostrils).
uniform vec4 u_faces[32];
uniform int u_faceCount;
uniform vec2 u_size;

float insideEllipse(vec2 p, vec2 ax, vec4 e, float soft)
{
    vec2 d = p - e.xy;
    vec2 q = vec2(dot(d, ax), dot(d, vec2(-ax.y, ax.x))) / e.zw;
    return 1.0 - smoothstep(1.0 - soft, 1.0, length(q));
}

// x: inside a face oval; y: skin there (the oval without the kept parts).
vec2 faceSkin(vec2 p)
{
    vec2 best = vec2(0.0);
    for (int f = 0; f < u_faceCount; ++f) {
        vec2 ax = u_faces[8 * f].xy;
        float oval = insideEllipse(p, ax, u_faces[8 * f + 1], 0.25);
        if (oval <= 0.0)
            continue;
        float skin = oval;
        for (int i = 2; i < 8; ++i)
            skin *= 1.0 - insideEllipse(p, ax, u_faces[8 * f + i], 0.45);
        best = max(best, vec2(oval, skin));
    }
    return best;
}
#endif
const float kWeights[7] = float[7](0.1372, 0.1296, 0.1097, 0.0831, 0.0563, 0.0342, 0.0185);
const vec3 kLuma = vec3(0.299, 0.587, 0.114);
// common.glsl (luma, skinLikelihood) is pasted in front of this file.
// Taps at constant texel offsets (no coordinate arithmetic per tap), along
// the row in the first pass and along the column in the second.
#ifdef FIRST_PASS
#define OFFSET(i) ivec2(i, 0)
#else
#define OFFSET(i) ivec2(0, i)
#endif
#define TAPS TAP(-6) TAP(-5) TAP(-4) TAP(-3) TAP(-2) TAP(-1) TAP(0) TAP(1) TAP(2) TAP(3) TAP(4) TAP(5) TAP(6)
void main()
{
    vec3 mean = vec3(0.0);
#ifdef FIRST_PASS
    float y2 = 0.0;
#define TAP(i) { \
        vec3 s = textureOffset(u_src, v_uv, OFFSET(i)).rgb; \
        float y = dot(s, kLuma); \
        mean += s * kWeights[abs(i)]; \
        y2 += y * y * kWeights[abs(i)]; }
    TAPS
    float ym = dot(mean, kLuma);
    o_color = vec4(mean, 2.0 * sqrt(max(y2 - ym * ym, 0.0)));
#else
    float rowVariance = 0.0;
    float rowMean2 = 0.0;
#define TAP(i) { \
        vec4 s = textureOffset(u_src, v_uv, OFFSET(i)); \
        float sd = 0.5 * s.a; \
        float y = dot(s.rgb, kLuma); \
        mean += s.rgb * kWeights[abs(i)]; \
        rowVariance += sd * sd * kWeights[abs(i)]; \
        rowMean2 += y * y * kWeights[abs(i)]; }
    TAPS
    float ym = dot(mean, kLuma);
    // Flat (skin) areas move to the mean, areas of high local variance
    // (edges, eyes, hair) keep their own value.
    float variance = rowVariance + max(rowMean2 - ym * ym, 0.0);
#ifdef FACE_MASK
    // Inside a face the landmarks say where skin is: wrinkles and blemishes
    // (much more variance than plain skin) are flattened too, and the eyes,
    // brows, lips and nostrils are left alone whatever their colour.
    vec2 face = faceSkin(v_uv * u_size);
    float keep = variance / (variance + u_smoothEps * (1.0 + 10.0 * face.y));
    float skin = mix(skinLikelihood(mean), face.y, face.x);
    float strength = u_smooth * (1.0 + 0.05 * face.y);
    o_color = vec4(mean, 1.0 - min(strength, 1.0) * skin * (1.0 - keep));
#else
    float keep = variance / (variance + u_smoothEps);
    o_color = vec4(mean, 1.0 - u_smooth * skinLikelihood(mean) * (1.0 - keep));
#endif
#endif
}
