// Bakes the global colour grade (quality.glsl) and the filter with its
// intensity into one 3D table, one layer per draw: texel (x, y) of layer z
// holds the result for the colour (x, y, z) / (size - 1). The table is
// made again only when one of its settings changes.
out vec4 o_color;
uniform float u_layer;
uniform float u_bakeSize;
void main()
{
    vec3 c = vec3(floor(gl_FragCoord.xy), u_layer) / (u_bakeSize - 1.0);
    c = applyColourGrade(c);
    c = applyLut(clamp(c, 0.0, 1.0));
    o_color = vec4(clamp(c, 0.0, 1.0), 1.0);
}
