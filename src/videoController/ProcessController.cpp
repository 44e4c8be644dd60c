#include "ProcessController.h"

#include "PixelConversion.h"

#include <velvix/VelvixDll.h>

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QOpenGLContext>
#include <QThread>

#include <dlfcn.h>

#include <cstdlib>
#include <new>
#include <sstream>

namespace {

const char *const kGreenParamsKey = "green_params_v2";
const char *const kGreenParamsEvent = "event.script.zentasdk.GreenScreenSetGreenParamsV2";
const char *const kSegmentation = "segmentation";

// Range kinds of the slider table.
std::pair<int, int> rangeOfKind(int kind)
{
    switch (kind) {
    case 0: return {0, 0};
    case 1: return {0, 100};
    case 2: return {-100, 100};
    case 3: return {1, 100};
    case 4: return {0, 3};
    case 5: return {0, 5};
    default: return {0, 100};
    }
}

const QHash<QString, int> &rangeTable()
{
    static const QHash<QString, int> table = {
        {QStringLiteral("motion"), 0},
        {QStringLiteral("segmentation"), 0},
        {QStringLiteral("beauty.imageContrastAlpha"), 2},
        {QStringLiteral("smooth.saturation"), 2},
        {QStringLiteral("body.enlargeChestStrength"), 2},
        {QStringLiteral("basicV7.eyeDistance"), 2},
        {QStringLiteral("basicV7.eyeAngle"), 2},
        {QStringLiteral("basicV7.eyeWidth"), 2},
        {QStringLiteral("basicV7.eyeHeight"), 2},
        {QStringLiteral("basicV7.eyebrowAngle"), 2},
        {QStringLiteral("basicV7.eyebrowDistance"), 2},
        {QStringLiteral("basicV7.eyebrowHeight"), 2},
        {QStringLiteral("basicV7.eyebrowLength"), 2},
        {QStringLiteral("basicV7.eyebrowThickness"), 2},
        {QStringLiteral("basicV7.eyebrowRidge"), 2},
        {QStringLiteral("basicV7.noseWing"), 2},
        {QStringLiteral("basicV7.noseHeight"), 2},
        {QStringLiteral("basicV7.mouthSize"), 2},
        {QStringLiteral("basicV7.mouthHeight"), 2},
        {QStringLiteral("basicV7.mouthWidth"), 2},
        {QStringLiteral("basicV7.mouthPosition"), 2},
        {QStringLiteral("basicV7.smileFace"), 2},
        {QStringLiteral("basicV7.chin"), 2},
        {QStringLiteral("basicV7.forehead"), 2},
        {QStringLiteral("green_background_v2.similarity"), 1},
        {QStringLiteral("green_background_v2.despill"), 1},
        {QStringLiteral("green_background_v2.smooth"), 3},
        {QStringLiteral("green_background_v2.corrosion"), 4},
        {QStringLiteral("green_background_v2.deshadow"), 5},
        // Our engine's two-sided image-quality controls; without these rows
        // their sliders could never reach the negative half.
        {QStringLiteral("quality.brightness"), 2},
        {QStringLiteral("quality.contrast"), 2},
        {QStringLiteral("quality.saturation"), 2},
        {QStringLiteral("quality.temperature"), 2},
        {QStringLiteral("quality.tint"), 2},
        {QStringLiteral("quality.highlights"), 2},
        {QStringLiteral("quality.shadows"), 2},
    };
    return table;
}

// Built at program start, as the panel reads it while building.
const bool g_rangeTableReady = (rangeTable(), true);

// Asks the window system's own library whether a context is current on this
// thread; Qt may use GLX or EGL, so both are looked up in what is loaded.
bool platformHasCurrentContext()
{
    using GetCurrent = void *(*)();
    static const GetCurrent glx = reinterpret_cast<GetCurrent>(dlsym(RTLD_DEFAULT, "glXGetCurrentContext"));
    static const GetCurrent egl = reinterpret_cast<GetCurrent>(dlsym(RTLD_DEFAULT, "eglGetCurrentContext"));
    if (glx && glx())
        return true;
    if (egl && egl())
        return true;
    return false;
}

std::string resourceDirectoryOfApp()
{
    return (QCoreApplication::applicationDirPath() + QStringLiteral("/res/")).toStdString();
}

} // namespace

ProcessController::EngineFactory ProcessController::velvixFactory()
{
    return {[](const char *dir, int w, int h) { return createVelvix(dir, w, h); },
            [](velvix::Velvix **holder) { destroyVelvix(holder); }};
}

ProcessController::ProcessController()
    : ProcessController(velvixFactory())
{
}

ProcessController::ProcessController(EngineFactory factory)
    : m_factory(std::move(factory))
{
    (void)g_rangeTableReady;
    qDebug() << "ProcessController initialized with performance optimizations";
}

ProcessController::~ProcessController()
{
    destroyEngine();
}

void ProcessController::setEngineFactory(EngineFactory factory)
{
    m_factory = std::move(factory);
}

void ProcessController::destroyEngine()
{
    if (!m_velvix)
        return;
    if (m_engineFactory.destroy)
        m_engineFactory.destroy(&m_velvix);
    m_velvix = nullptr;
}

void ProcessController::releaseEngine()
{
    destroyEngine();
}

void ProcessController::initProcess(int width, int height)
{
    if (!platformHasCurrentContext())
        qDebug() << "no opengl context";
    qDebug() << "Current context: " << QOpenGLContext::currentContext();

    m_resourceDir = resourceDirectoryOfApp();
    destroyEngine();
    m_width = width;
    m_height = height;
    m_engineFactory = m_factory;
    if (m_engineFactory.create)
        m_velvix = m_engineFactory.create(m_resourceDir.c_str(), width, height);
}

void ProcessController::setProcessResolution(int width, int height)
{
    if (width == m_width && height == m_height)
        return;
    m_width = width;
    m_height = height;
    if (!m_velvix)
        return;

    // The segmentation model is bound to the output size: switch it off
    // around the resize and back on with the same settings.
    const bool replay = m_segmentEffectName == kSegmentation && !m_segmentResourcePath.empty();
    if (replay)
        m_velvix->applyEffect(kSegmentation, 0, nullptr, nullptr);
    m_velvix->resizeOutput(width, height);
    if (replay) {
        const std::string fullPath = m_resourceDir + m_segmentResourcePath;
        const std::string json = extraInfoToJson(m_segmentExtraInfo);
        m_velvix->applyEffect(m_segmentEffectName.c_str(), m_segmentValue, fullPath.c_str(), json.c_str());
        applyGreenParams(m_segmentExtraInfo);
    }
}

int ProcessController::yuvToRgbTexture(const uchar *data, int width, int height, QVideoFrame::PixelFormat format)
{
    if (!m_velvix) {
        qDebug() << "ProcessController::yuvToRgbTexture - m_velvix is null";
        return -1;
    }
    if (!data) {
        qDebug() << "ProcessController::yuvToRgbTexture - input data is null";
        return -1;
    }

    int textureId = 0;
    switch (format) {
    case QVideoFrame::Format_ARGB32:
    case QVideoFrame::Format_RGB32:
    case QVideoFrame::Format_RGB24:
        qDebug() << "Converting RGB format to texture";
        textureId = convertRGBToTexture(data, width, height, format);
        break;
    case QVideoFrame::Format_YUV420P:
        qDebug() << "Converting YUV420P to RGB texture";
        textureId = m_velvix->I420ToRgbTexture(data, width, height, 1);
        break;
    case QVideoFrame::Format_YUYV:
        textureId = convertYUYVToRgbTexture(data, width, height);
        break;
    case QVideoFrame::Format_NV12:
        textureId = m_velvix->NV12ToRgbTexture(data, width, height, 1);
        break;
    default:
        qDebug() << "ProcessController::yuvToRgbTexture - Unsupported format:" << format;
        qDebug() << "Attempting fallback conversion as I420 format";
        textureId = m_velvix->I420ToRgbTexture(data, width, height, 1);
        break;
    }
    if (textureId <= 0)
        qDebug() << "ProcessController::yuvToRgbTexture - Conversion failed, textureId:" << textureId;
    return textureId;
}

bool ProcessController::ensureConversionBuffer(size_t size)
{
    if (m_conversionBuffer.size() >= size)
        return true;
    try {
        m_conversionBuffer.resize(size);
    } catch (const std::bad_alloc &) {
        m_conversionBuffer.clear();
        m_conversionBuffer.shrink_to_fit();
        return false;
    } catch (const std::length_error &) {
        return false;
    }
    return true;
}

int ProcessController::convertRGBToTexture(const uchar *data, int width, int height, QVideoFrame::PixelFormat format)
{
    const bool rgb24 = format == QVideoFrame::Format_RGB24;
    const bool bgrx = format == QVideoFrame::Format_RGB32 || format == QVideoFrame::Format_ARGB32;
    if (!m_velvix || !data || width <= 0 || height <= 0 || (!rgb24 && !bgrx)) {
        qDebug() << "ProcessController::convertRGBToTexture - Invalid parameters";
        return -1;
    }
    if (!ensureConversionBuffer(pixelconv::i420Size(width, height))) {
        qDebug() << "ProcessController::convertRGBToTexture - Memory allocation failed";
        return -1;
    }
    if (rgb24)
        pixelconv::rgb24ToI420(data, width, height, m_conversionBuffer.data());
    else
        pixelconv::bgrxToI420(data, width, height, m_conversionBuffer.data());
    const int textureId = m_velvix->I420ToRgbTexture(m_conversionBuffer.data(), width, height, 1);
    if (textureId <= 0)
        qDebug() << "ProcessController::convertRGBToTexture - I420ToRgbTexture failed";
    return textureId;
}

int ProcessController::convertYUYVToRgbTexture(const uchar *data, int width, int height)
{
    if (!m_velvix || !data || width <= 0 || height <= 0) {
        qDebug() << "ProcessController::convertYUYVToRgbTexture - Invalid parameters";
        return -1;
    }
    if (!ensureConversionBuffer(pixelconv::i420Size(width, height))) {
        qDebug() << "ProcessController::convertYUYVToRgbTexture - Memory allocation failed";
        return -1;
    }
    pixelconv::yuyvToI420(data, width, height, m_conversionBuffer.data());
    const int textureId = m_velvix->I420ToRgbTexture(m_conversionBuffer.data(), width, height, 1);
    if (textureId <= 0)
        qDebug() << "ProcessController::convertYUYVToRgbTexture - I420ToRgbTexture failed";
    return textureId;
}

int ProcessController::velvixProcess(int textureId, int width, int height)
{
    if (!m_velvix || textureId < 1)
        return 0;
    return m_velvix->processTexture(textureId, width, height);
}

namespace {

// A JSON string body: quotes, backslashes and control characters escaped, so
// a path such as C:\bg or a name with a quote in it cannot break the text.
void appendJsonString(std::string &json, const std::string &text)
{
    json += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char digits[] = "0123456789abcdef";
                json += "\\u00";
                json += digits[(c >> 4) & 0xf];
                json += digits[c & 0xf];
            } else {
                json += c;
            }
            break;
        }
    }
    json += '"';
}

} // namespace

std::string ProcessController::extraInfoToJson(const std::map<std::string, std::string> &extraInfo)
{
    if (extraInfo.empty())
        return std::string();
    std::string json = "{";
    for (const auto &entry : extraInfo) {
        appendJsonString(json, entry.first);
        json += ':';
        // Arrays go in as they are; everything else is a string.
        if (!entry.second.empty() && entry.second.front() == '[')
            json += entry.second;
        else
            appendJsonString(json, entry.second);
        json += ',';
    }
    json.back() = '}';
    return json;
}

std::string ProcessController::greenParamsEventJson(const std::string &greenParams)
{
    if (greenParams.size() < 2)
        return std::string();
    const std::string inner = greenParams.substr(1, greenParams.size() - 2);
    std::vector<double> numbers;
    std::stringstream pieces(inner);
    std::string piece;
    while (std::getline(pieces, piece, ',')) {
        const char *begin = piece.c_str();
        char *end = nullptr;
        const double number = std::strtod(begin, &end);
        // A piece must be a number, with nothing but blanks after it.
        while (end && (*end == ' ' || *end == '\t'))
            ++end;
        if (end == begin || !end || *end != '\0')
            return std::string();
        numbers.push_back(number);
    }
    if (numbers.empty())
        return std::string();
    // Similarity, smoothness and despill arrive as percentages; the engine
    // wants fractions. Corrosion (position 2) and the rest keep their values.
    for (size_t index : {size_t(0), size_t(1), size_t(3)}) {
        if (index < numbers.size())
            numbers[index] /= 100.0;
    }
    std::ostringstream out;
    out << "{\"" << kGreenParamsKey << "\":[";
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (i)
            out << ',';
        out << numbers[i];
    }
    out << "]}";
    return out.str();
}

void ProcessController::applyGreenParams(const std::map<std::string, std::string> &extraInfo)
{
    const auto it = extraInfo.find(kGreenParamsKey);
    if (it == extraInfo.end() || !m_velvix)
        return;
    const std::string json = greenParamsEventJson(it->second);
    if (json.empty()) {
        qDebug() << "ProcessController - green_params_v2 is not a list of numbers, not sent:"
                 << QString::fromStdString(it->second);
        return;
    }
    const velvix::VelvixProperty property(velvix::kPropertyKindScriptEvent, kGreenParamsEvent, json.c_str(), true);
    m_velvix->applyProperty(&property);
}

void ProcessController::updateEffect(const char *effectName, int value, const std::string &resourcePath,
                                     std::map<std::string, std::string> extraInfo)
{
    if (!effectName)
        return;
    if (m_velvix) {
        const std::string json = extraInfoToJson(extraInfo);
        if (!resourcePath.empty()) {
            // Gives a resource that was just extracted time to settle on disk.
            QThread::msleep(30);
            const std::string fullPath = m_resourceDir + resourcePath;
            m_velvix->applyEffect(effectName, value, fullPath.c_str(), json.c_str());
        } else {
            m_velvix->applyEffect(effectName, value, nullptr, json.c_str());
        }
        applyGreenParams(extraInfo);
    }
    if (std::string(effectName) == kSegmentation) {
        m_segmentEffectName = effectName;
        m_segmentValue = value;
        m_segmentResourcePath = resourcePath;
        m_segmentExtraInfo = std::move(extraInfo);
    }
}

void ProcessController::clearAllEffects()
{
    if (m_velvix)
        m_velvix->clearAllEffects();
}

std::pair<int, int> ProcessController::effectValueRange(const std::string &propertyName)
{
    const auto &table = rangeTable();
    const auto it = table.constFind(QString::fromStdString(propertyName));
    if (it == table.constEnd())
        return {0, 100};
    return rangeOfKind(it.value());
}
