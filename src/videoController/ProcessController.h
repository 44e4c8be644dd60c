#pragma once

#include <QVideoFrame>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace velvix {
class Velvix;
}

// The only user of the effect engine: turns raw camera frames into RGBA
// textures, passes textures through the engine, applies effect settings and
// keeps the segmentation effect alive across changes of processing size.
//
// Not thread-safe by itself: the frame pipeline serialises the calls that
// arrive from the capture worker thread and from the GUI thread.
class ProcessController
{
public:
    // How an engine comes to be and goes. The program uses createVelvix and
    // destroyVelvix; tests put a recording engine in their place.
    struct EngineFactory
    {
        std::function<velvix::Velvix *(const char *resourceDir, int width, int height)> create;
        std::function<void(velvix::Velvix **holder)> destroy;
    };
    static EngineFactory velvixFactory();

    ProcessController();
    explicit ProcessController(EngineFactory factory);
    ~ProcessController();

    ProcessController(const ProcessController &) = delete;
    ProcessController &operator=(const ProcessController &) = delete;

    // Takes effect at the next initProcess(); an existing engine is destroyed
    // with the factory that made it.
    void setEngineFactory(EngineFactory factory);

    void initProcess(int width, int height);
    void setProcessResolution(int width, int height);

    int yuvToRgbTexture(const uchar *data, int width, int height, QVideoFrame::PixelFormat format);
    int convertRGBToTexture(const uchar *data, int width, int height, QVideoFrame::PixelFormat format);
    int convertYUYVToRgbTexture(const uchar *data, int width, int height);

    int velvixProcess(int textureId, int width, int height);
    void updateEffect(const char *effectName, int value, const std::string &resourcePath,
                      std::map<std::string, std::string> extraInfo);
    void clearAllEffects();

    // Destroys the engine now (the caller makes a sharing context current).
    void releaseEngine();

    static std::pair<int, int> effectValueRange(const std::string &propertyName);
    // The extra-information text handed to the engine with an effect.
    static std::string extraInfoToJson(const std::map<std::string, std::string> &extraInfo);
    // The green-screen event text for a "green_params_v2" value, or an empty
    // text when the value is not a bracketed list of numbers.
    static std::string greenParamsEventJson(const std::string &greenParams);

    bool hasEngine() const { return m_velvix != nullptr; }
    velvix::Velvix *engine() const { return m_velvix; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    const std::string &resourceDirectory() const { return m_resourceDir; }
    const std::string &rememberedEffectName() const { return m_segmentEffectName; }

private:
    void applyGreenParams(const std::map<std::string, std::string> &extraInfo);
    bool ensureConversionBuffer(size_t size);
    void destroyEngine();

    int m_width = 1280;
    int m_height = 720;
    std::string m_resourceDir;
    velvix::Velvix *m_velvix = nullptr;

    std::string m_segmentEffectName;
    int m_segmentValue = 0;
    std::string m_segmentResourcePath;
    std::map<std::string, std::string> m_segmentExtraInfo;

    EngineFactory m_factory;
    // The factory that made m_velvix, so it is destroyed by its own kind.
    EngineFactory m_engineFactory;
    // I420 scratch for the CPU conversions, kept between frames so that a
    // camera frame costs no allocation.
    std::vector<uchar> m_conversionBuffer;
};
