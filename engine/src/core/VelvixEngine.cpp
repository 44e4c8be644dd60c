#include "core/VelvixEngine.h"

#include "core/GlStateGuard.h"
#include "effects/beauty/BeautyEffect.h"
#include "effects/body/BodyEffect.h"
#include "effects/bodyinfo/BodyInfoEffect.h"
#include "effects/faceinfo/FaceInfoEffect.h"
#include "effects/handinfo/HandInfoEffect.h"
#include "effects/greenscreen/GreenScreen.h"
#include "effects/lut/LutFilter.h"
#include "effects/quality/QualityEffect.h"
#include "effects/makeup/MakeupEffect.h"
#include "effects/reshape/ReshapeEffect.h"
#include "vision/BodyTracker.h"
#include "effects/sticker/StickerEffect.h"
#include "effects/sticker3d/Sticker3dEffect.h"
#include "vision/FaceTrackerAdapter.h"
#include "vision/HandTracker.h"
#include "vision/SelfieSegmenter.h"

#include <QDebug>

#include <functional>
#include <QJsonObject>
#include <QOpenGLContext>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velvix {

namespace {

constexpr int kMaxSide = 8192;

bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

VelvixEngine::VelvixEngine(const char *resourceDir, int width, int height)
    : m_resourceDir(resourceDir ? resourceDir : ""), m_width(width), m_height(height)
{
    // Chain order: passes that move or replace pixels first, colour last.
    // Makeup before reshaping, so it is warped with the face it is painted on.
    registerFamily(std::make_unique<MakeupEffect>());
    registerFamily(std::make_unique<BodyEffect>());
    registerFamily(std::make_unique<ReshapeEffect>());
    registerFamily(std::make_unique<GreenScreen>());
    registerFamily(std::make_unique<BeautyEffect>());
    registerFamily(std::make_unique<QualityEffect>());
    registerFamily(std::make_unique<LutFilter>());
    registerFamily(std::make_unique<StickerEffect>());
    registerFamily(std::make_unique<Sticker3dEffect>());
    // Drawn over everything, on the unaltered geometry of the output.
    registerFamily(std::make_unique<FaceInfoEffect>());
    registerFamily(std::make_unique<BodyInfoEffect>());
    registerFamily(std::make_unique<HandInfoEffect>());
}

VelvixEngine::~VelvixEngine()
{
    // Trackers stop first: nothing may call into a family being torn down.
    m_vision.setTracker(vision::FaceTracking, nullptr);
    m_vision.setTracker(vision::PersonSegmentation, nullptr);
    m_vision.setTracker(vision::BodyTracking, nullptr);
    m_vision.setTracker(vision::HandTracking, nullptr);
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (QOpenGLContext::currentContext() && m_renderer.begin()) {
        Gl *gl = m_renderer.gl();
        releaseGl(gl);
        m_renderer.end();
        m_renderer.releaseAll();
    } else {
        qWarning() << "Velvix: destroyed without a current OpenGL context; its GL objects are left to the context";
    }
}

void VelvixEngine::registerFamily(std::unique_ptr<EffectFamily> family)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_families.size() >= kMaxFamilies) {
        qWarning().noquote() << "Velvix: too many effect families, not adding" << family->name();
        return;
    }
    if (m_composeIncludes.empty())
        m_composeIncludes.insert(m_composeIncludes.end(), {"core/common.glsl", "core/warp.glsl"});
    if (const char *include = family->composeInclude())
        m_composeIncludes.emplace_back(include);
    m_families.push_back(std::move(family));
}

EffectFamily *VelvixEngine::family(const char *name) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const auto &family : m_families) {
        if (std::strcmp(family->name(), name) == 0)
            return family.get();
    }
    return nullptr;
}

uint64_t VelvixEngine::lastFrameNumber() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_lastFrame;
}

std::shared_ptr<const vision::TrackResult> VelvixEngine::lastTracking(vision::TrackerKind kind) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_lastTracking[kind];
}

void VelvixEngine::releaseGl(Gl *gl)
{
    m_scratch.release(gl);
    m_output.release(gl);
    m_upload.release(gl);
    for (const auto &family : m_families)
        family->release(gl);
}

bool VelvixEngine::initialise(QOpenGLContext *creator)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_renderer.setFallbackSource(creator);
    if (!m_renderer.begin())
        return false;
    GlStateGuard guard(m_renderer.gl());
    const bool ok = m_renderer.program("core/copy.frag", {}, "")
        && m_renderer.program("core/yuv_to_rgb.frag", {}, "")
        && m_renderer.program("core/yuv_to_rgb.frag", {}, "#define NV12\n");
    m_renderer.end();
    return ok;
}

bool VelvixEngine::validSize(int width, int height) const
{
    const int limit = std::min(kMaxSide, m_renderer.maxTextureSize());
    return width > 0 && height > 0 && width <= limit && height <= limit;
}

unsigned VelvixEngine::trackersNeeded()
{
    unsigned kinds = 0;
    for (const auto &family : m_families)
        kinds |= family->trackersNeeded();
    // Models are loaded when an effect first needs them, once.
    // Each tracker's models are loaded once, off the frame path, the first
    // time an effect needs them; effects start with the first frame after.
    using Factory = std::function<std::unique_ptr<vision::Tracker>(const std::string &models)>;
    static const std::pair<vision::TrackerKind, Factory> kLoaders[] = {
        {vision::FaceTracking,
         [](const std::string &models) -> std::unique_ptr<vision::Tracker> {
             auto tracker = vision::FaceTrackerAdapter::create(models);
             if (!tracker)
                 qWarning() << "Velvix: no face tracking (models missing in the resource folder's models/); face effects leave pictures unchanged";
             return tracker;
         }},
        {vision::PersonSegmentation,
         [](const std::string &models) -> std::unique_ptr<vision::Tracker> {
             return vision::SelfieSegmenter::create(models + "/selfie.onnx");
         }},
        {vision::BodyTracking,
         [](const std::string &models) -> std::unique_ptr<vision::Tracker> {
             auto tracker = vision::BodyTracker::create(models);
             if (!tracker)
                 qWarning() << "Velvix: no body tracking (model missing in the resource folder's models/); body effects leave pictures unchanged";
             return tracker;
         }},
        {vision::HandTracking,
         [](const std::string &models) -> std::unique_ptr<vision::Tracker> {
             auto tracker = vision::HandTracker::create(models);
             if (!tracker)
                 qWarning() << "Velvix: no hand tracking (models missing in the resource folder's models/); hand effects leave pictures unchanged";
             return tracker;
         }},
    };
    std::string models = m_resourceDir;
    if (!models.empty() && models.back() != '/')
        models += '/';
    models += "models";
    for (const auto &loader : kLoaders) {
        const vision::TrackerKind kind = loader.first;
        if (!(kinds & vision::trackerBit(kind)) || m_modelsTried[kind]
            || (m_vision.available() & vision::trackerBit(kind)))
            continue;
        m_modelsTried[kind] = true;
        const Factory &make = loader.second;
        m_vision.installLater(kind, [make, models]() { return make(models); });
    }
    const unsigned available = kinds & m_vision.available();
    return available ? available | (kinds & vision::TrackerDetailBits) : 0;
}

int VelvixEngine::applyProperty(const VelvixProperty *property)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!property || !property->key) {
        qWarning() << "Velvix: applyProperty without a property key";
        return 0;
    }
    for (const auto &family : m_families) {
        bool handled = false;
        const bool ok = family->applyProperty(property->key, property->value, &handled);
        if (handled)
            return ok ? 1 : 0;
    }
    qWarning().noquote() << "Velvix: unknown property" << QString::fromUtf8(property->key);
    return 0;
}

int VelvixEngine::applyEffect(const char *effectName, int value, const char *resourcePath,
                              const char *extraInfo)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!effectName || !*effectName) {
        qWarning() << "Velvix: applyEffect without an effect name";
        return 0;
    }
    const std::string name(effectName);
    const bool hasPath = resourcePath && *resourcePath;
    if (const EffectInfo *info = findEffect(name)) {
        QJsonObject extra;
        if (!parseExtraInfo(extraInfo, &extra)) {
            qWarning().noquote() << "Velvix: effect" << QString::fromStdString(name)
                                 << "not changed: its extra information does not parse";
            return 0;
        }
        EffectFamily *owner = family(info->family);
        if (!owner) {
            qWarning().noquote() << "Velvix: effect" << QString::fromStdString(name)
                                 << "has no family in this engine";
            return 0;
        }
        const bool applied = owner->apply(*info, clampEffectValue(*info, value), resourcePath, extra);
        for (const EffectFamily::Companion &companion : owner->takeCompanions()) {
            const EffectInfo *other = findEffect(companion.name);
            EffectFamily *otherOwner = other ? family(other->family) : nullptr;
            if (otherOwner && otherOwner != owner)
                otherOwner->apply(*other, clampEffectValue(*other, companion.value),
                                  companion.resourcePath.empty() ? nullptr : companion.resourcePath.c_str(),
                                  QJsonObject());
        }
        return applied ? 1 : 0;
    }
    // Families of a later engine version: switching them off is a no-op.
    const bool later = startsWith(name, "body.");
    if (later) {
        if (value == 0 || (!hasPath && name.find('.') == std::string::npos))
            return 1;
        qWarning().noquote() << "Velvix: effect" << QString::fromStdString(name)
                             << "is not available in this engine version";
        return 0;
    }
    qWarning().noquote() << "Velvix: unknown effect" << QString::fromStdString(name);
    return 0;
}

int VelvixEngine::clearAllEffects()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    for (const auto &family : m_families)
        family->clear();
    return 1;
}

int VelvixEngine::resizeOutput(int width, int height)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
        qWarning().noquote() << QStringLiteral("Velvix: resizeOutput rejects %1 x %2").arg(width).arg(height);
        return 0;
    }
    if (width == m_width && height == m_height)
        return 1;
    m_width = width;
    m_height = height;
    // Old-size textures go now; new ones are made by the next frame.
    if (m_renderer.begin()) {
        FallbackScope fallback(m_renderer);
        GlStateGuard guard(m_renderer.gl());
        m_scratch.release(m_renderer.gl());
        m_output.release(m_renderer.gl());
        m_renderer.end();
    }
    return 1;
}

int VelvixEngine::I420ToRgbTexture(const unsigned char *data, int width, int height, int flag)
{
    return upload(data, width, height, flag, YuvUpload::Layout::I420);
}

int VelvixEngine::NV12ToRgbTexture(const unsigned char *data, int width, int height, int flag)
{
    return upload(data, width, height, flag, YuvUpload::Layout::NV12);
}

int VelvixEngine::upload(const unsigned char *data, int width, int height, int flag,
                         YuvUpload::Layout layout)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const char *what = layout == YuvUpload::Layout::NV12 ? "NV12" : "I420";
    if (!data) {
        logThrottled("upload.null", QStringLiteral("Velvix: %1 upload without data").arg(what));
        return 0;
    }
    if (!validSize(width, height) || width < 2 || height < 2) {
        logThrottled("upload.size",
                     QStringLiteral("Velvix: %1 upload rejects %2 x %3").arg(what).arg(width).arg(height));
        return 0;
    }
    if (!m_renderer.begin()) {
        logThrottled("nocontext", QStringLiteral("Velvix: no OpenGL context for this thread"));
        return 0;
    }
    GLuint texture = 0;
    {
        FallbackScope fallback(m_renderer);
        GlStateGuard guard(m_renderer.gl());
        m_renderer.bindPipeline();
        texture = m_upload.upload(m_renderer, data, width, height, flag, layout);
        m_renderer.end();
    }
    if (texture)
        noteUploadedFrame(texture, data, width, height);
    return static_cast<int>(texture);
}

void VelvixEngine::noteUploadedFrame(GLuint texture, const unsigned char *luma, int width, int height)
{
    const uint64_t number = ++m_frameCounter;
    // The upload ring hands the same textures out again: a texture belongs
    // to its newest frame only.
    for (UploadedFrame &old : m_uploaded) {
        if (old.texture == texture)
            old = UploadedFrame();
    }
    m_uploaded[m_uploadedNext] = {texture, number};
    m_uploadedNext = (m_uploadedNext + 1) % static_cast<int>(sizeof(m_uploaded) / sizeof(m_uploaded[0]));

    const auto now = std::chrono::steady_clock::now();
    if (m_lastUploadTime.time_since_epoch().count() != 0) {
        // The camera's interval, not ours: time this engine spent waiting for
        // trackers would otherwise feed back into the next budget.
        const double us = std::chrono::duration<double, std::micro>(now - m_lastUploadTime).count() - m_waitedUs;
        // A pause (camera switched, picture mode) is not a frame interval.
        if (us > 0 && us < 500000)
            m_frameIntervalUs = 0.8 * m_frameIntervalUs + 0.2 * us;
    }
    m_lastUploadTime = now;
    m_waitedUs = 0;

    const unsigned kinds = trackersNeeded();
    if (!kinds)
        return;
    // The caller's buffer lives only during the call: the trackers get a
    // copy of its luma plane (no read-back from the GPU).
    vision::LumaFrame frame;
    frame.frameNumber = number;
    frame.width = width;
    frame.height = height;
    frame.details = kinds & vision::TrackerDetailBits;
    frame.pixels = std::make_shared<const std::vector<uint8_t>>(
        luma, luma + static_cast<size_t>(width) * static_cast<size_t>(height));
    m_vision.submit(kinds, frame);
}

std::chrono::microseconds VelvixEngine::frameBudget() const
{
    const double us = std::max(1000.0, std::min(100000.0, m_frameIntervalUs));
    return std::chrono::microseconds(static_cast<long long>(us));
}

bool VelvixEngine::readBackLuma(GLuint texture, int width, int height, vision::LumaFrame *out)
{
    Gl *gl = m_renderer.gl();
    ShaderProgram *program = m_renderer.program("core/luma.frag", {}, "");
    if (!program)
        return false;
    // Large pictures are looked at in at most 1280 columns: enough for any
    // face a tracker can find, and a small read-back.
    const double scale = std::min(1.0, 1280.0 / static_cast<double>(std::max(width, height)));
    const int w = std::max(2, static_cast<int>(std::lround(width * scale)));
    const int h = std::max(2, static_cast<int>(std::lround(height * scale)));
    GLuint target = m_scratch.get(gl, "vision.luma", w, h, GL_R8);
    program->use(gl);
    m_renderer.bindTexture(0, GL_TEXTURE_2D, texture, true);
    program->set(gl, "u_src", 0);
    m_renderer.drawTo(target, w, h);
    auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(w) * static_cast<size_t>(h));
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(0, 0, w, h, GL_RED, GL_UNSIGNED_BYTE, pixels->data());
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    out->width = w;
    out->height = h;
    out->pixels = std::move(pixels);
    out->still = true;
    return true;
}

bool VelvixEngine::stillChanged(GLuint texture, int width, int height)
{
    // A 32 x 32 probe of the picture: the caller may load a new picture into
    // the same texture, so its id alone says nothing.
    Gl *gl = m_renderer.gl();
    ShaderProgram *program = m_renderer.program("core/luma.frag", {}, "");
    if (!program)
        return true;
    constexpr int kProbe = 32;
    GLuint target = m_scratch.get(gl, "vision.probe", kProbe, kProbe, GL_R8);
    program->use(gl);
    m_renderer.bindTexture(0, GL_TEXTURE_2D, texture, false);
    program->set(gl, "u_src", 0);
    m_renderer.drawTo(target, kProbe, kProbe);
    std::vector<uint8_t> probe(kProbe * kProbe);
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl->glReadPixels(0, 0, kProbe, kProbe, GL_RED, GL_UNSIGNED_BYTE, probe.data());
    gl->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    const bool changed = probe != m_stillProbe || texture != m_stillTexture || width != m_stillWidth
        || height != m_stillHeight;
    m_stillProbe = std::move(probe);
    m_stillTexture = texture;
    m_stillWidth = width;
    m_stillHeight = height;
    return changed;
}

VelvixEngine::FrameTicket VelvixEngine::ticketFor(GLuint texture, int width, int height)
{
    FrameTicket ticket;
    ticket.kinds = trackersNeeded();
    ticket.budget = frameBudget();
    for (const UploadedFrame &frame : m_uploaded) {
        if (frame.texture == texture && frame.frameNumber) {
            ticket.frameNumber = frame.frameNumber;
            return ticket;
        }
    }
    // Not one of our uploads: a still picture (or a caller's own frames).
    ticket.still = true;
    if (!ticket.kinds) {
        m_stillKinds = 0;
        ticket.frameNumber = m_stillFrame;
        return ticket;
    }
    // The probe and read-back draw with the engine's pipeline (bound by the
    // caller).
    vision::LumaFrame luma;
    const bool changed = stillChanged(texture, width, height) || (ticket.kinds & ~m_stillKinds) || !m_stillFrame;
    if (changed && !readBackLuma(texture, width, height, &luma))
        luma = vision::LumaFrame();
    if (changed) {
        m_stillFrame = ++m_frameCounter;
        m_stillKinds = ticket.kinds;
        luma.frameNumber = m_stillFrame;
        luma.details = ticket.kinds & vision::TrackerDetailBits;
        ticket.luma = luma;
    }
    ticket.frameNumber = m_stillFrame;
    return ticket;
}

int VelvixEngine::processTexture(int textureId, int width, int height)
{
    FrameTicket ticket;
    bool still = true;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        for (const UploadedFrame &frame : m_uploaded)
            still = still && !(frame.texture == static_cast<GLuint>(textureId) && frame.frameNumber);
        trackersNeeded();  // starts loading models an effect now needs
    }
    // A still picture waits for models being loaded, so its first output
    // already has its faces (camera frames go on without them meanwhile).
    if (still && m_vision.loading())
        m_vision.finishLoading();
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (textureId <= 0) {
            logThrottled("process.texture", QStringLiteral("Velvix: processTexture needs a texture, got %1").arg(textureId));
            return 0;
        }
        if (!validSize(width, height)) {
            logThrottled("process.size",
                         QStringLiteral("Velvix: processTexture rejects %1 x %2").arg(width).arg(height));
            return 0;
        }
        if (!m_renderer.begin()) {
            logThrottled("nocontext", QStringLiteral("Velvix: no OpenGL context for this thread"));
            return 0;
        }
        bool isTexture = false;
        {
            FallbackScope fallback(m_renderer);
            GlStateGuard guard(m_renderer.gl());
            isTexture = m_renderer.gl()->glIsTexture(static_cast<GLuint>(textureId));
            if (isTexture) {
                m_renderer.bindPipeline();
                ticket = ticketFor(static_cast<GLuint>(textureId), width, height);
            }
            m_renderer.end();
        }
        if (!isTexture) {
            logThrottled("process.notexture",
                         QStringLiteral("Velvix: processTexture got %1, which is not a texture").arg(textureId));
            return 0;
        }
    }

    // Trackers are waited for without the engine's lock, so effect changes
    // from the GUI thread never wait for a model.
    std::shared_ptr<const vision::TrackResult> tracking[vision::TrackerKindCount];
    const auto waitStart = std::chrono::steady_clock::now();
    if (ticket.kinds) {
        if (ticket.still && ticket.luma.valid())
            m_vision.runNow(ticket.kinds, ticket.luma);
        for (unsigned kind = 0; kind < vision::TrackerKindCount; ++kind) {
            if (ticket.kinds & (1u << kind))
                tracking[kind] = m_vision.resultFor(static_cast<vision::TrackerKind>(kind), ticket.frameNumber,
                                                    ticket.still ? std::chrono::microseconds(0) : ticket.budget);
        }
    }

    const double waited = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - waitStart).count();

    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!ticket.still)
        m_waitedUs += waited;
    if (!m_renderer.begin()) {
        logThrottled("nocontext", QStringLiteral("Velvix: no OpenGL context for this thread"));
        return 0;
    }
    GLuint output = 0;
    {
        FallbackScope fallback(m_renderer);
        Gl *gl = m_renderer.gl();
        GlStateGuard guard(gl);
        m_renderer.bindPipeline();
        FrameContext frame{m_renderer, m_scratch, m_width, m_height, ticket.frameNumber, ++m_sequence, {}};
        for (unsigned kind = 0; kind < vision::TrackerKindCount; ++kind)
            frame.tracking[kind] = tracking[kind];
        output = runChain(static_cast<GLuint>(textureId), width, height, frame);
        m_renderer.end();
    }
    m_lastFrame = ticket.frameNumber;
    for (unsigned kind = 0; kind < vision::TrackerKindCount; ++kind)
        m_lastTracking[kind] = tracking[kind];
    return static_cast<int>(output);
}

GLuint VelvixEngine::runChain(GLuint input, int width, int height, FrameContext &frame)
{
    Gl *gl = m_renderer.gl();
    const int w = m_width;
    const int h = m_height;
    // An input of the output size is read texel by texel; another size is
    // scaled with linear filtering.
    bool sourceLinear = width != w || height != h;
    for (const auto &family : m_families)
        family->prepare(m_renderer);

    ComposeParams params;
    for (const auto &family : m_families)
        family->contribute(params, frame);

    // No allocation per frame: the pass list lives on the stack.
    EffectFamily *passes[kMaxFamilies];
    size_t passCount = 0;
    for (const auto &family : m_families) {
        if (family->hasPass(frame))
            passes[passCount++] = family.get();
    }
    // A last pass that only moves pixels is folded into the fused pass,
    // which then samples the frame at the moved positions.
    if (passCount && params.features) {
        const GLuint field = passes[passCount - 1]->displacementField(frame, params.warpBounds);
        if (field) {
            params.features |= ComposeParams::Warp;
            params.warpField = field;
            --passCount;
        }
    }
    GLuint source = input;
    for (size_t i = 0; i < passCount; ++i) {
        const bool last = i + 1 == passCount && !params.features;
        GLuint target = 0;
        if (last) {
            // Nothing follows: the pass draws straight into the output.
            target = m_output.acquire(gl, w, h);
            if (target == input)
                target = m_output.acquire(gl, w, h);
        }
        const GLuint drawn = passes[i]->runPass(frame, source, sourceLinear, target);
        if (last && drawn) {
            m_output.publish(gl);
            return target;
        }
        if (drawn) {
            source = drawn;
            sourceLinear = false;
        }
    }
    for (const auto &family : m_families)
        family->finishCompose(frame, source, params);

    if (sourceLinear && (params.features & ComposeParams::Sharpen))
        params.features |= ComposeParams::ScaledSource;
    ShaderProgram *program = nullptr;
    if (params.features) {
        program = m_renderer.program("core/compose.frag", m_composeIncludes, params.defines());
    }
    GLuint target = m_output.acquire(gl, w, h);
    if (target == input)  // the caller passed back an output of 4 frames ago
        target = m_output.acquire(gl, w, h);
    if (!program) {
        ShaderProgram *copy = m_renderer.program("core/copy.frag", {}, "");
        if (!copy)
            return 0;
        copy->use(gl);
        m_renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
        copy->set(gl, "u_src", 0);
        m_renderer.drawTo(target, w, h);
        m_output.publish(gl);
        return target;
    }

    const auto draw = [&](ShaderProgram *fused, bool warp) {
        fused->use(gl);
        // Moved pixels sample between texels.
        m_renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear || warp);
        fused->set(gl, "u_src", 0);
        if (warp) {
            m_renderer.bindTexture(kWarpFieldUnit, GL_TEXTURE_2D, params.warpField, true);
            fused->set(gl, "u_warpField", kWarpFieldUnit);
            fused->set(gl, "u_warpSize", static_cast<float>(w), static_cast<float>(h));
        }
        fused->set(gl, "u_texel", 1.0f / static_cast<float>(w), 1.0f / static_cast<float>(h));
        for (const auto &family : m_families)
            family->setComposeUniforms(frame, *fused, params);
        m_renderer.drawTo(target, w, h);
    };
    const int *box = params.warpBounds;
    const bool warp = params.features & ComposeParams::Warp;
    if (warp && 2 * (box[2] - box[0]) * (box[3] - box[1]) < w * h) {
        // Pixels move in a small part of the frame (the faces): the whole
        // frame is drawn as if nothing moved, then that part again with the
        // warp, which saves reading the field and filtering everywhere.
        ComposeParams still = params;
        still.features &= ~static_cast<unsigned>(ComposeParams::Warp);
        ShaderProgram *plain = m_renderer.program("core/compose.frag", m_composeIncludes, still.defines());
        if (!plain)
            return 0;
        draw(plain, false);
        gl->glEnable(GL_SCISSOR_TEST);
        gl->glScissor(box[0], box[1], box[2] - box[0], box[3] - box[1]);
        draw(program, true);
        gl->glDisable(GL_SCISSOR_TEST);
    } else {
        draw(program, warp);
    }
    m_output.publish(gl);
    return target;
}

} // namespace velvix

// ---------------------------------------------------------------------------

velvix::Velvix *createVelvix(const char *resourceDir, int width, int height)
{
    QOpenGLContext *context = QOpenGLContext::currentContext();
    if (!context) {
        qWarning() << "Velvix: createVelvix needs a current OpenGL context";
        return nullptr;
    }
    if (context->isOpenGLES() || context->format().version() < qMakePair(4, 1)) {
        qWarning().noquote() << QStringLiteral("Velvix: OpenGL 4.1 is needed, the context has %1.%2%3")
                                    .arg(context->format().majorVersion())
                                    .arg(context->format().minorVersion())
                                    .arg(context->isOpenGLES() ? QStringLiteral(" ES") : QString());
        return nullptr;
    }
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        qWarning().noquote() << QStringLiteral("Velvix: createVelvix rejects the size %1 x %2").arg(width).arg(height);
        return nullptr;
    }
    auto *engine = new velvix::VelvixEngine(resourceDir, width, height);
    if (!engine->initialise(context)) {
        qWarning() << "Velvix: the engine's shaders do not build on this context";
        delete engine;
        return nullptr;
    }
    return engine;
}

void destroyVelvix(velvix::Velvix **holder)
{
    if (!holder || !*holder)
        return;
    delete static_cast<velvix::VelvixEngine *>(*holder);
    *holder = nullptr;
}
