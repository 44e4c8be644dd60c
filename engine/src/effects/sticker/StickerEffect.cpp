#include "effects/sticker/StickerEffect.h"

#include "core/Renderer.h"
#include "core/ShaderProgram.h"
#include "core/TextureRing.h"
#include "effects/sticker3d/MeshPackage.h"
#include "vision/FaceTrackerAdapter.h"

#include <QDebug>
#include <QFileInfo>

#include <cmath>

namespace velvix {

namespace {

// Copies the frame into the output (`target`, or a scratch texture) and
// readies the sticker program for premultiplied quads over it; null when a
// program cannot be built.
ShaderProgram *beginStickerPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target, GLuint *out)
{
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *copy = renderer.program("core/copy.frag", {}, "");
    ShaderProgram *sticker =
        renderer.program("effects/sticker/sticker.frag", {}, "", "effects/sticker/sticker.vert");
    if (!copy || !sticker)
        return nullptr;
    *out = target ? target : frame.scratch.get(gl, "motion.out", frame.width, frame.height, GL_RGBA8);
    copy->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    copy->set(gl, "u_src", 0);
    renderer.drawTo(*out, frame.width, frame.height);
    sticker->use(gl);
    sticker->set(gl, "u_image", 0);
    sticker->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);  // premultiplied artwork
    return sticker;
}

} // namespace

bool StickerEffect::apply(const EffectInfo &, int, const char *resourcePath, const QJsonObject &)
{
    // A 3D package ("type": "3d") goes to the 3D family; any other choice
    // switches that off, so one sticker shows at a time.
    m_companions.clear();
    const bool is3d = resourcePath && *resourcePath && isMeshPackage(QString::fromUtf8(resourcePath));
    m_companions.push_back({"motion3d", is3d ? 100 : 0, is3d ? resourcePath : ""});
    if (is3d) {
        m_on = false;
        return true;
    }
    // A package switches stickers on, none switches them off.
    if (!resourcePath || !*resourcePath) {
        m_on = false;
        return true;
    }
    const QString path = QString::fromUtf8(resourcePath);
    const QString folder = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    if (m_package && m_package->path == folder) {
        m_on = true;
        return true;
    }
    QString error;
    if (isGesturePackage(path)) {
        const bool ok = m_gesture.load(path, &error);
        if (!ok)
            qWarning().noquote() << "Velvix: sticker package not used:" << error;
        m_package = nullptr;
        m_on = ok;
        return ok;
    }
    m_gesture.unload();
    auto package = std::make_shared<StickerPackage>();
    const bool ok = loadStickerPackage(path, package.get(), &error);
    if (!ok)
        qWarning().noquote() << "Velvix: sticker package not used:" << error;
    for (const auto &layer : m_textures)
        m_stale.insert(m_stale.end(), layer.begin(), layer.end());
    m_textures.clear();
    m_uploaded = false;
    m_package = ok ? std::move(package) : nullptr;
    m_on = ok;
    return ok;
}

void StickerEffect::clear()
{
    m_on = false;
}

void StickerEffect::release(Gl *gl)
{
    m_gesture.release(gl);
    if (!gl)
        return;
    for (const auto &layer : m_textures)
        m_stale.insert(m_stale.end(), layer.begin(), layer.end());
    if (!m_stale.empty())
        gl->glDeleteTextures(static_cast<GLsizei>(m_stale.size()), m_stale.data());
    m_stale.clear();
    m_textures.clear();
    m_uploaded = false;
}

unsigned StickerEffect::trackersNeeded() const
{
    if (m_gesture.package())
        return m_on ? vision::trackerBit(vision::HandTracking) : 0;
    return m_package && m_on ? vision::trackerBit(vision::FaceTracking) : 0;
}

bool StickerEffect::hasPass(const FrameContext &frame) const
{
    if (!trackersNeeded())
        return false;
    if (m_gesture.package()) {
        const auto *hands = dynamic_cast<const vision::HandResult *>(frame.tracking[vision::HandTracking].get());
        return hands && m_gesture.anyVisible(*hands);
    }
    const auto *faces = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    return faces && !faces->faces.empty() && faces->width > 0 && faces->height > 0;
}

GLuint StickerEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    if (m_gesture.package())
        return runGesturePass(frame, source, sourceLinear, target);
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    if (!result || !m_package)
        return 0;
    if (!m_stale.empty()) {
        gl->glDeleteTextures(static_cast<GLsizei>(m_stale.size()), m_stale.data());
        m_stale.clear();
    }
    if (!m_uploaded) {
        for (const StickerLayer &layer : m_package->layers)
            m_textures.push_back(uploadStickerFrames(gl, layer.frames));
        m_uploaded = true;
    }
    GLuint out = 0;
    ShaderProgram *sticker = beginStickerPass(frame, source, sourceLinear, target, &out);
    if (!sticker)
        return 0;
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    if (!m_clock.isValid())
        m_clock.start();
    const double seconds = m_clock.isValid() ? m_clock.elapsed() / 1000.0 : 0.0;
    for (const vision::Face &face : result->faces) {
        if (face.landmarks.size() < 468)
            continue;
        std::vector<cv::Point2f> points;
        points.reserve(face.landmarks.size());
        for (const cv::Point3f &p : face.landmarks)
            points.emplace_back(p.x * sx, p.y * sy);
        const FaceTriggers triggers = faceTriggers(points);
        for (size_t i = 0; i < m_package->layers.size(); ++i) {
            const StickerLayer &layer = m_package->layers[i];
            if ((layer.trigger == StickerTrigger::MouthOpen && !triggers.mouthOpen) ||
                (layer.trigger == StickerTrigger::BrowsRaised && !triggers.browsRaised) ||
                (layer.trigger == StickerTrigger::EyesClosed && !triggers.eyesClosed))
                continue;
            const size_t count = layer.frames.size();
            const size_t index = layer.fps > 0 ? static_cast<size_t>(std::floor(seconds * layer.fps)) % count : 0;
            StickerQuad quad;
            if (!placeSticker(layer, layer.frames[index], points, &quad))
                continue;
            renderer.bindTexture(0, GL_TEXTURE_2D, m_textures[i][index], true);
            gl->glBindSampler(0, 0);  // the texture's own mipmap filtering
            sticker->set(gl, "u_centre", quad.centre.x, quad.centre.y);
            sticker->set(gl, "u_halfX", quad.halfX.x, quad.halfX.y);
            sticker->set(gl, "u_halfY", quad.halfY.x, quad.halfY.y);
            gl->glDrawArrays(GL_TRIANGLES, 0, 6);
        }
    }
    gl->glDisable(GL_BLEND);
    return out;
}

GLuint StickerEffect::runGesturePass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    const auto *hands = dynamic_cast<const vision::HandResult *>(frame.tracking[vision::HandTracking].get());
    if (!hands)
        return 0;
    GLuint out = 0;
    ShaderProgram *sticker = beginStickerPass(frame, source, sourceLinear, target, &out);
    if (!sticker)
        return 0;
    m_gesture.draw(frame, *sticker, *hands);
    frame.renderer.gl()->glDisable(GL_BLEND);
    return out;
}

} // namespace velvix
