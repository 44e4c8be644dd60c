// Colour lookup tables: a 3D table (trilinear through the texture unit) and
// an optional 1D shaper, both on the normalised input domain.
uniform sampler3D u_lut3d;
uniform sampler2D u_lut1d;
uniform float u_lut3dSize;
uniform float u_lut1dSize;
uniform vec3 u_lutDomainMin;
uniform vec3 u_lutDomainScale;  // 1 / (max - min)
uniform float u_lutIntensity;
uniform vec3 u_lutScale;        // baked table: texel-centre mapping of 0..1
uniform vec3 u_lutOffset;

vec3 applyLut(vec3 c)
{
    vec3 x = clamp((c - u_lutDomainMin) * u_lutDomainScale, 0.0, 1.0);
#ifdef LUT1D
    vec3 t = (x * (u_lut1dSize - 1.0) + 0.5) / u_lut1dSize;
    x = vec3(texture(u_lut1d, vec2(t.r, 0.5)).r,
             texture(u_lut1d, vec2(t.g, 0.5)).g,
             texture(u_lut1d, vec2(t.b, 0.5)).b);
#ifdef LUT3D
    x = clamp((x - u_lutDomainMin) * u_lutDomainScale, 0.0, 1.0);
#endif
#endif
#ifdef LUT3D
    x = texture(u_lut3d, (x * (u_lut3dSize - 1.0) + 0.5) / u_lut3dSize).rgb;
#endif
    return mix(c, x, u_lutIntensity);
}
