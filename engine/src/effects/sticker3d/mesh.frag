// A lit, textured 3D sticker surface, premultiplied. Camera frame: x right,
// y down, z away from the viewer. A key light from the upper left, a softer
// fill from the right, sky/ground ambient, Blinn-Phong highlights and, for
// metals, a studio-like reflection tinted by the surface colour.
in vec3 v_position;
in vec3 v_normal;
in vec2 v_uv;
uniform sampler2D u_texture;  // premultiplied
uniform vec3 u_colour;
uniform float u_specular;
uniform float u_shininess;
uniform float u_metallic;
uniform float u_opacity;
out vec4 o_color;

const vec3 kKey = normalize(vec3(-0.45, -0.65, -0.6));
const vec3 kFill = normalize(vec3(0.7, -0.1, -0.7));

void main()
{
    vec4 texel = texture(u_texture, v_uv);
    float alpha = texel.a * u_opacity;
    if (alpha < 0.02)
        discard;  // cut-outs in the artwork
    vec3 base = texel.rgb / max(texel.a, 1e-4) * u_colour;
    vec3 n = normalize(v_normal);
    vec3 v = normalize(-v_position);
    if (dot(n, v) < 0.0)
        n = -n;  // both sides of thin parts are lit
    float up = 0.5 - 0.5 * n.y;
    vec3 ambient = mix(vec3(0.28, 0.26, 0.25), vec3(0.46, 0.48, 0.52), up);
    vec3 diffuse = base * (ambient + 0.75 * max(dot(n, kKey), 0.0) * vec3(1.0, 0.97, 0.92)
                           + 0.25 * max(dot(n, kFill), 0.0) * vec3(0.85, 0.9, 1.0));
    vec3 r = reflect(-v, n);
    float horizon = smoothstep(-0.35, 0.45, -r.y);
    vec3 studio = mix(vec3(0.42, 0.38, 0.34), vec3(1.15, 1.12, 1.05), horizon)
                  + vec3(0.9) * pow(max(dot(r, kKey), 0.0), 24.0);
    vec3 colour = mix(diffuse, base * studio, u_metallic);
    vec3 h = normalize(kKey + v);
    vec3 highlight = mix(vec3(1.0), base, u_metallic) * u_specular
                     * pow(max(dot(n, h), 0.0), u_shininess) * (u_shininess + 8.0) / 40.0;
    float rim = pow(1.0 - max(dot(n, v), 0.0), 3.0) * 0.12 * (1.0 - u_metallic);
    colour += highlight + vec3(rim);
    o_color = vec4(min(colour, vec3(1.0)) * alpha, alpha);
}
