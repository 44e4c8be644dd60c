// Body shaping: a smooth displacement field from keypoint-anchored warps
// (each with a compact (1 - t^2)^2 falloff, so the field is continuous and
// exactly zero away from the person), then the leg stretch, a mapping of
// whole rows below the hips (straight lines across the picture stay
// straight, vertical ones stay vertical). This draws the field (offset in
// output pixels); WarpFamily applies it.
//
// u_data (RGBA32F, 3 texels a row), one warp a row:
//   (a.x, a.y, b.x, b.y), (rx, ry, kind, 0), (s, t, 0, 0)
// kind 0 squeezes towards the segment a-b within distance rx by factor s
// (positive slims); kind 1 scales by (1 + s, 1 + t) about the centre a in the
// frame of the unit axis b (ellipse rx x ry); kind 2 moves by (s, t) pixels
// within that ellipse; kind 3 squeezes across the line a-b by factor s within
// distance rx, strongest at fraction t of the way from a to b and fading out
// within ry of that fraction (the waist: no pixel moves along the body).
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_data;
uniform vec2 u_size;
uniform int u_count;
uniform vec3 u_leg;  // hip line y, ramp height (px), stretch (0 = none)

void main()
{
    vec2 p = v_uv * u_size;
    vec2 offset = vec2(0.0);
    for (int i = 0; i < u_count; ++i) {
        vec4 t0 = texelFetch(u_data, ivec2(0, i), 0);
        vec4 t1 = texelFetch(u_data, ivec2(1, i), 0);
        vec4 t2 = texelFetch(u_data, ivec2(2, i), 0);
        int kind = int(t1.z + 0.5);
        if (kind == 0) {
            vec2 ab = t0.zw - t0.xy;
            float h = clamp(dot(p - t0.xy, ab) / max(dot(ab, ab), 1e-6), 0.0, 1.0);
            vec2 d = p - (t0.xy + ab * h);
            float r2 = dot(d, d) / (t1.x * t1.x);
            if (r2 >= 1.0)
                continue;
            float w = (1.0 - r2) * (1.0 - r2);
            offset += d * t2.x * w;
        } else if (kind == 3) {
            vec2 ab = t0.zw - t0.xy;
            float h = dot(p - t0.xy, ab) / max(dot(ab, ab), 1e-6);
            float along = (h - t2.y) / t1.y;
            vec2 d = p - (t0.xy + ab * h);
            float r2 = dot(d, d) / (t1.x * t1.x);
            if (r2 >= 1.0 || abs(along) >= 1.0)
                continue;
            float w = (1.0 - r2) * (1.0 - r2) * (1.0 - along * along) * (1.0 - along * along);
            offset += d * t2.x * w;
        } else {
            vec2 ex = t0.zw;
            vec2 ey = vec2(-ex.y, ex.x);
            vec2 d = p - t0.xy;
            vec2 q = vec2(dot(d, ex), dot(d, ey));
            vec2 e = q / t1.xy;
            float r2 = dot(e, e);
            if (r2 >= 1.0)
                continue;
            float w = (1.0 - r2) * (1.0 - r2);
            vec2 local = kind == 1 ? -q * t2.xy / (vec2(1.0) + t2.xy) * w : -t2.xy * w;
            offset += ex * local.x + ey * local.y;
        }
    }
    vec2 s = p + offset;
    if (u_leg.z > 0.0 && s.y > u_leg.x) {
        // The stretch rises smoothly over the ramp, then stays constant.
        float y = s.y - u_leg.x;
        float g = y < u_leg.y ? y * y / (2.0 * u_leg.y) : y - 0.5 * u_leg.y;
        s.y -= u_leg.z * g;
    }
    o_color = vec4(s - p, 0.0, 1.0);
}
