#include "effects/sticker3d/MeshPackage.h"

#include "effects/sticker/StickerPackage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace velvix {

namespace {

constexpr qint64 kMaxTemplateBytes = 64 * 1024;
constexpr int kMaxTextureSide = 2048;

bool plainName(const QString &name)
{
    return !name.isEmpty() && !name.contains('/') && !name.contains('\\') && !name.startsWith('.');
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
}

// Reads up to `count` finite floats from `text`; false when fewer are there.
bool readFloats(const char *&text, float *out, int count)
{
    for (int i = 0; i < count; ++i) {
        char *end = nullptr;
        const double v = std::strtod(text, &end);
        if (end == text || !std::isfinite(v) || std::fabs(v) > 1e6)
            return false;
        out[i] = static_cast<float>(v);
        text = end;
    }
    return true;
}

// A 1-based or negative OBJ index into a list of `size` elements, as 0-based.
bool readIndex(const char *&text, int size, int *out)
{
    char *end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text)
        return false;
    text = end;
    const long index = v > 0 ? v - 1 : size + v;
    if (v == 0 || index < 0 || index >= size)
        return false;
    *out = static_cast<int>(index);
    return true;
}

bool inRange(const QJsonObject &object, const char *key, double low, double high, float *out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    if (!value.isDouble() || !(value.toDouble() >= low && value.toDouble() <= high))
        return false;
    *out = static_cast<float>(value.toDouble());
    return true;
}

bool readTemplate(const QString &path, QJsonObject *object, QString *error)
{
    QFile input(QDir(folderOf(path)).filePath(QStringLiteral("template.json")));
    if (!input.open(QIODevice::ReadOnly) || input.size() > kMaxTemplateBytes) {
        if (error)
            *error = QStringLiteral("cannot read %1 (or larger than %2 bytes)").arg(input.fileName()).arg(kMaxTemplateBytes);
        return false;
    }
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(input.read(kMaxTemplateBytes + 1), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error)
            *error = QStringLiteral("%1 is not a JSON object").arg(input.fileName());
        return false;
    }
    *object = doc.object();
    return true;
}

} // namespace

bool loadObjMesh(const QString &file, std::vector<MeshVertex> *vertices, QString *error)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly) || input.size() > kMaxMeshFileBytes) {
        *error = QStringLiteral("cannot read %1 (or larger than %2 bytes)").arg(file).arg(kMaxMeshFileBytes);
        return false;
    }
    const QByteArray data = input.read(kMaxMeshFileBytes + 1);
    const QList<QByteArray> lines = data.split('\n');
    // Count first, so nothing is allocated for a file that asks for too much.
    int positionCount = 0, uvCount = 0, normalCount = 0, faceCount = 0;
    for (const QByteArray &line : lines) {
        const QByteArray t = line.trimmed();
        if (t.startsWith("v "))
            ++positionCount;
        else if (t.startsWith("vt "))
            ++uvCount;
        else if (t.startsWith("vn "))
            ++normalCount;
        else if (t.startsWith("f "))
            ++faceCount;
    }
    if (positionCount > kMaxMeshElements || uvCount > kMaxMeshElements || normalCount > kMaxMeshElements
        || faceCount > kMaxMeshTriangles || faceCount == 0 || normalCount == 0) {
        *error = QStringLiteral("%1: %2 positions, %3 texture coordinates, %4 normals, %5 faces (needs 1..%6 "
                                "triangles, normals, at most %7 of each element)")
                     .arg(file).arg(positionCount).arg(uvCount).arg(normalCount).arg(faceCount)
                     .arg(kMaxMeshTriangles).arg(kMaxMeshElements);
        return false;
    }
    std::vector<std::array<float, 3>> positions, normals;
    std::vector<std::array<float, 2>> uvs;
    positions.reserve(static_cast<size_t>(positionCount));
    normals.reserve(static_cast<size_t>(normalCount));
    uvs.reserve(static_cast<size_t>(uvCount));
    std::vector<MeshVertex> out;
    out.reserve(static_cast<size_t>(faceCount) * 3);
    int lineNumber = 0;
    for (const QByteArray &line : lines) {
        ++lineNumber;
        const QByteArray t = line.trimmed();
        const char *text = t.constData();
        bool ok = true;
        if (t.startsWith("v ")) {
            std::array<float, 3> p{};
            text += 2;
            ok = readFloats(text, p.data(), 3);
            positions.push_back(p);
        } else if (t.startsWith("vt ")) {
            std::array<float, 2> uv{};
            text += 3;
            ok = readFloats(text, uv.data(), 2);
            uvs.push_back(uv);
        } else if (t.startsWith("vn ")) {
            std::array<float, 3> n{};
            text += 3;
            ok = readFloats(text, n.data(), 3);
            const float len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            ok = ok && len > 1e-6f;
            for (float &c : n)
                c /= len > 0 ? len : 1.0f;
            normals.push_back(n);
        } else if (t.startsWith("f ")) {
            text += 2;
            for (int corner = 0; corner < 3 && ok; ++corner) {
                int p = 0, uv = -1, n = 0;
                ok = readIndex(text, static_cast<int>(positions.size()), &p) && *text == '/';
                if (ok) {
                    ++text;
                    if (*text != '/')
                        ok = readIndex(text, static_cast<int>(uvs.size()), &uv);
                    ok = ok && *text == '/';
                    ++text;
                    ok = ok && readIndex(text, static_cast<int>(normals.size()), &n);
                }
                if (ok) {
                    MeshVertex v{};
                    std::memcpy(v.position, positions[static_cast<size_t>(p)].data(), sizeof v.position);
                    std::memcpy(v.normal, normals[static_cast<size_t>(n)].data(), sizeof v.normal);
                    if (uv >= 0)
                        std::memcpy(v.uv, uvs[static_cast<size_t>(uv)].data(), sizeof v.uv);
                    out.push_back(v);
                }
            }
            // Triangles only: a fourth corner is an error, not silently dropped.
            while (ok && (*text == ' ' || *text == '\t'))
                ++text;
            ok = ok && *text == '\0';
        } else if (!t.isEmpty() && !t.startsWith('#') && !t.startsWith("o ") && !t.startsWith("g ")
                   && !t.startsWith("s ") && !t.startsWith("usemtl ") && !t.startsWith("mtllib ")) {
            ok = false;
        }
        if (!ok) {
            *error = QStringLiteral("%1:%2: not a vertex, normal, texture coordinate or triangle of the "
                                    "supported subset").arg(file).arg(lineNumber);
            return false;
        }
    }
    *vertices = std::move(out);
    return true;
}

bool isMeshPackage(const QString &path)
{
    QJsonObject object;
    return readTemplate(path, &object, nullptr) && object.value(QStringLiteral("type")).toString() == QLatin1String("3d");
}

bool loadMeshPackage(const QString &path, MeshPackage *package, QString *error)
{
    const QString folder = folderOf(path);
    QJsonObject object;
    if (!readTemplate(path, &object, error))
        return false;
    const QJsonArray parts = object.value(QStringLiteral("parts")).toArray();
    if (object.value(QStringLiteral("type")).toString() != QLatin1String("3d") || parts.isEmpty()
        || parts.size() > kMaxMeshParts) {
        *error = QStringLiteral("%1/template.json is not a 3D sticker template with 1..%2 parts").arg(folder).arg(kMaxMeshParts);
        return false;
    }
    const QJsonValue proxy = object.value(QStringLiteral("headProxy"));
    if (!proxy.isUndefined() && !proxy.isBool()) {
        *error = QStringLiteral("%1/template.json: headProxy is not true or false").arg(folder);
        return false;
    }
    MeshPackage result;
    result.path = folder;
    result.headProxy = proxy.toBool(true);
    result.low.fill(std::numeric_limits<float>::max());
    result.high.fill(std::numeric_limits<float>::lowest());
    for (const QJsonValue &value : parts) {
        const QJsonObject part = value.toObject();
        MeshPart mesh;
        const QString meshName = part.value(QStringLiteral("mesh")).toString();
        const QString textureName = part.value(QStringLiteral("texture")).toString();
        const QJsonArray colour = part.value(QStringLiteral("colour")).toArray();
        bool ok = plainName(meshName) && (textureName.isEmpty() || plainName(textureName))
                  && inRange(part, "specular", 0, 1, &mesh.specular) && inRange(part, "shininess", 1, 512, &mesh.shininess)
                  && inRange(part, "metallic", 0, 1, &mesh.metallic) && inRange(part, "opacity", 0.05, 1, &mesh.opacity)
                  && (part.value(QStringLiteral("colour")).isUndefined() || colour.size() == 3);
        for (int i = 0; ok && i < colour.size(); ++i) {
            const double c = colour[i].toDouble(-1);
            ok = colour[i].isDouble() && c >= 0 && c <= 1;
            mesh.colour[static_cast<size_t>(i)] = static_cast<float>(c);
        }
        if (!ok) {
            *error = QStringLiteral("%1/template.json: a part needs a mesh file name inside the package and "
                                    "material numbers in range").arg(folder);
            return false;
        }
        if (!loadObjMesh(QDir(folder).filePath(meshName), &mesh.vertices, error))
            return false;
        if (!textureName.isEmpty()) {
            mesh.texture = decodeBoundedPicture(QDir(folder).filePath(textureName), kMaxTextureSide, error);
            if (mesh.texture.isNull())
                return false;
        }
        for (const MeshVertex &v : mesh.vertices) {
            for (size_t k = 0; k < 3; ++k) {
                result.low[k] = std::min(result.low[k], v.position[k]);
                result.high[k] = std::max(result.high[k], v.position[k]);
            }
        }
        result.parts.push_back(std::move(mesh));
    }
    *package = std::move(result);
    return true;
}

} // namespace velvix
