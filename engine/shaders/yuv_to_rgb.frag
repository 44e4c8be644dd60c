// BT.601 YCbCr to RGB. Chroma is taken from the 2x2 block the pixel belongs to
// (no interpolation), so the result matches the plain per-block definition.
out vec4 o_color;
uniform sampler2D u_y;
#ifdef NV12
uniform sampler2D u_uv;
#else
uniform sampler2D u_u;
uniform sampler2D u_v;
#endif
uniform ivec2 u_chromaMax;
uniform int u_limitedRange;
void main()
{
    ivec2 p = ivec2(gl_FragCoord.xy);
    ivec2 c = min(p / 2, u_chromaMax);
    float y = texelFetch(u_y, p, 0).r;
#ifdef NV12
    vec2 cbcr = texelFetch(u_uv, c, 0).rg;
#else
    vec2 cbcr = vec2(texelFetch(u_u, c, 0).r, texelFetch(u_v, c, 0).r);
#endif
    cbcr -= vec2(128.0 / 255.0);
    if (u_limitedRange != 0) {
        y = (y - 16.0 / 255.0) * (255.0 / 219.0);
        cbcr *= 255.0 / 224.0;
    }
    vec3 rgb = vec3(y + 1.402 * cbcr.y,
                    y - 0.344136 * cbcr.x - 0.714136 * cbcr.y,
                    y + 1.772 * cbcr.x);
    o_color = vec4(clamp(rgb, 0.0, 1.0), 1.0);
}
