// Gesture stickers ("motion" with a package whose template.json says
// "type": "gesture", under res/gesture/): layers placed at a hand (palm
// centre, finger tips, ...), sized in palm lengths and turned with the hand,
// shown on each hand while it makes the package's gesture, and held a moment
// after it stops so a gesture the tracker loses for a frame does not
// flicker. The format is documented in docs/effects.md.
#pragma once

#include "core/EffectFamily.h"
#include "vision/HandTracker.h"

#include <QElapsedTimer>
#include <QImage>
#include <QString>

#include <array>
#include <memory>
#include <vector>

namespace velvix {

enum class HandAnchor { Palm, Wrist, ThumbTip, IndexTip, MiddleTip, RingTip, LittleTip, Fingers, Pinch };

struct GestureLayer {
    std::vector<QImage> frames;  // premultiplied RGBA8888
    HandAnchor anchor = HandAnchor::Palm;
    float offsetX = 0, offsetY = 0;  // palm lengths along the hand's x and y (towards the wrist)
    float width = 1;                 // palm lengths
    float fps = 0;
};

struct GesturePackage {
    QString path;
    vision::Gesture gesture = vision::Gesture::None;
    float hold = 0.4f;  // seconds the layers stay after the gesture ends
    std::vector<GestureLayer> layers;
};

// Whether the package at `path` (folder or template.json) is a gesture one.
bool isGesturePackage(const QString &path);
bool loadGesturePackage(const QString &path, GesturePackage *package, QString *error);

// Where a layer goes on a hand: centre and half-axis vectors, in the
// hand's pixels. False for a degenerate hand.
struct GestureQuad {
    cv::Point2f centre, halfX, halfY;
};
bool placeOnHand(const GestureLayer &layer, const QImage &frame, const vision::Hand &hand, GestureQuad *quad);

class ShaderProgram;

class GestureStickers {
public:
    bool load(const QString &path, QString *error);
    void unload() { m_package.reset(); }
    const GesturePackage *package() const { return m_package.get(); }
    void release(Gl *gl);
    // Whether any hand shows the gesture now or held it within the hold time.
    bool anyVisible(const vision::HandResult &hands) const;
    // Draws onto the bound target (sticker program in use, blending on).
    void draw(FrameContext &frame, ShaderProgram &program, const vision::HandResult &hands);

private:
    // Hands are matched to the last shown ones by overlap of their boxes.
    struct Shown {
        cv::Rect2f box;
        qint64 at = -1;
    };
    std::vector<bool> visibleHands(const vision::HandResult &hands, qint64 now) const;

    std::shared_ptr<const GesturePackage> m_package;
    std::vector<std::vector<GLuint>> m_textures;
    std::vector<GLuint> m_stale;
    std::vector<Shown> m_shown;
    QElapsedTimer m_clock;
};

} // namespace velvix
