// The resolved 3D sticker layer (premultiplied) over the frame; where the
// layer is empty the frame passes through unchanged.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform sampler2D u_layer;
uniform float u_strength;
void main()
{
    vec4 frame = texture(u_src, v_uv);
    vec4 layer = texture(u_layer, v_uv) * u_strength;
    o_color = frame * (1.0 - layer.a) + layer;
}
