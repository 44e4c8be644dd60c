// 3D sticker packages (res/motion3d/<name>/): template.json naming one or
// more parts, each a mesh in our Wavefront OBJ subset with a texture and a
// few material numbers. Meshes are authored in the tracker's head frame
// (millimetres, origin at the nose tip, x towards the subject's left, y
// down, z into the head), so the head pose places them directly.
#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <vector>

namespace velvix {

// One vertex as the GPU reads it: position, normal, texture coordinate.
struct MeshVertex {
    float position[3];
    float normal[3];
    float uv[2];
};

struct MeshPart {
    std::vector<MeshVertex> vertices;  // three per triangle
    QImage texture;                    // premultiplied RGBA8888; null: white
    std::array<float, 3> colour{{1, 1, 1}};  // multiplies the texture
    float specular = 0.3f;   // 0..1
    float shininess = 32;    // 1..512
    float metallic = 0;      // 0..1: reflections tinted by the colour
    float opacity = 1;       // 0.05..1; below 1 the part is drawn after the opaque ones
};

struct MeshPackage {
    QString path;  // the package folder
    std::vector<MeshPart> parts;
    bool headProxy = true;  // hide what lies behind the head
    // Bounding box of every part's vertices (head frame), to limit the pass.
    std::array<float, 3> low{{0, 0, 0}};
    std::array<float, 3> high{{0, 0, 0}};
};

// Limits of what a package may ask for; checked before anything is allocated.
constexpr qint64 kMaxMeshFileBytes = 8 * 1024 * 1024;
constexpr int kMaxMeshElements = 200000;   // each of v, vt, vn lines
constexpr int kMaxMeshTriangles = 200000;  // per file
constexpr int kMaxMeshParts = 8;

// Reads an OBJ subset: "v x y z", "vt u v", "vn x y z" and triangular
// faces "f a/b/c a/b/c a/b/c" (1-based or negative indices; "a//c" without
// a texture coordinate). Other statements are ignored. False with *error
// set on anything else.
bool loadObjMesh(const QString &file, std::vector<MeshVertex> *vertices, QString *error);

// Reads template.json (`path` is the folder or the file) and every mesh
// and texture it names. False with *error set; *package is then untouched.
bool loadMeshPackage(const QString &path, MeshPackage *package, QString *error);

// Whether the template at `path` (folder or file) declares "type": "3d".
bool isMeshPackage(const QString &path);

} // namespace velvix
