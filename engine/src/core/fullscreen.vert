// One triangle covering the viewport, no vertex buffers needed.
// v_uv runs 0..1 over the target; row 0 of the target is row 0 of every
// sampled texture, so no pass flips the picture.
out vec2 v_uv;
void main()
{
    vec2 p = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    v_uv = p;
    gl_Position = vec4(p * 2.0 - 1.0, 0.0, 1.0);
}
