#include "effects/makeup/MakeupEffect.h"

#include "core/Renderer.h"
#include "core/ShaderProgram.h"
#include "core/TextureRing.h"
#include "vision/FaceTrackerAdapter.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace velvix {

namespace {

bool anyLayer(const MakeupLayers &layers)
{
    for (const MakeupLayer &layer : layers) {
        if (layer.on)
            return true;
    }
    return false;
}

} // namespace

bool MakeupEffect::apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &)
{
    const bool light = std::strcmp(info.name, "light.makeup") == 0;
    const bool style = std::strcmp(info.name, "makeup") == 0;
    const MakeupKind kind = makeupKindOf(info.name);
    if (!light && !style && kind == MakeupKind::Count)
        return false;
    Setting &setting = style ? m_style : light ? m_light : m_single[static_cast<int>(kind)];
    setting.strength = static_cast<float>(value) / 100.0f;
    bool ok = true;
    if (resourcePath && *resourcePath) {
        MakeupLayers layers{};
        std::vector<StyleSetting> others;
        QString error;
        const QString path = QString::fromUtf8(resourcePath);
        const bool loaded = style ? loadStyleLook(path, &layers, &others, &error)
                                  : light ? loadMakeupLook(path, &layers, &error)
                                          : loadMakeupPackage(path, kind, &layers, &error);
        if (loaded) {
            setting.layers = layers;
            if (style)
                m_styleSettings = others;
        } else {
            qWarning().noquote() << QStringLiteral("Velvix: makeup package for \"%1\" not used: %2")
                                        .arg(QLatin1String(info.name), error);
            setting = Setting();
            if (style)
                m_styleSettings.clear();
            ok = false;
        }
    } else if (value != info.neutral && !anyLayer(setting.layers)) {
        // A strength alone needs a package chosen before.
        qWarning().noquote() << QStringLiteral("Velvix: \"%1\" needs a package").arg(QLatin1String(info.name));
        setting.strength = 0;
        ok = false;
    }
    if (style)
        updateStyleCompanions();
    return ok;
}

void MakeupEffect::updateStyleCompanions()
{
    // Settings of the previous look that this one lacks go back to neutral.
    std::vector<std::string> now;
    for (const StyleSetting &other : m_styleSettings) {
        if (m_style.strength > 0)
            now.push_back(other.name);
    }
    for (const std::string &name : m_styleApplied) {
        if (std::find(now.begin(), now.end(), name) == now.end())
            m_companions.push_back({name, 0, std::string()});
    }
    if (m_style.strength > 0) {
        for (const StyleSetting &other : m_styleSettings)
            m_companions.push_back({other.name, static_cast<int>(std::lround(other.value * m_style.strength)),
                                    other.resourcePath});
    }
    m_styleApplied = now;
}

std::vector<EffectFamily::Companion> MakeupEffect::takeCompanions()
{
    std::vector<Companion> out;
    out.swap(m_companions);
    return out;
}

void MakeupEffect::clear()
{
    for (Setting &setting : m_single)
        setting = Setting();
    m_light = Setting();
    m_style = Setting();
    m_styleSettings.clear();
    m_styleApplied.clear();  // the other families are cleared too
    m_companions.clear();
}

void MakeupEffect::release(Gl *gl)
{
    if (gl && m_masks[0])
        gl->glDeleteTextures(2, m_masks);
    m_masks[0] = m_masks[1] = 0;
}

MakeupLayers MakeupEffect::activeLayers() const
{
    MakeupLayers out{};
    // Styled look, then light look, then single effects: each replaces the
    // layers of the kinds it paints.
    for (const Setting *look : {&m_style, &m_light}) {
        for (int kind = 0; kind < kMakeupKinds; ++kind) {
            const MakeupLayer &layer = look->layers[static_cast<size_t>(kind)];
            if (layer.on && look->strength > 0) {
                out[static_cast<size_t>(kind)] = layer;
                out[static_cast<size_t>(kind)].opacity *= look->strength;
            }
        }
    }
    for (int effect = 0; effect < kMakeupKinds; ++effect) {
        const Setting &single = m_single[effect];
        if (single.strength <= 0)
            continue;
        for (int kind = 0; kind < kMakeupKinds; ++kind) {
            const MakeupLayer &layer = single.layers[static_cast<size_t>(kind)];
            if (!layer.on)
                continue;
            out[static_cast<size_t>(kind)] = layer;
            out[static_cast<size_t>(kind)].opacity *= single.strength;
        }
    }
    return out;
}

unsigned MakeupEffect::trackersNeeded() const
{
    for (const MakeupLayer &layer : activeLayers()) {
        if (layer.on && layer.opacity > 0)
            return vision::trackerBit(vision::FaceTracking);
    }
    return 0;
}

bool MakeupEffect::hasPass(const FrameContext &frame) const
{
    if (!trackersNeeded())
        return false;
    const auto *faces = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    return faces && !faces->faces.empty() && faces->width > 0 && faces->height > 0;
}

GLuint MakeupEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *copy = renderer.program("core/copy.frag", {}, "");
    const MakeupLayers layers = activeLayers();
    unsigned wanted = 0;
    std::string defines;
    for (int kind = 0; kind < kMakeupKinds; ++kind) {
        const MakeupLayer &layer = layers[static_cast<size_t>(kind)];
        if (layer.on && layer.opacity > 0) {
            wanted |= 1u << kind;
            defines += "#define LAYER" + std::to_string(kind) + "_MODE " +
                std::to_string(static_cast<int>(layer.blend)) + "\n";
        }
    }
    ShaderProgram *makeup = renderer.program("effects/makeup/makeup.frag", {}, defines);
    if (!result || !copy || !makeup)
        return 0;
    const GLuint out = target ? target : frame.scratch.get(gl, "makeup.out", frame.width, frame.height, GL_RGBA8);
    copy->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    copy->set(gl, "u_src", 0);
    renderer.drawTo(out, frame.width, frame.height);

    if (!m_masks[0]) {
        for (GLuint &mask : m_masks)
            mask = createTexture2D(gl, GL_RGBA8, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE);
    }
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    float colours[kMakeupKinds * 3];
    for (int kind = 0; kind < kMakeupKinds; ++kind) {
        const MakeupLayer &layer = layers[static_cast<size_t>(kind)];
        std::copy(layer.colour, layer.colour + 3, colours + kind * 3);
    }
    makeup->use(gl);
    const GLuint id = makeup->id();
    gl->glUniform3fv(gl->glGetUniformLocation(id, "u_colour"), kMakeupKinds, colours);
    makeup->set(gl, "u_src", 0);
    makeup->set(gl, "u_maskA", 1);
    makeup->set(gl, "u_maskB", 2);
    makeup->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));

    for (const vision::Face &face : result->faces) {
        if (face.landmarks.size() < 468)
            continue;
        std::vector<cv::Point2f> points;
        points.reserve(face.landmarks.size());
        for (const cv::Point3f &p : face.landmarks)
            points.emplace_back(p.x * sx, p.y * sy);
        MakeupMasks masks;
        if (!buildMakeupMasks(points, cv::Size(frame.width, frame.height), wanted, &masks) || masks.fade <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            const cv::Mat &mask = masks.channels[i];
            gl->glActiveTexture(GL_TEXTURE1 + static_cast<GLenum>(i));
            gl->glBindTexture(GL_TEXTURE_2D, m_masks[i]);
            gl->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
            gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(mask.step[0] / 4));
            gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, mask.cols, mask.rows, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                             mask.data);
            gl->glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
            renderer.bindTexture(1 + i, GL_TEXTURE_2D, m_masks[i], true);
        }
        float weights[kMakeupKinds];
        for (int kind = 0; kind < kMakeupKinds; ++kind) {
            const MakeupLayer &layer = layers[static_cast<size_t>(kind)];
            weights[kind] = layer.on ? layer.opacity * masks.fade : 0.0f;
        }
        gl->glUniform1fv(gl->glGetUniformLocation(id, "u_weight"), kMakeupKinds, weights);
        const cv::Rect &area = masks.area;
        gl->glUniform4f(gl->glGetUniformLocation(id, "u_area"), static_cast<float>(area.x),
                        static_cast<float>(area.y), static_cast<float>(area.width), static_cast<float>(area.height));
        renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
        gl->glEnable(GL_SCISSOR_TEST);
        gl->glScissor(area.x, area.y, area.width, area.height);
        renderer.drawTo(out, frame.width, frame.height);
        gl->glDisable(GL_SCISSOR_TEST);
    }
    return out;
}

} // namespace velvix
