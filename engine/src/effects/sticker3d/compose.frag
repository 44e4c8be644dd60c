// The resolved 3D sticker layer (premultiplied) over the frame; where the
// layer is empty the frame passes through unchanged.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform sampler2D u_layer;
uniform float u_strength;
uniform vec2 u_rect;     // the layer was drawn in [u_rect, u_rectEnd) only (pixels)
uniform vec2 u_rectEnd;
void main()
{
    vec4 frame = texture(u_src, v_uv);
    bool inside = all(greaterThanEqual(gl_FragCoord.xy, u_rect)) && all(lessThan(gl_FragCoord.xy, u_rectEnd));
    vec4 layer = inside ? texture(u_layer, v_uv) * u_strength : vec4(0.0);
    o_color = frame * (1.0 - layer.a) + layer;
}
