#include "VelvixEngine.h"

#include <QDebug>
#include <QJsonObject>
#include <QOpenGLContext>

#include <cstring>

namespace velvix {

namespace {

constexpr int kMaxSide = 8192;

const char *const kGreenScreenEventKey = "event.script.zentasdk.GreenScreenSetGreenParamsV2";

bool startsWith(const std::string &text, const char *prefix)
{
    return text.rfind(prefix, 0) == 0;
}

} // namespace

VelvixEngine::VelvixEngine(const char *resourceDir, int width, int height)
    : m_resourceDir(resourceDir ? resourceDir : ""), m_width(width), m_height(height)
{
}

VelvixEngine::~VelvixEngine()
{
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

void VelvixEngine::releaseGl(Gl *gl)
{
    m_scratch.release(gl);
    m_output.release(gl);
    m_upload.release(gl);
    m_lut.release(gl);
    m_green.release(gl);
}

bool VelvixEngine::initialise(QOpenGLContext *creator)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_renderer.setFallbackSource(creator);
    if (!m_renderer.begin())
        return false;
    GlStateGuard guard(m_renderer.gl());
    const bool ok = m_renderer.program("copy.frag", {}, "")
        && m_renderer.program("yuv_to_rgb.frag", {}, "")
        && m_renderer.program("yuv_to_rgb.frag", {}, "#define NV12\n");
    m_renderer.end();
    return ok;
}

bool VelvixEngine::validSize(int width, int height) const
{
    const int limit = std::min(kMaxSide, m_renderer.maxTextureSize());
    return width > 0 && height > 0 && width <= limit && height <= limit;
}

int VelvixEngine::applyProperty(const VelvixProperty *property)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (!property || !property->key) {
        qWarning() << "Velvix: applyProperty without a property key";
        return 0;
    }
    if (std::strcmp(property->key, kGreenScreenEventKey) == 0)
        return m_green.applyParamsEvent(property->value) ? 1 : 0;
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
    const EffectInfo *info = findEffect(name);
    if (info) {
        const int v = clampEffectValue(*info, value);
        if (m_beauty.set(name, v) || m_quality.set(name, v))
            return 1;
        if (name == "lut")
            return m_lut.apply(resourcePath, v) ? 1 : 0;
        if (name == "segmentation") {
            QJsonObject extra;
            parseExtraInfo(extraInfo, &extra);
            return m_green.applySegmentation(resourcePath, extra) ? 1 : 0;
        }
        if (startsWith(name, "green_background_v2."))
            return m_green.applySliderParam(name, v) ? 1 : 0;
    }
    // Families of a later engine version: switching them off is a no-op.
    const bool later = name == "motion" || name == "makeup" || name == "light.makeup"
        || startsWith(name, "basicV7.") || startsWith(name, "body.");
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
    m_beauty.reset();
    m_quality.reset();
    m_lut.reset();
    m_green.reset();
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
    return static_cast<int>(texture);
}

int VelvixEngine::processTexture(int textureId, int width, int height)
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
    GLuint output = 0;
    {
        FallbackScope fallback(m_renderer);
        Gl *gl = m_renderer.gl();
        GlStateGuard guard(gl);
        if (!gl->glIsTexture(static_cast<GLuint>(textureId))) {
            logThrottled("process.notexture",
                         QStringLiteral("Velvix: processTexture got %1, which is not a texture").arg(textureId));
        } else {
            m_renderer.bindPipeline();
            output = runChain(static_cast<GLuint>(textureId), width, height);
        }
        m_renderer.end();
    }
    ++m_frameNumber;
    return static_cast<int>(output);
}

GLuint VelvixEngine::runChain(GLuint input, int width, int height)
{
    Gl *gl = m_renderer.gl();
    const int w = m_width;
    const int h = m_height;
    // An input of the output size is read texel by texel; another size is
    // scaled with linear filtering.
    bool sourceLinear = width != w || height != h;
    m_lut.prepare(m_renderer);
    m_green.prepare(m_renderer);

    ComposeParams params;
    m_beauty.contribute(params);
    m_quality.contribute(params, m_frameNumber);
    m_lut.contribute(params);
    m_lut.bake(m_renderer, params);

    GLuint source = input;
    if (m_green.active()) {
        if (!params.features) {
            // Nothing follows: the composite goes straight into the output.
            GLuint target = m_output.acquire(gl, w, h);
            if (target == input)
                target = m_output.acquire(gl, w, h);
            if (m_green.run(m_renderer, source, sourceLinear, w, h, m_scratch, target)) {
                m_output.publish(gl);
                return target;
            }
        } else if (GLuint keyed = m_green.run(m_renderer, source, sourceLinear, w, h, m_scratch, 0)) {
            source = keyed;
            sourceLinear = false;
        }
    }
    if (params.features & ComposeParams::Smooth) {
        params.blurTexture = m_beauty.runBlur(m_renderer, source, w, h, m_scratch);
        if (!params.blurTexture)
            params.features &= ~static_cast<unsigned>(ComposeParams::Smooth);
    }

    if (sourceLinear && (params.features & ComposeParams::Sharpen))
        params.features |= ComposeParams::ScaledSource;
    ShaderProgram *program = nullptr;
    if (params.features) {
        program = m_renderer.program("compose.frag", {"common.glsl", "beauty.glsl", "quality.glsl", "lut.glsl"},
                                     params.defines());
    }
    GLuint target = m_output.acquire(gl, w, h);
    if (target == input)  // the caller passed back an output of 4 frames ago
        target = m_output.acquire(gl, w, h);
    if (!program) {
        ShaderProgram *copy = m_renderer.program("copy.frag", {}, "");
        if (!copy)
            return 0;
        copy->use(gl);
        m_renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
        copy->set(gl, "u_src", 0);
        m_renderer.drawTo(target, w, h);
        m_output.publish(gl);
        return target;
    }

    program->use(gl);
    m_renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    program->set(gl, "u_src", 0);
    program->set(gl, "u_texel", 1.0f / static_cast<float>(w), 1.0f / static_cast<float>(h));
    if (params.features & ComposeParams::Smooth) {
        m_renderer.bindTexture(1, GL_TEXTURE_2D, params.blurTexture, true);
        program->set(gl, "u_blur", 1);
    }
    if (params.features & (ComposeParams::Lut3d | ComposeParams::LutBaked))
        m_renderer.bindTexture(2, GL_TEXTURE_3D, params.lut3dTexture, true);
    if (params.features & ComposeParams::Lut1d)
        m_renderer.bindTexture(3, GL_TEXTURE_2D, params.lut1dTexture, true);
    if (params.features & (ComposeParams::Lut3d | ComposeParams::Lut1d | ComposeParams::LutBaked))
        LutFilter::setUniforms(gl, *program, params);
    program->set(gl, "u_whiten", params.whiten);
    program->set(gl, "u_rosy", params.rosy);
    program->set(gl, "u_sharpen", params.sharpen);
    QualityEffect::setGradeUniforms(gl, *program, params);
    program->set(gl, "u_vignette", params.vignette);
    program->set(gl, "u_grain", params.grain);
    program->set(gl, "u_grainSeed", params.grainSeed);
    program->set(gl, "u_aspect", static_cast<float>(w) / static_cast<float>(h));
    m_renderer.drawTo(target, w, h);
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
