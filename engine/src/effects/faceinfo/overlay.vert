// Thick line segments read from a data texture (2 texels a row): segment i
// is (x0, y0, x1, y1) in output pixels, row 0 at the top, then its RGBA
// colour. Six vertices a segment (two triangles); a segment of length 0 is a
// square dot.
uniform sampler2D u_segments;
uniform vec2 u_size;
uniform float u_halfWidth;
out vec4 v_colour;
const int kEnd[6] = int[6](0, 1, 1, 0, 1, 0);
const float kSide[6] = float[6](-1.0, -1.0, 1.0, -1.0, 1.0, 1.0);
void main()
{
    int segment = gl_VertexID / 6;
    int corner = gl_VertexID - segment * 6;
    vec4 s = texelFetch(u_segments, ivec2(0, segment), 0);
    v_colour = texelFetch(u_segments, ivec2(1, segment), 0);
    vec2 d = s.zw - s.xy;
    float len = length(d);
    vec2 dir = len > 0.0 ? d / len : vec2(1.0, 0.0);
    vec2 normal = vec2(-dir.y, dir.x) * u_halfWidth;
    vec2 a = s.xy - dir * u_halfWidth;
    vec2 b = s.zw + dir * u_halfWidth;
    vec2 p = (kEnd[corner] == 0 ? a : b) + normal * kSide[corner];
    gl_Position = vec4(p / u_size * 2.0 - 1.0, 0.0, 1.0);
}
