// Flat colour of the overlay's segments.
in vec4 v_colour;
out vec4 o_color;
void main()
{
    o_color = v_colour;
}
