// Makeup resources: one single effect ("makeup.lipstick", ...) is a folder
// res/makeup/<kind>_<name>/ with a template.json naming its colour, blend
// mode and landmark region; a light look ("light.makeup") is a folder whose
// template.json names several single packages with strengths; a styled look
// ("makeup") adds a filter and face-shape settings. The formats are
// documented in docs/effects.md.
#pragma once

#include <QString>

#include <array>
#include <string>
#include <vector>

namespace velvix {

// The regions a makeup layer can paint, one mask channel each.
enum class MakeupKind { Lipstick, Blush, Eyebrow, Eyeshadow, Eyeliner, Contour, Highlight, Count };
constexpr int kMakeupKinds = static_cast<int>(MakeupKind::Count);

// How a layer's colour meets the skin.
enum class MakeupBlend {
    Colour = 0,    // hue and chroma of the colour, the skin's own lightness pattern (OKLab)
    Multiply = 1,
    SoftLight = 2,
    Normal = 3,
    Screen = 4,
};

struct MakeupLayer {
    bool on = false;
    float colour[3] = {0, 0, 0};  // sRGB 0..1
    MakeupBlend blend = MakeupBlend::Normal;
    float opacity = 0;            // at strength 100
};

// The layers one package (or one look) paints, indexed by MakeupKind.
using MakeupLayers = std::array<MakeupLayer, kMakeupKinds>;

// The kind a single effect name paints ("makeup.lipstick" -> Lipstick), or
// Count for other names. "makeup.contour" paints Contour and Highlight.
MakeupKind makeupKindOf(const char *effectName);

// Reads res/makeup/<kind>_<name>/ (the folder or its template.json). Only
// the layers of `kind` (contour: and its highlight) are set. False with
// `error` set when the file is missing, too large, not JSON or names another
// kind, a region that does not belong to it, a bad colour or blend mode.
bool loadMakeupPackage(const QString &path, MakeupKind kind, MakeupLayers *layers, QString *error);

// Reads a look: {"effects": [{"effect": "makeup.lipstick", "package":
// "lipstick_coral", "strength": 60}, ...]}; packages are looked up in the
// "makeup" folder beside the look's parent folder (res/makeup/). Each
// layer's opacity is scaled by its strength / 100.
bool loadMakeupLook(const QString &path, MakeupLayers *layers, QString *error);

// A setting of another family that a styled look brings with it.
struct StyleSetting {
    std::string name;          // "lut", "shape.*", "basicV7.*"
    int value = 0;             // at look strength 100
    std::string resourcePath;  // full path, or empty
};

// Reads a styled look ("makeup"): {"makeup": [as a light look's "effects"],
// "filter": {"path": "lut/warm.png", "strength": 60}, "shape":
// {"shape.thinFace": 20}}; filter and shape are optional, the filter path is
// relative to res/ (two folders up) and must stay inside it.
bool loadStyleLook(const QString &path, MakeupLayers *layers, std::vector<StyleSetting> *settings, QString *error);

} // namespace velvix
