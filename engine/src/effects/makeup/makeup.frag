// Makeup over one face: seven soft masks (lips, cheeks, brows, eyelids, lash
// line, contour shade, highlight) cover u_area (output pixels, row 0 at the
// top); each layer blends its colour into the picture by its mode, weighted
// by mask x opacity x strength. Drawn with a scissor around the face.
uniform sampler2D u_src;
uniform sampler2D u_maskA;  // lips, cheeks, brows, eyelids
uniform sampler2D u_maskB;  // lash line, contour, highlight
uniform vec2 u_size;
uniform vec4 u_area;        // x, y, width, height
uniform vec3 u_colour[7];
uniform float u_weight[7];
out vec4 o_color;

vec3 toLinear(vec3 c) { return mix(c / 12.92, pow((c + 0.055) / 1.055, vec3(2.4)), step(0.04045, c)); }
vec3 toSrgb(vec3 c) { return mix(c * 12.92, 1.055 * pow(c, vec3(1.0 / 2.4)) - 0.055, step(0.0031308, c)); }

vec3 toOklab(vec3 srgb)
{
    vec3 c = toLinear(srgb);
    vec3 lms = mat3(0.4122214708, 0.2119034982, 0.0883024619,
                    0.5363325363, 0.6806995451, 0.2817188376,
                    0.0514459929, 0.1073969566, 0.6299787005) * c;
    lms = pow(max(lms, vec3(0.0)), vec3(1.0 / 3.0));
    return mat3(0.2104542553, 1.9779984951, 0.0259040371,
                0.7936177850, -2.4285922050, 0.7827717662,
                -0.0040720468, 0.4505937099, -0.8086757660) * lms;
}

vec3 fromOklab(vec3 lab)
{
    vec3 lms = mat3(1.0, 1.0, 1.0,
                    0.3963377774, -0.1055613458, -0.0894841775,
                    0.2158037573, -0.0638541728, -1.2914855480) * lab;
    lms = lms * lms * lms;
    vec3 c = mat3(4.0767416621, -1.2684380046, -0.0041960863,
                  -3.3077115913, 2.6097574011, -0.7034186147,
                  0.2309699292, -0.3413193760, 1.7076259010) * lms;
    return toSrgb(clamp(c, 0.0, 1.0));
}

// The colour's hue and chroma on the skin's own lightness, moved half way
// to the colour's lightness; bright specular spots keep more of
// their own colour so the lips stay glossy.
vec3 colourBlend(vec3 c, vec3 k, inout float w)
{
    vec3 s = toOklab(c);
    vec3 t = toOklab(k);
    w *= 1.0 - 0.6 * smoothstep(0.72, 0.92, s.x);
    return fromOklab(vec3(s.x + 0.5 * (t.x - s.x), t.yz));
}

// `mode` is a constant of the program (LAYERn_MODE), so only the layers
// that are on, each with its own blend, are compiled in.
vec3 blendLayer(vec3 c, int i, float m, int mode)
{
    float w = u_weight[i] * m;
    vec3 k = u_colour[i];
    vec3 b;
    if (mode == 0)
        b = colourBlend(c, k, w);
    else if (mode == 1)
        b = c * k;
    else if (mode == 2)
        b = (1.0 - 2.0 * k) * c * c + 2.0 * k * c;
    else if (mode == 3)
        b = k;
    else
        b = 1.0 - (1.0 - c) * (1.0 - k);
    return mix(c, b, clamp(w, 0.0, 1.0));
}

void main()
{
    vec4 src = texture(u_src, gl_FragCoord.xy / u_size);
    vec2 uv = (gl_FragCoord.xy - u_area.xy) / u_area.zw;
    vec4 a = texture(u_maskA, uv);
    vec4 b = texture(u_maskB, uv);
    vec3 c = src.rgb;
    // Base to top: contour and highlight, blush, eyeshadow, brows, liner, lips.
#ifdef LAYER5_MODE
    c = blendLayer(c, 5, b.y, LAYER5_MODE);
#endif
#ifdef LAYER6_MODE
    c = blendLayer(c, 6, b.z, LAYER6_MODE);
#endif
#ifdef LAYER1_MODE
    c = blendLayer(c, 1, a.y, LAYER1_MODE);
#endif
#ifdef LAYER3_MODE
    c = blendLayer(c, 3, a.w, LAYER3_MODE);
#endif
#ifdef LAYER2_MODE
    c = blendLayer(c, 2, a.z, LAYER2_MODE);
#endif
#ifdef LAYER4_MODE
    c = blendLayer(c, 4, b.x, LAYER4_MODE);
#endif
#ifdef LAYER0_MODE
    c = blendLayer(c, 0, a.x, LAYER0_MODE);
#endif
    o_color = vec4(c, src.a);
}
