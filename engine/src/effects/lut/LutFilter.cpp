#include "effects/lut/LutFilter.h"

#include "effects/quality/QualityEffect.h"
#include "core/ImageDecode.h"

#include <QDebug>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include <cmath>

namespace velvix {

namespace {

constexpr qint64 kMaxCubeBytes = 64ll * 1024 * 1024;

std::shared_ptr<const LutTable> loadTiledPng(const QString &path, QString *error)
{
    QImage image = decodePicture(path, error);
    if (image.isNull())
        return nullptr;
    // A square picture of side s holds n^3 entries in (s / n)^2 tiles of n x n.
    const int side = image.width();
    const int n = static_cast<int>(std::lround(std::cbrt(static_cast<double>(side) * side)));
    if (image.height() != side || n < 2 || n * n * n != side * side || side % n != 0) {
        *error = QStringLiteral("%1 x %2 is not a tiled lookup picture (e.g. 512 x 512)")
                     .arg(image.width()).arg(image.height());
        return nullptr;
    }
    image = image.convertToFormat(QImage::Format_RGBA8888);
    const int tilesPerRow = side / n;
    auto table = std::make_shared<LutTable>();
    table->size3d = n;
    table->table3d.resize(static_cast<size_t>(n) * n * n * 3);
    for (int b = 0; b < n; ++b) {
        const int tileX = (b % tilesPerRow) * n;
        const int tileY = (b / tilesPerRow) * n;
        for (int g = 0; g < n; ++g) {
            const uchar *row = image.constScanLine(tileY + g);
            for (int r = 0; r < n; ++r) {
                const uchar *px = row + (tileX + r) * 4;
                const size_t at = ((static_cast<size_t>(b) * n + g) * n + r) * 3;
                table->table3d[at] = px[0] / 255.0f;
                table->table3d[at + 1] = px[1] / 255.0f;
                table->table3d[at + 2] = px[2] / 255.0f;
            }
        }
    }
    return table;
}

bool readTriple(const QStringList &parts, int from, float *out)
{
    if (parts.size() < from + 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const float v = parts[from + i].toFloat(&ok);
        if (!ok || !std::isfinite(v))
            return false;
        out[i] = v;
    }
    return true;
}

std::shared_ptr<const LutTable> loadCube(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = file.errorString();
        return nullptr;
    }
    if (file.size() > kMaxCubeBytes) {
        *error = QStringLiteral("file is larger than 64 MB");
        return nullptr;
    }
    auto table = std::make_shared<LutTable>();
    std::vector<float> values;
    QTextStream in(&file);
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QStringList parts = line.split(QRegExp(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        const QString keyword = parts[0].toUpper();
        if (keyword == QLatin1String("TITLE"))
            continue;
        if (keyword == QLatin1String("LUT_3D_SIZE") || keyword == QLatin1String("LUT_1D_SIZE")) {
            bool ok = false;
            const int size = parts.value(1).toInt(&ok);
            const bool is3d = keyword == QLatin1String("LUT_3D_SIZE");
            if (!ok || size < 2 || size > (is3d ? 256 : 65536)) {
                *error = QStringLiteral("bad %1 on line %2").arg(keyword).arg(lineNumber);
                return nullptr;
            }
            (is3d ? table->size3d : table->size1d) = size;
            continue;
        }
        if (keyword == QLatin1String("DOMAIN_MIN") || keyword == QLatin1String("DOMAIN_MAX")) {
            float *target = keyword == QLatin1String("DOMAIN_MIN") ? table->domainMin : table->domainMax;
            if (!readTriple(parts, 1, target)) {
                *error = QStringLiteral("bad %1 on line %2").arg(keyword).arg(lineNumber);
                return nullptr;
            }
            continue;
        }
        if (keyword == QLatin1String("LUT_3D_INPUT_RANGE") || keyword == QLatin1String("LUT_1D_INPUT_RANGE")) {
            bool ok1 = false, ok2 = false;
            const float lo = parts.value(1).toFloat(&ok1);
            const float hi = parts.value(2).toFloat(&ok2);
            if (!ok1 || !ok2 || !std::isfinite(lo) || !std::isfinite(hi)) {
                *error = QStringLiteral("bad %1 on line %2").arg(keyword).arg(lineNumber);
                return nullptr;
            }
            for (int i = 0; i < 3; ++i) {
                table->domainMin[i] = lo;
                table->domainMax[i] = hi;
            }
            continue;
        }
        float rgb[3];
        if (parts.size() != 3 || !readTriple(parts, 0, rgb)) {
            *error = QStringLiteral("unexpected text on line %1").arg(lineNumber);
            return nullptr;
        }
        values.insert(values.end(), rgb, rgb + 3);
        if (values.size() > static_cast<size_t>(kMaxCubeBytes)) {
            *error = QStringLiteral("too many entries");
            return nullptr;
        }
    }
    if (table->size3d == 0 && table->size1d == 0) {
        *error = QStringLiteral("no LUT_3D_SIZE or LUT_1D_SIZE");
        return nullptr;
    }
    const size_t expected1d = static_cast<size_t>(table->size1d);
    const size_t expected3d = static_cast<size_t>(table->size3d) * table->size3d * table->size3d;
    if (values.size() != (expected1d + expected3d) * 3) {
        *error = QStringLiteral("%1 entries, expected %2").arg(values.size() / 3).arg(expected1d + expected3d);
        return nullptr;
    }
    for (int i = 0; i < 3; ++i) {
        // The span is divided by in the shader; it must be a finite, positive number.
        if (!(table->domainMax[i] > table->domainMin[i])
            || !std::isfinite(table->domainMax[i] - table->domainMin[i])) {
            *error = QStringLiteral("DOMAIN_MAX must be above DOMAIN_MIN");
            return nullptr;
        }
    }
    table->table1d.assign(values.begin(), values.begin() + static_cast<long>(expected1d * 3));
    table->table3d.assign(values.begin() + static_cast<long>(expected1d * 3), values.end());
    return table;
}

// A LUT resource may name the file itself, a folder holding it, or an
// archive name whose extracted folder (the name without ".zip") holds it.
QString resolveLutPath(const QString &path)
{
    QFileInfo info(path);
    QString folder;
    if (info.isFile() && !path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        return path;
    if (info.isDir())
        folder = path;
    else if (path.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive))
        folder = path.left(path.size() - 4);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QString();
    const QStringList filters{QStringLiteral("*.cube"), QStringLiteral("*.png")};
    QDir dir(folder);
    QStringList found = dir.entryList(filters, QDir::Files, QDir::Name);
    if (!found.isEmpty())
        return dir.filePath(found.first());
    for (const QString &sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        QDir inner(dir.filePath(sub));
        found = inner.entryList(filters, QDir::Files, QDir::Name);
        if (!found.isEmpty())
            return inner.filePath(found.first());
    }
    return QString();
}

} // namespace

std::shared_ptr<const LutTable> loadLutFile(const QString &path, QString *error)
{
    if (path.endsWith(QLatin1String(".cube"), Qt::CaseInsensitive))
        return loadCube(path, error);
    return loadTiledPng(path, error);
}

bool LutFilter::apply(const char *fullPath, int value)
{
    m_intensity = value;
    if (!fullPath || !*fullPath || value <= 0) {
        m_table.reset();
        return true;
    }
    const QString requested = QString::fromUtf8(fullPath);
    const QString path = resolveLutPath(requested);
    if (path.isEmpty()) {
        qWarning().noquote() << "Velvix: filter resource not found:" << requested;
        m_table.reset();
        return false;
    }
    // A file replaced in place (a fresh download) is read again.
    const QFileInfo info(path);
    const QString cacheKey = path + QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|')
        + QString::number(info.lastModified().toMSecsSinceEpoch());
    auto cached = m_cache.find(cacheKey);
    if (cached != m_cache.end()) {
        m_table = cached->second;
        return true;
    }
    QString error;
    auto table = loadLutFile(path, &error);
    if (!table) {
        qWarning().noquote() << "Velvix: cannot use filter" << path << "-" << error;
        m_table.reset();
        return false;
    }
    if (m_cache.size() >= 16)
        m_cache.clear();
    m_cache.emplace(cacheKey, table);
    m_table = table;
    return true;
}

void LutFilter::reset()
{
    m_table.reset();
    m_intensity = 0;
}

void LutFilter::prepare(Renderer &renderer)
{
    if (!active() || m_table == m_uploaded)
        return;
    Gl *gl = renderer.gl();
    release(gl);
    gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    const LutTable &table = *m_table;
    if (table.size3d > 0) {
        gl->glGenTextures(1, &m_texture3d);
        gl->glActiveTexture(GL_TEXTURE7);
        gl->glBindTexture(GL_TEXTURE_3D, m_texture3d);
        gl->glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        gl->glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        // 8 bits per entry are plenty for a display table and filter
        // fastest; values outside 0..1 clamp, as the output would.
        gl->glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, table.size3d, table.size3d, table.size3d, 0,
                         GL_RGB, GL_FLOAT, table.table3d.data());
        gl->glBindTexture(GL_TEXTURE_3D, 0);
    }
    if (table.size1d > 0) {
        m_texture1d = createTexture2D(gl, GL_RGB16F, table.size1d, 1, GL_RGB, GL_FLOAT,
                                      table.table1d.data());
    }
    m_uploaded = m_table;
    ++m_uploadCount;
}

void LutFilter::bake(Renderer &renderer, ComposeParams &params)
{
    const unsigned grade = params.features & ComposeParams::ColourGrade;
    if (!(params.features & ComposeParams::Lut3d) || (params.features & ComposeParams::Lut1d) || !m_uploaded)
        return;
    const LutTable &table = *m_uploaded;
    bool unitDomain = true;
    for (int i = 0; i < 3; ++i)
        unitDomain = unitDomain && table.domainMin[i] == 0.f && table.domainMax[i] == 1.f;
    // Without a grade on the unit domain the baked entries are the table's
    // own (mixed with the intensity); otherwise the table is sampled off its
    // grid, so a fine grid keeps the result as close as a direct lookup.
    // Very large tables (above 65^3) keep the direct lookup: baking them
    // again on every grade change would stall the frame.
    const int n = table.size3d;
    if (n > 65)
        return;
    const int size = (grade || !unitDomain) ? std::max(n, 64) : n;
    const std::vector<float> key = {static_cast<float>(m_uploadCount), static_cast<float>(size),
                                    static_cast<float>(grade), params.lutIntensity, params.brightness,
                                    params.contrast, params.saturation, params.gain[0], params.gain[1],
                                    params.gain[2], params.shadows, params.highlights, params.fade};
    Gl *gl = renderer.gl();
    if (!m_baked || key != m_bakedKey) {
        ComposeParams bakeParams = params;
        bakeParams.features = grade | ComposeParams::Lut3d;
        ShaderProgram *program = renderer.program("effects/lut/lut_bake.frag", {"core/common.glsl", "effects/quality/quality.glsl", "effects/lut/lut.glsl"},
                                                  bakeParams.defines());
        if (!program)
            return;  // the direct lookup still works
        if (m_baked && m_bakedSize != size) {
            gl->glDeleteTextures(1, &m_baked);
            m_baked = 0;
        }
        if (!m_baked) {
            gl->glGenTextures(1, &m_baked);
            gl->glActiveTexture(GL_TEXTURE7);
            gl->glBindTexture(GL_TEXTURE_3D, m_baked);
            gl->glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            gl->glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            gl->glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, size, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
            gl->glBindTexture(GL_TEXTURE_3D, 0);
            m_bakedSize = size;
        }
        program->use(gl);
        renderer.bindTexture(2, GL_TEXTURE_3D, m_texture3d, true);
        setUniforms(gl, *program, params);
        QualityEffect::setGradeUniforms(gl, *program, params);
        program->set(gl, "u_bakeSize", static_cast<float>(size));
        for (int layer = 0; layer < size; ++layer) {
            program->set(gl, "u_layer", static_cast<float>(layer));
            renderer.drawToLayer(m_baked, layer, size, size);
        }
        m_bakedKey = key;
    }
    params.features &= ~(grade | static_cast<unsigned>(ComposeParams::Lut3d));
    params.features |= ComposeParams::LutBaked;
    params.lut3dTexture = m_baked;
    params.lut3dSize = static_cast<float>(size);
    params.lutScale = static_cast<float>(size - 1) / static_cast<float>(size);
    params.lutOffset = 0.5f / static_cast<float>(size);
}

void LutFilter::setComposeUniforms(FrameContext &frame, ShaderProgram &program, const ComposeParams &params) const
{
    Renderer &renderer = frame.renderer;
    if (params.features & (ComposeParams::Lut3d | ComposeParams::LutBaked))
        renderer.bindTexture(2, GL_TEXTURE_3D, params.lut3dTexture, true);
    if (params.features & ComposeParams::Lut1d)
        renderer.bindTexture(3, GL_TEXTURE_2D, params.lut1dTexture, true);
    if (params.features & (ComposeParams::Lut3d | ComposeParams::Lut1d | ComposeParams::LutBaked))
        setUniforms(renderer.gl(), program, params);
}

void LutFilter::setUniforms(Gl *gl, ShaderProgram &program, const ComposeParams &params)
{
    program.set(gl, "u_lut3d", 2);
    program.set(gl, "u_lut3dSize", params.lut3dSize);
    program.set(gl, "u_lut1d", 3);
    program.set(gl, "u_lut1dSize", params.lut1dSize);
    program.set(gl, "u_lutDomainMin", params.lutDomainMin[0], params.lutDomainMin[1], params.lutDomainMin[2]);
    program.set(gl, "u_lutDomainScale", params.lutDomainScale[0], params.lutDomainScale[1],
                params.lutDomainScale[2]);
    program.set(gl, "u_lutIntensity", params.lutIntensity);
    program.set(gl, "u_lutScale", params.lutScale, params.lutScale, params.lutScale);
    program.set(gl, "u_lutOffset", params.lutOffset, params.lutOffset, params.lutOffset);
}

void LutFilter::contribute(ComposeParams &params) const
{
    if (!active() || m_uploaded != m_table)
        return;
    const LutTable &table = *m_table;
    if (table.size3d > 0) {
        params.features |= ComposeParams::Lut3d;
        params.lut3dTexture = m_texture3d;
        params.lut3dSize = static_cast<float>(table.size3d);
    }
    if (table.size1d > 0) {
        params.features |= ComposeParams::Lut1d;
        params.lut1dTexture = m_texture1d;
        params.lut1dSize = static_cast<float>(table.size1d);
    }
    for (int i = 0; i < 3; ++i) {
        params.lutDomainMin[i] = table.domainMin[i];
        params.lutDomainScale[i] = 1.0f / (table.domainMax[i] - table.domainMin[i]);
    }
    params.lutIntensity = static_cast<float>(m_intensity) / 100.0f;
}

void LutFilter::release(Gl *gl)
{
    if (gl) {
        if (m_texture3d)
            gl->glDeleteTextures(1, &m_texture3d);
        if (m_texture1d)
            gl->glDeleteTextures(1, &m_texture1d);
        if (m_baked)
            gl->glDeleteTextures(1, &m_baked);
    }
    m_texture3d = m_texture1d = m_baked = 0;
    m_bakedSize = 0;
    m_bakedKey.clear();
    m_uploaded.reset();
}

} // namespace velvix
