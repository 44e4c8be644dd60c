// Applies a displacement field on its own (when another pass follows the
// family that made it); warp.glsl is pasted in front of this file.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
void main()
{
    o_color = texture(u_src, warpedUv(v_uv));
}
