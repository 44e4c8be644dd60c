// One sticker quad (two triangles): centre and half-axis vectors in output
// pixels, row 0 at the top.
uniform vec2 u_size;
uniform vec2 u_centre;
uniform vec2 u_halfX;
uniform vec2 u_halfY;
out vec2 v_uv;
const vec2 kCorner[6] = vec2[6](vec2(-1, -1), vec2(1, -1), vec2(1, 1), vec2(-1, -1), vec2(1, 1), vec2(-1, 1));
void main()
{
    vec2 c = kCorner[gl_VertexID];
    v_uv = c * 0.5 + 0.5;
    vec2 p = u_centre + u_halfX * c.x + u_halfY * c.y;
    gl_Position = vec4(p / u_size * 2.0 - 1.0, 0.0, 1.0);
}
