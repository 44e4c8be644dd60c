#include "effects/greenscreen/GreenScreen.h"
#include "core/ImageDecode.h"

#include "vision/SelfieSegmenter.h"

#include <QColor>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velvix {

namespace {

double clampTo(double v, double lo, double hi)
{
    return std::min(hi, std::max(lo, v));
}

} // namespace

bool GreenScreen::applyParamList(const std::vector<double> &numbers, bool scaled)
{
    if (numbers.empty())
        return false;
    const double div = scaled ? 1.0 : 100.0;
    if (numbers.size() > 0)
        m_params.similarity = clampTo(numbers[0] / div, 0.0, 1.0);
    if (numbers.size() > 1)
        m_params.smooth = clampTo(numbers[1] / div, 0.01, 1.0);
    if (numbers.size() > 2)
        m_params.corrosion = static_cast<int>(std::lround(clampTo(numbers[2], 0.0, 3.0)));
    if (numbers.size() > 3)
        m_params.despill = clampTo(numbers[3] / div, 0.0, 1.0);
    if (numbers.size() > 4)
        m_params.deshadow = clampTo(numbers[4], 0.0, 5.0);
    return true;
}

bool GreenScreen::applySliderParam(const std::string &name, int value)
{
    if (name == "green_background_v2.similarity")
        m_params.similarity = clampTo(value / 100.0, 0.0, 1.0);
    else if (name == "green_background_v2.smooth")
        m_params.smooth = clampTo(value / 100.0, 0.01, 1.0);
    else if (name == "green_background_v2.despill")
        m_params.despill = clampTo(value / 100.0, 0.0, 1.0);
    else if (name == "green_background_v2.corrosion")
        m_params.corrosion = std::min(3, std::max(0, value));
    else if (name == "green_background_v2.deshadow")
        m_params.deshadow = clampTo(value, 0.0, 5.0);
    else
        return false;
    return true;
}

bool GreenScreen::applyParamsEvent(const char *json)
{
    QJsonObject object;
    if (!parseExtraInfo(json, &object))
        return false;
    std::vector<double> numbers;
    if (!parseNumberList(object.value(QStringLiteral("green_params_v2")), &numbers)) {
        qWarning() << "Velvix: green-screen parameters need a list of numbers in \"green_params_v2\"";
        return false;
    }
    return applyParamList(numbers, true);
}

void GreenScreen::setBackground(const QImage &image, const QString &source)
{
    if (source == m_backgroundSource && !image.isNull() == !m_background.isNull())
        return;
    m_background = image;
    m_backgroundSource = source;
    m_backgroundDirty = true;
}

bool GreenScreen::loadPackage(const QString &path, QString *backgroundPath)
{
    // A package is a folder with template.json; the path may name either.
    QFileInfo info(path);
    const QString folder = info.isDir() ? path : info.absolutePath();
    const QString manifestPath = info.isDir() ? QDir(path).filePath(QStringLiteral("template.json")) : path;
    QFile manifest(manifestPath);
    if (!manifest.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Velvix: background package not found:" << manifestPath;
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(manifest.read(1 << 20), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qWarning().noquote() << "Velvix: malformed background package" << manifestPath << "-"
                             << error.errorString();
        return false;
    }
    const QJsonObject root = doc.object();
    const QString type = root.value(QStringLiteral("type")).toString(QStringLiteral("green_screen"));
    if (type == QLatin1String("person")) {
        // "background": "blur" with a "strength" (0..100), or a picture.
        const QString background = root.value(QStringLiteral("background")).toString();
        if (background.isEmpty()) {
            qWarning().noquote() << "Velvix: person package without a \"background\":" << manifestPath;
            return false;
        }
        m_person = true;
        if (background == QLatin1String("blur")) {
            const double strength = root.value(QStringLiteral("strength")).toDouble(60.0);
            m_blurStrength = static_cast<int>(std::lround(clampTo(std::isfinite(strength) ? strength : 60.0, 0.0, 100.0)));
        } else {
            *backgroundPath = QDir(folder).filePath(background);
        }
        return true;
    }
    if (type != QLatin1String("green_screen")) {
        qWarning().noquote() << "Velvix: unknown background package type" << type << "in" << manifestPath;
        return false;
    }
    const QString key = root.value(QStringLiteral("keyColor")).toString();
    if (!key.isEmpty()) {
        const QColor color(key);
        if (color.isValid()) {
            m_keyColor[0] = static_cast<float>(color.redF());
            m_keyColor[1] = static_cast<float>(color.greenF());
            m_keyColor[2] = static_cast<float>(color.blueF());
        } else {
            qWarning().noquote() << "Velvix: ignoring bad keyColor" << key << "in" << manifestPath;
        }
    }
    const QJsonObject params = root.value(QStringLiteral("params")).toObject();
    static const char *const kOrder[] = {"similarity", "smooth", "corrosion", "despill", "deshadow"};
    for (const char *name : kOrder) {
        const QJsonValue v = params.value(QLatin1String(name));
        if (v.isDouble())
            applySliderParam(std::string("green_background_v2.") + name, static_cast<int>(v.toDouble()));
    }
    const QString background = root.value(QStringLiteral("background")).toString();
    if (!background.isEmpty())
        *backgroundPath = QDir(folder).filePath(background);
    return true;
}

QImage GreenScreen::picture(const QString &path)
{
    // Slider moves re-send the same background; decode each picture once.
    for (const auto &entry : m_pictureCache) {
        if (entry.first == path)
            return entry.second;
    }
    QString error;
    QImage image = decodePicture(path, &error);
    if (image.isNull()) {
        qWarning().noquote() << "Velvix:" << path << "-" << error;
        return image;
    }
    // A background never needs more than a large frame's worth of pixels;
    // bigger pictures only cost upload time and memory.
    constexpr int kMaxSide = 2048;
    if (image.width() > kMaxSide || image.height() > kMaxSide)
        image = image.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    image = image.convertToFormat(QImage::Format_RGBA8888);
    if (m_pictureCache.size() >= 3)
        m_pictureCache.erase(m_pictureCache.begin());
    m_pictureCache.emplace_back(path, image);
    return image;
}

bool GreenScreen::apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra)
{
    const std::string name(info.name);
    if (name == "segmentation")
        return applySegmentation(resourcePath, extra);
    if (name == "atomic.portraitSegment") {
        m_showMask = value > 0;
        return true;
    }
    return applySliderParam(name, value);
}

bool GreenScreen::applyProperty(const char *key, const char *value, bool *handled)
{
    *handled = key && std::strcmp(key, "event.script.zentasdk.GreenScreenSetGreenParamsV2") == 0;
    return *handled && applyParamsEvent(value);
}

bool GreenScreen::applySegmentation(const char *fullPath, const QJsonObject &extra)
{
    const QString bgPath = extra.value(QStringLiteral("bgPath")).toString();
    QString packagePath = fullPath ? QString::fromUtf8(fullPath) : QString();
    if (packagePath.isEmpty() && bgPath.isEmpty()) {
        m_enabled = false;
        m_person = false;
        m_lastPackage.clear();
        setBackground(QImage(), QString());
        return true;
    }
    // The custom picture comes without a package (the upload control sends
    // only its own setting): it goes over the mask of the package chosen
    // last, a person package's or the chroma key.
    const bool remembered = packagePath.isEmpty();
    if (remembered)
        packagePath = m_lastPackage;
    else
        m_lastPackage = packagePath;
    const bool hasPackage = !packagePath.isEmpty();
    m_keyColor[0] = 0.f;
    m_keyColor[1] = 1.f;
    m_keyColor[2] = 0.f;
    m_person = false;
    m_blurStrength = 0;
    bool ok = true;
    bool packageOk = false;
    QString packageBackground;
    if (hasPackage) {
        packageOk = loadPackage(packagePath, &packageBackground);
        // A remembered package that went away leaves the chroma key.
        ok = packageOk || remembered;
    }
    QString chosen;
    QImage chosenImage;
    if (!bgPath.isEmpty()) {
        // bgType "0" (the only kind the panel sends) is a still picture.
        const QString bgType = extra.value(QStringLiteral("bgType")).toString(QStringLiteral("0"));
        if (bgType != QLatin1String("0"))
            qWarning().noquote() << "Velvix: background type" << bgType << "is not known, reading it as a picture";
        chosenImage = picture(bgPath);
        if (chosenImage.isNull()) {
            qWarning().noquote() << "Velvix: cannot read custom background" << bgPath;
            ok = false;
        } else {
            chosen = bgPath;
        }
    }
    if (chosen.isEmpty() && packageOk && !packageBackground.isEmpty()) {
        chosenImage = picture(packageBackground);
        if (chosenImage.isNull()) {
            qWarning().noquote() << "Velvix: cannot read background picture" << packageBackground;
            ok = false;
        } else {
            chosen = packageBackground;
        }
    }
    const QJsonValue raw = extra.value(QStringLiteral("green_params_v2"));
    if (!raw.isUndefined()) {
        std::vector<double> numbers;
        if (parseNumberList(raw, &numbers))
            applyParamList(numbers, false);
        else
            qWarning() << "Velvix: ignoring malformed \"green_params_v2\" in the extra information";
    }
    // A person package whose picture cannot be read stays off rather than
    // showing the person over nothing.
    if (m_person && m_blurStrength == 0 && chosen.isEmpty() && packageBackground.size() > 0)
        packageOk = false;
    m_enabled = packageOk || !chosen.isEmpty();
    setBackground(m_enabled ? chosenImage : QImage(), m_enabled ? chosen : QString());
    return ok;
}

void GreenScreen::reset()
{
    m_enabled = false;
    m_person = false;
    m_blurStrength = 0;
    m_lastPackage.clear();
    m_showMask = false;
    m_params = Params();
    setBackground(QImage(), QString());
}

void GreenScreen::prepare(Renderer &renderer)
{
    if (!m_backgroundDirty)
        return;
    Gl *gl = renderer.gl();
    if (m_backgroundTexture)
        gl->glDeleteTextures(1, &m_backgroundTexture);
    m_backgroundTexture = 0;
    if (!m_background.isNull()) {
        gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, m_background.bytesPerLine() / 4);
        m_backgroundTexture = createTexture2D(gl, GL_RGBA8, m_background.width(), m_background.height(),
                                              GL_RGBA, GL_UNSIGNED_BYTE, m_background.constBits());
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    m_backgroundDirty = false;
}

GLuint GreenScreen::run(Renderer &renderer, GLuint source, bool sourceLinear, int width, int height,
                        ScratchTextures &scratch, GLuint target)
{
    Gl *gl = renderer.gl();
    const int radius = m_params.corrosion * std::max(1, static_cast<int>(std::lround(height / 720.0)));
    const bool twoPasses = radius > 0;
    ShaderProgram *key = renderer.program("effects/greenscreen/green_screen.frag", {"core/common.glsl"},
                                          twoPasses ? "#define KEY_PASS\n" : "");
    ShaderProgram *composite = twoPasses
        ? renderer.program("effects/greenscreen/green_screen.frag", {"core/common.glsl"}, "#define COMPOSITE_PASS\n")
        : nullptr;
    if (!key || (twoPasses && !composite))
        return 0;

    const float r = m_keyColor[0], g = m_keyColor[1], b = m_keyColor[2];
    const float keyCb = -0.168736f * r - 0.331264f * g + 0.5f * b;
    const float keyCr = 0.5f * r - 0.418688f * g - 0.081312f * b;
    const float keyLuma = 0.299f * r + 0.587f * g + 0.114f * b;
    const int spillChannel = b > g ? 2 : 1;

    float scale[2] = {1.f, 1.f};
    float offset[2] = {0.f, 0.f};
    const bool hasBackground = m_backgroundTexture != 0;
    if (hasBackground) {
        // Aspect fill: the background covers the frame, centred, cropped.
        const float frameAspect = static_cast<float>(width) / static_cast<float>(height);
        const float bgAspect = static_cast<float>(m_background.width()) / static_cast<float>(m_background.height());
        if (bgAspect > frameAspect)
            scale[0] = frameAspect / bgAspect;
        else
            scale[1] = bgAspect / frameAspect;
        offset[0] = (1.f - scale[0]) * 0.5f;
        offset[1] = (1.f - scale[1]) * 0.5f;
    }

    auto setCommon = [&](ShaderProgram *p) {
        p->set(gl, "u_keyChroma", keyCb, keyCr);
        p->set(gl, "u_keyLuma", keyLuma);
        p->set(gl, "u_threshold", static_cast<float>(m_params.similarity * 0.7));
        p->set(gl, "u_ramp", static_cast<float>(m_params.smooth * 0.3));
        p->set(gl, "u_despill", static_cast<float>(m_params.despill));
        p->set(gl, "u_deshadow", static_cast<float>(m_params.deshadow / 5.0));
        p->set(gl, "u_spillChannel", spillChannel);
        p->set(gl, "u_texel", 1.0f / static_cast<float>(width), 1.0f / static_cast<float>(height));
        p->set(gl, "u_radius", radius);
        p->set(gl, "u_hasBackground", hasBackground ? 1 : 0);
        p->set(gl, "u_bgScale", scale[0], scale[1]);
        p->set(gl, "u_bgOffset", offset[0], offset[1]);
        p->set(gl, "u_src", 0);
        p->set(gl, "u_bg", 1);
    };

    GLuint output = target ? target : scratch.get(gl, "green.out", width, height, GL_RGBA8);
    if (hasBackground)
        renderer.bindTexture(1, GL_TEXTURE_2D, m_backgroundTexture, true);
    key->use(gl);
    setCommon(key);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    if (!twoPasses) {
        renderer.drawTo(output, width, height);
        return output;
    }
    GLuint keyed = scratch.get(gl, "green.key", width, height, GL_RGBA8);
    renderer.drawTo(keyed, width, height);
    composite->use(gl);
    setCommon(composite);
    renderer.bindTexture(0, GL_TEXTURE_2D, keyed, false);
    renderer.drawTo(output, width, height);
    return output;
}

unsigned GreenScreen::trackersNeeded() const
{
    return personMode() || m_showMask ? vision::trackerBit(vision::PersonSegmentation) : 0;
}

bool GreenScreen::hasPass(const FrameContext &frame) const
{
    if (m_showMask)
        return frame.tracking[vision::PersonSegmentation] != nullptr;
    if (!m_enabled)
        return false;
    if (!m_person)
        return true;
    // Without a mask (model missing or still loading) the frame is left as
    // it is; strength 0 without a picture is no change either.
    return frame.tracking[vision::PersonSegmentation] && (m_backgroundTexture || m_blurStrength > 0);
}

GLuint GreenScreen::runPerson(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    const auto *result
        = dynamic_cast<const vision::SegmentationResult *>(frame.tracking[vision::PersonSegmentation].get());
    const int n = vision::SegmentationResult::Size;
    auto fits = [n](const cv::Mat &m) { return m.rows == n && m.cols == n && m.type() == CV_8UC1; };
    if (!result || !fits(result->mask) || !fits(result->band))
        return 0;
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    if (!m_maskTexture || m_maskUploaded != result) {
        // Mask (r) and its edge band (g) in one texture, one upload.
        const cv::Mat planes[] = {result->mask, result->band};
        cv::merge(planes, 2, m_maskPixels);
        gl->glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        if (!m_maskTexture) {
            m_maskTexture = createTexture2D(gl, GL_RG8, n, n, GL_RG, GL_UNSIGNED_BYTE, m_maskPixels.data);
        } else {
            gl->glBindTexture(GL_TEXTURE_2D, m_maskTexture);
            gl->glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, n, n, GL_RG, GL_UNSIGNED_BYTE, m_maskPixels.data);
        }
        gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        // Held so the address cannot be reused by a newer result unnoticed.
        m_maskHeld = frame.tracking[vision::PersonSegmentation];
        m_maskUploaded = result;
    }
    const char *file = "effects/greenscreen/person.frag";
    ShaderProgram *guide = renderer.program(file, {}, "#define GUIDE_PASS\n");
    ShaderProgram *composite
        = renderer.program(file, {}, m_showMask ? "#define COMPOSITE_PASS\n#define SHOW_MASK\n" : "#define COMPOSITE_PASS\n");
    // The mask ability shows the mask in place of any background.
    const bool blur = !m_showMask && m_backgroundTexture == 0;
    ShaderProgram *blurPass = blur ? renderer.program(file, {}, "#define BLUR_PASS\n") : nullptr;
    if (!guide || !composite || (blur && !blurPass))
        return 0;

    const int width = frame.width, height = frame.height;
    GLuint guideTexture = frame.scratch.get(gl, "person.guide", n, n, GL_RGBA8);
    guide->use(gl);
    guide->set(gl, "u_src", 0);
    guide->set(gl, "u_mask", 1);
    guide->set(gl, "u_texel", 1.0f / n, 1.0f / n);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, true);
    renderer.bindTexture(1, GL_TEXTURE_2D, m_maskTexture, true);
    renderer.drawTo(guideTexture, n, n);

    GLuint background = m_backgroundTexture;
    if (blur) {
        // On a grid of half the mask's: a background blurred by several mask
        // cells has nothing finer to lose, and a quarter of the cells with
        // half the taps is an eighth of the work. Sigma up to 3 % of the
        // frame's height, the same in both directions of the picture
        // although the grid is stretched.
        const int m = n / 2;
        const float sigmaPx = 0.03f * static_cast<float>(height) * m_blurStrength / 100.f;
        const float sigma[2] = {std::max(0.5f, sigmaPx * m / width), std::max(0.5f, sigmaPx * m / height)};
        GLuint pass1 = frame.scratch.get(gl, "person.blur1", m, m, GL_RGBA16F);
        GLuint pass2 = frame.scratch.get(gl, "person.blur2", m, m, GL_RGBA16F);
        blurPass->use(gl);
        blurPass->set(gl, "u_src", 0);
        for (int axis = 0; axis < 2; ++axis) {
            blurPass->set(gl, "u_step", axis == 0 ? 1.0f / m : 0.f, axis == 1 ? 1.0f / m : 0.f);
            blurPass->set(gl, "u_sigma", sigma[axis]);
            blurPass->set(gl, "u_radius", std::min(24, static_cast<int>(std::ceil(2.5f * sigma[axis]))));
            blurPass->set(gl, "u_firstBlur", axis == 0 ? 1 : 0);
            renderer.bindTexture(0, GL_TEXTURE_2D, axis == 0 ? guideTexture : pass1, true);
            renderer.drawTo(axis == 0 ? pass1 : pass2, m, m);
        }
        background = pass2;
    }

    float scale[2] = {1.f, 1.f};
    float offset[2] = {0.f, 0.f};
    if (!blur && !m_showMask) {
        const float frameAspect = static_cast<float>(width) / static_cast<float>(height);
        const float bgAspect = static_cast<float>(m_background.width()) / static_cast<float>(m_background.height());
        if (bgAspect > frameAspect)
            scale[0] = frameAspect / bgAspect;
        else
            scale[1] = bgAspect / frameAspect;
        offset[0] = (1.f - scale[0]) * 0.5f;
        offset[1] = (1.f - scale[1]) * 0.5f;
    }
    GLuint output = target ? target : frame.scratch.get(gl, "green.out", width, height, GL_RGBA8);
    composite->use(gl);
    composite->set(gl, "u_src", 0);
    composite->set(gl, "u_guide", 1);
    composite->set(gl, "u_bg", 2);
    composite->set(gl, "u_mask", 3);
    composite->set(gl, "u_useBlur", blur ? 1 : 0);
    composite->set(gl, "u_bgScale", scale[0], scale[1]);
    composite->set(gl, "u_bgOffset", offset[0], offset[1]);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    renderer.bindTexture(1, GL_TEXTURE_2D, guideTexture, false);
    renderer.bindTexture(2, GL_TEXTURE_2D, background ? background : guideTexture, true);
    renderer.bindTexture(3, GL_TEXTURE_2D, m_maskTexture, false);
    renderer.drawTo(output, width, height);
    return output;
}

void GreenScreen::release(Gl *gl)
{
    if (gl && m_maskTexture)
        gl->glDeleteTextures(1, &m_maskTexture);
    m_maskTexture = 0;
    m_maskUploaded = nullptr;
    m_maskHeld.reset();
    if (gl && m_backgroundTexture)
        gl->glDeleteTextures(1, &m_backgroundTexture);
    m_backgroundTexture = 0;
    m_backgroundDirty = !m_background.isNull();
}

} // namespace velvix
