// 3D stickers ("motion3d" with a package under res/motion3d/; the panel
// reaches it through "motion", whose family hands a 3D package over): the
// package's textured meshes posed on every tracked head with the tracker's
// head pose and camera, lit, depth-tested, hidden behind an ellipsoid head
// proxy drawn depth-only, rendered with multisampling and laid over the
// frame. Value 0..100 is the sticker's opacity; 0 or no package is off.
#pragma once

#include "core/EffectFamily.h"
#include "effects/sticker3d/MeshPackage.h"

#include <memory>
#include <vector>

namespace velvix {

class Sticker3dEffect final : public EffectFamily {
public:
    const char *name() const override { return "motion3d"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override;
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;

    // The head proxy: an ellipsoid in the head frame of the face tracker's
    // generic head (millimetres), a little inside the skin so that what sits
    // on the face stays in front of it.
    static constexpr float kProxyCentre[3] = {0.0f, -43.0f, 113.0f};
    static constexpr float kProxyRadii[3] = {75.0f, 107.0f, 91.0f};

private:
    struct GpuPart {
        GLuint buffer = 0;
        GLuint texture = 0;
        GLsizei count = 0;
    };
    void upload(Gl *gl);
    bool ensureTargets(Gl *gl, int width, int height);
    // Moves the package's GL objects to the stale lists (deleted with a context).
    void retireParts();
    void releaseObjects(Gl *gl);

    std::shared_ptr<const MeshPackage> m_package;
    int m_value = 0;
    bool m_uploaded = false;
    std::vector<GpuPart> m_parts;
    GLuint m_proxyBuffer = 0;
    GLsizei m_proxyCount = 0;
    GLuint m_white = 0;
    // Multisampled colour and depth at the output size (shared objects).
    GLuint m_colourBuffer = 0;
    GLuint m_depthBuffer = 0;
    int m_targetWidth = 0;
    int m_targetHeight = 0;
    int m_samples = -1;
    std::vector<GLuint> m_staleBuffers;
    std::vector<GLuint> m_staleTextures;
};

} // namespace velvix
