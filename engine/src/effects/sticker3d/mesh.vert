// A 3D sticker vertex in the head frame (millimetres), posed by the head's
// rotation and translation and projected with the face tracker's pinhole
// camera; output rows grow downwards, like every engine texture.
layout(location = 0) in vec3 a_position;
layout(location = 1) in vec3 a_normal;
layout(location = 2) in vec2 a_uv;
uniform mat3 u_rotation;
uniform vec3 u_translation;
uniform vec2 u_focal;  // 2 f / width, 2 f / height
uniform vec2 u_depth;  // maps camera z to clip depth: a z + b
out vec3 v_position;   // camera frame, millimetres
out vec3 v_normal;
out vec2 v_uv;
void main()
{
    vec3 p = u_rotation * a_position + u_translation;
    v_position = p;
    v_normal = u_rotation * a_normal;
    v_uv = a_uv;
    gl_Position = vec4(u_focal.x * p.x, u_focal.y * p.y, u_depth.x * p.z + u_depth.y, p.z);
}
