// The engine object behind createVelvix(): serialises every operation, owns
// the effect families and runs the per-frame chain
//   [green screen] -> [half-size blur for smoothing] -> fused colour pass
// (or a plain copy when nothing is active) into a ring of output textures.
#pragma once

#include "velvix/VelvixDll.h"

#include "BeautyEffect.h"
#include "GlCore.h"
#include "GreenScreen.h"
#include "LutFilter.h"
#include "QualityEffect.h"
#include "YuvUpload.h"

#include <mutex>
#include <string>

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

private:
    int upload(const unsigned char *data, int width, int height, int flag, YuvUpload::Layout layout);
    bool validSize(int width, int height) const;
    GLuint runChain(GLuint input, int width, int height);
    void releaseGl(Gl *gl);

    std::recursive_mutex m_mutex;
    std::string m_resourceDir;
    int m_width;
    int m_height;
    unsigned m_frameNumber = 0;

    Renderer m_renderer;
    ScratchTextures m_scratch;
    TextureRing m_output{4};
    YuvUpload m_upload;

    BeautyEffect m_beauty;
    QualityEffect m_quality;
    LutFilter m_lut;
    GreenScreen m_green;
};

} // namespace velvix
