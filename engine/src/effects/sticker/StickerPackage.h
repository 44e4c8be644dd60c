// 2D sticker packages ("motion"): res/motion/<name>/template.json names
// image layers, each anchored to a landmark point, sized and placed in units
// of the eye distance, turned with the head and optionally shown only while
// a trigger holds (mouth open, brows raised, eyes closed). A layer may be a
// frame animation. The format is documented in docs/effects.md.
#pragma once

#include "core/Gl.h"

#include <QImage>
#include <QString>

#include <opencv2/core.hpp>

#include <vector>

namespace velvix {

enum class StickerAnchor { Forehead, Eyes, RightEye, LeftEye, Nose, Mouth, Chin, Face };
enum class StickerTrigger { Always, MouthOpen, BrowsRaised, EyesClosed };

struct StickerLayer {
    std::vector<QImage> frames;  // premultiplied RGBA8888
    StickerAnchor anchor = StickerAnchor::Eyes;
    float offsetX = 0, offsetY = 0;  // eye distances along the head's x (towards the picture's right) and y (down)
    float width = 1;                 // eye distances; the height follows the frame's aspect
    float fps = 0;                   // frames a second (0: the first frame only)
    StickerTrigger trigger = StickerTrigger::Always;
};

struct StickerPackage {
    QString path;
    std::vector<StickerLayer> layers;
};

// Reads a package folder (or its template.json). False with `error` set
// when the file or an image is missing, too large or malformed, or a field
// is out of range.
bool loadStickerPackage(const QString &path, StickerPackage *package, QString *error);

// Decodes a picture with its header checked first: no side above `maxSide`
// and no unreadable or oversized file. Null image and `error` on failure.
QImage decodeBoundedPicture(const QString &file, int maxSide, QString *error);

// The state of one face's triggers, from its landmarks (pixels).
struct FaceTriggers {
    bool mouthOpen = false;
    bool browsRaised = false;
    bool eyesClosed = false;
    float mouthOpening = 0;  // lip gap / mouth width
    float browHeight = 0;    // brow-to-eye height / eye distance
    float eyeOpening = 0;    // lid gap / eye width, both eyes' mean
};
FaceTriggers faceTriggers(const std::vector<cv::Point2f> &points);

// Where a layer goes on a face: centre, and the half-width and half-height
// vectors of its quad, in the same pixels as `points`.
struct StickerQuad {
    cv::Point2f centre, halfX, halfY;
};
bool placeSticker(const StickerLayer &layer, const QImage &frame, const std::vector<cv::Point2f> &points,
                  StickerQuad *quad);

// One mipmapped texture per frame: artwork is drawn much smaller than it is
// stored.
std::vector<GLuint> uploadStickerFrames(Gl *gl, const std::vector<QImage> &frames);

} // namespace velvix
