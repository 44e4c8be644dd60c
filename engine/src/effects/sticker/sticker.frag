// A premultiplied sticker frame, blended over the frame by the caller.
in vec2 v_uv;
uniform sampler2D u_image;
out vec4 o_color;
void main()
{
    o_color = texture(u_image, v_uv);
}
