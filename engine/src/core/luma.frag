// BT.601 luma of the picture, for trackers looking at still pictures.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
void main()
{
    vec3 c = texture(u_src, v_uv).rgb;
    o_color = vec4(dot(c, vec3(0.299, 0.587, 0.114)), 0.0, 0.0, 1.0);
}
