// Green screen and backgrounds ("segmentation"): a chroma key with
// similarity, smoothness, spill reduction, mask erosion ("corrosion") and
// shadow tolerance ("deshadow"), composited over a background picture from a
// package or from the custom "bgPath". Person packages ("type": "person")
// take the portrait mask of vision::SelfieSegmenter in place of the key,
// refined against the frame (person.frag), over a picture or a blur.
#pragma once

#include "core/EffectFamily.h"
#include "core/EffectParams.h"
#include "core/Renderer.h"
#include "core/TextureRing.h"

#include <QImage>
#include <QJsonObject>
#include <QString>

#include <opencv2/core.hpp>

#include <memory>

#include <utility>
#include <vector>

namespace velvix {

class GreenScreen final : public EffectFamily {
public:
    const char *name() const override { return "greenscreen"; }
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    bool applyProperty(const char *key, const char *value, bool *handled) override;
    void clear() override { reset(); }
    bool hasPass(const FrameContext &frame) const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override
    {
        if (m_person || m_showMask)
            return runPerson(frame, source, sourceLinear, target);
        return run(frame.renderer, source, sourceLinear, frame.width, frame.height, frame.scratch, target);
    }
    unsigned trackersNeeded() const override;

    struct Params {
        double similarity = 0.5;  // 0..1
        double smooth = 0.1;      // 0.01..1
        int corrosion = 0;        // 0..3 pixels of mask erosion
        double despill = 0.5;     // 0..1
        double deshadow = 0.0;    // 0..5
    };

    // The "segmentation" effect. Returns false when a given resource could
    // not be used (logged); the effect is then off unless a custom
    // background still applies.
    bool applySegmentation(const char *fullPath, const QJsonObject &extra);
    // "green_background_v2.<name>" in slider units.
    bool applySliderParam(const std::string &name, int value);
    // The green-screen parameter event: {"green_params_v2":[sim, smooth,
    // corrosion, despill, deshadow]} with positions 0, 1, 3 already in 0..1.
    bool applyParamsEvent(const char *json);
    void reset();

    bool active() const { return m_enabled; }
    // A person package is in force (the mask replaces the key).
    bool personMode() const { return m_enabled && m_person; }
    const Params &params() const { return m_params; }

    void prepare(Renderer &renderer) override;
    // `sourceLinear`: the source differs in size from the output and must be
    // filtered; same-size sources are read texel by texel (much cheaper).
    // The result goes into `target` when given, else into a scratch texture.
    GLuint run(Renderer &renderer, GLuint source, bool sourceLinear, int width, int height,
               ScratchTextures &scratch, GLuint target);
    void release(Gl *gl) override;

private:
    GLuint runPerson(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target);
    // Applies numbers in the array order; `scaled` says positions 0, 1, 3
    // are already fractions.
    bool applyParamList(const std::vector<double> &numbers, bool scaled);
    bool loadPackage(const QString &path, QString *backgroundPath);
    QImage picture(const QString &path);
    void setBackground(const QImage &image, const QString &source);

    Params m_params;
    bool m_enabled = false;
    float m_keyColor[3] = {0.f, 1.f, 0.f};
    QImage m_background;
    QString m_backgroundSource;
    bool m_backgroundDirty = false;
    GLuint m_backgroundTexture = 0;
    std::vector<std::pair<QString, QImage>> m_pictureCache;
    // Person packages.
    bool m_person = false;
    bool m_showMask = false;         // "atomic.portraitSegment"
    QString m_lastPackage;           // full path of the package chosen last
    int m_blurStrength = 0;          // 0..100; used without a background picture
    GLuint m_maskTexture = 0;        // mask (r) and edge band (g)
    cv::Mat m_maskPixels;            // their interleaved upload
    const void *m_maskUploaded = nullptr;  // the result in m_maskTexture
    std::shared_ptr<const vision::TrackResult> m_maskHeld;
};

} // namespace velvix
