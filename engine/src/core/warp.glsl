// Where a pixel of the output samples the frame when a displacement field
// (drawn at half size by a family that moves pixels) is in force. Pixels
// with no offset keep their exact position, so they are copied unchanged.
#ifdef WARP
uniform sampler2D u_warpField;  // rg: offset in output pixels
uniform vec2 u_warpSize;        // output size

vec2 warpedUv(vec2 uv)
{
    vec2 offset = texture(u_warpField, uv).rg;
    return offset == vec2(0.0) ? uv : uv + offset / u_warpSize;
}
#endif
