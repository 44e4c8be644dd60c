// Face reshaping: a smooth displacement field built from a few landmark-
// anchored warps per face (move, scale along the face's axes, rotate), each
// with a compact (1 - t^2)^2 falloff, so the field is continuous (no tears or
// seams) and exactly zero away from the faces (those pixels are copied).
// This draws the field (offset in output pixels); WarpFamily applies it.
// Warps are given in face-local units: origin between the eye centres,
// x along the eye line, one unit = the distance between the eye centres.
//
// u_data (RGBA32F, 2 texels a row): rows 0..3 are faces
//   (origin.x, origin.y, axis.x, axis.y), (unit px, reach, first warp, count),
// rows 4.. are warps
//   (centre.x, centre.y, radius, kind), (a, b, 0, 0)
// kind 0 moves the content by (a, b); 1 scales it by (1 + a, 1 + b) near the
// centre; 2 rotates it by a radians.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_data;
uniform vec2 u_size;
uniform int u_faceCount;

void main()
{
    vec2 p = v_uv * u_size;
    vec2 offset = vec2(0.0);
    for (int f = 0; f < u_faceCount; ++f) {
        vec4 fa = texelFetch(u_data, ivec2(0, f), 0);
        vec4 fb = texelFetch(u_data, ivec2(1, f), 0);
        vec2 ex = fa.zw;
        vec2 ey = vec2(-ex.y, ex.x);
        vec2 d = p - fa.xy;
        vec2 q = vec2(dot(d, ex), dot(d, ey)) / fb.x;
        if (dot(q, q) >= fb.y * fb.y)
            continue;
        vec2 local = vec2(0.0);
        int first = int(fb.z);
        int count = int(fb.w);
        for (int i = 0; i < count; ++i) {
            vec4 wa = texelFetch(u_data, ivec2(0, 4 + first + i), 0);
            vec4 wb = texelFetch(u_data, ivec2(1, 4 + first + i), 0);
            vec2 dq = q - wa.xy;
            float t2 = dot(dq, dq) / (wa.z * wa.z);
            if (t2 >= 1.0)
                continue;
            float w = (1.0 - t2) * (1.0 - t2);
            int kind = int(wa.w + 0.5);
            if (kind == 0) {
                local -= wb.xy * w;
            } else if (kind == 1) {
                local -= dq * wb.xy / (vec2(1.0) + wb.xy) * w;
            } else {
                float angle = -wb.x * w;
                float c = cos(angle);
                float s = sin(angle);
                local += vec2(c * dq.x - s * dq.y, s * dq.x + c * dq.y) - dq;
            }
        }
        offset += (ex * local.x + ey * local.y) * fb.x;
    }
    o_color = vec4(offset, 0.0, 1.0);
}
