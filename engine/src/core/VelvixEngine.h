// The engine object behind createVelvix(): serialises every operation, owns
// the effect families (in chain order) and runs the per-frame chain
//   [full-size passes of the families] -> [what the fused pass reads]
//   -> fused colour pass (or a plain copy when nothing is active)
// into a ring of output textures. Frames are numbered at upload; trackers
// see the luma of each frame through the vision hub.
#pragma once

#include "velvix/VelvixDll.h"

#include "core/EffectFamily.h"
#include "core/Renderer.h"
#include "core/TextureRing.h"
#include "core/YuvUpload.h"
#include "vision/VisionHub.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QOpenGLContext;

namespace velvix {

class VelvixEngine final : public Velvix {
public:
    VelvixEngine(const char *resourceDir, int width, int height);
    ~VelvixEngine();

    int applyProperty(const VelvixProperty *property) override;
    int applyEffect(const char *effectName, int value, const char *resourcePath,
                    const char *extraInfo) override;
    int processTexture(int textureId, int width, int height) override;
    int I420ToRgbTexture(const unsigned char *data, int width, int height, int flag) override;
    int NV12ToRgbTexture(const unsigned char *data, int width, int height, int flag) override;
    int resizeOutput(int width, int height) override;
    int clearAllEffects() override;

    // Builds the base programs once so that a broken driver fails creation;
    // `creator` (current) is what contexts made for other threads share with.
    bool initialise(QOpenGLContext *creator);

    // Adds a family at the end of the chain; its effect-table rows reach it.
    void registerFamily(std::unique_ptr<EffectFamily> family);
    EffectFamily *family(const char *name) const;
    vision::VisionHub &vision() { return m_vision; }

    // Frame number of the last frame processed (numbers start at 1).
    uint64_t lastFrameNumber() const;
    // Tracker results the last processed frame was drawn with (by kind).
    std::shared_ptr<const vision::TrackResult> lastTracking(vision::TrackerKind kind) const;

private:
    struct FrameTicket {
        uint64_t frameNumber = 0;
        bool still = false;
        unsigned kinds = 0;
        std::chrono::microseconds budget{0};
        vision::LumaFrame luma;  // still pictures: tracked on the calling thread
    };

    int upload(const unsigned char *data, int width, int height, int flag, YuvUpload::Layout layout);
    bool validSize(int width, int height) const;
    // Trackers the families want and that are available (loading models on first need).
    unsigned trackersNeeded();
    void noteUploadedFrame(GLuint texture, const unsigned char *luma, int width, int height);
    FrameTicket ticketFor(GLuint texture, int width, int height);
    bool readBackLuma(GLuint texture, int width, int height, vision::LumaFrame *out);
    bool stillChanged(GLuint texture, int width, int height);
    std::chrono::microseconds frameBudget() const;
    GLuint runChain(GLuint input, int width, int height, FrameContext &frame);
    void releaseGl(Gl *gl);

    mutable std::recursive_mutex m_mutex;
    std::string m_resourceDir;
    int m_width;
    int m_height;

    Renderer m_renderer;
    ScratchTextures m_scratch;
    TextureRing m_output{4};
    YuvUpload m_upload;

    static constexpr size_t kMaxFamilies = 16;
    std::vector<std::unique_ptr<EffectFamily>> m_families;
    // Shader files of the fused pass: core/common.glsl, then each family's.
    std::vector<std::string> m_composeIncludes;

    // Frame numbering: every upload and every changed still picture gets the
    // next number; the upload ring's textures remember theirs.
    uint64_t m_frameCounter = 0;
    uint64_t m_lastFrame = 0;
    struct UploadedFrame {
        GLuint texture = 0;
        uint64_t frameNumber = 0;
    };
    UploadedFrame m_uploaded[4];
    int m_uploadedNext = 0;
    std::chrono::steady_clock::time_point m_lastUploadTime{};
    double m_frameIntervalUs = 33333.0;
    double m_waitedUs = 0;  // waited for trackers since the last upload

    // Still pictures: a small probe tells whether the picture changed.
    std::vector<uint8_t> m_stillProbe;
    GLuint m_stillTexture = 0;
    int m_stillWidth = 0;
    int m_stillHeight = 0;
    uint64_t m_stillFrame = 0;
    unsigned m_stillKinds = 0;  // trackers that have seen the current still
    uint64_t m_sequence = 0;

    vision::VisionHub m_vision;
    bool m_modelsTried[vision::TrackerKindCount] = {};
    std::shared_ptr<const vision::TrackResult> m_lastTracking[vision::TrackerKindCount];
};

} // namespace velvix
