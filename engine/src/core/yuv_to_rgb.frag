// BT.601 YCbCr to RGB. Chroma is taken from the 2x2 block the pixel belongs to
// (no interpolation), so the result matches the plain per-block definition.
// All planes are read with nearest filtering at coordinates that follow the
// pixel grid (cheaper on software rasterisers than computed texel indices):
// pixel x falls on luma texel x and, with u_chromaScale = (size / 2) /
// chroma size, on chroma texel x / 2 (+ 0.25 margin); a last odd column or
// row lands one past the chroma plane and clamps to the block before it.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_y;
#ifdef NV12
uniform sampler2D u_uv;
#else
uniform sampler2D u_u;
uniform sampler2D u_v;
#endif
uniform vec2 u_chromaScale;
uniform int u_limitedRange;
void main()
{
    vec2 chromaUv = v_uv * u_chromaScale;
    float y = texture(u_y, v_uv).r;
#ifdef NV12
    vec2 cbcr = texture(u_uv, chromaUv).rg;
#else
    vec2 cbcr = vec2(texture(u_u, chromaUv).r, texture(u_v, chromaUv).r);
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
