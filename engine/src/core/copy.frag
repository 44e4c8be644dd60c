// Plain copy (with linear scaling when the input size differs from the output).
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
void main()
{
    o_color = texture(u_src, v_uv);
}
