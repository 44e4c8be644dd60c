// Box downscale for the smoothing blur: four bilinear taps, one at the centre
// of each quadrant of the source block that this texel covers.
in vec2 v_uv;
out vec4 o_color;
uniform sampler2D u_src;
uniform vec2 u_quarter;  // a quarter of the block, in source uv
void main()
{
    o_color = 0.25 * (texture(u_src, v_uv + vec2(-u_quarter.x, -u_quarter.y))
                    + texture(u_src, v_uv + vec2(u_quarter.x, -u_quarter.y))
                    + texture(u_src, v_uv + vec2(-u_quarter.x, u_quarter.y))
                    + texture(u_src, v_uv + vec2(u_quarter.x, u_quarter.y)));
}
