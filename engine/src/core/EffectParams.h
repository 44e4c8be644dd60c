// The effect table (name, range, neutral value, family) and the parsing of
// effect arguments. The names and ranges are documented in docs/effects.md;
// this table is their one home in the engine.
#pragma once

#include <QJsonObject>
#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace velvix {

struct EffectInfo {
    const char *name;
    int minimum;
    int maximum;
    int neutral;
    const char *family;  // EffectFamily::name() of the family that owns it
};

// Every row of the table, in documentation order.
const EffectInfo *effectTable(size_t *count);

// The effect with this name, or null.
const EffectInfo *findEffect(const std::string &name);

// Clamps `value` into the effect's range, logging when it had to.
int clampEffectValue(const EffectInfo &info, int value);

// Parses the extra-information text of applyEffect. Null or empty text gives
// an empty object and true; malformed text logs one line and gives false
// (applyEffect then fails and changes nothing).
// Writers of this text do not escape backslashes in paths, so a second try
// escapes lone backslashes before giving up.
bool parseExtraInfo(const char *text, QJsonObject *out);

// Reads a list of numbers from a JSON array or from text like "[50,60,3]".
// False (and `out` untouched) when any entry is missing or not a finite number.
bool parseNumberList(const QJsonValue &value, std::vector<double> *out);

// Logs `message` at most once per second for each `key`, so a per-frame
// failure does not flood the log.
void logThrottled(const char *key, const QString &message);

// Everything the fused colour pass needs for one frame, filled by the
// effect families; `features` selects the compiled blocks.
// Texture unit of a displacement field (see WarpFamily).
constexpr int kWarpFieldUnit = 5;

struct ComposeParams {
    enum Feature : unsigned {
        Smooth = 1u << 0,
        Sharpen = 1u << 1,
        Whiten = 1u << 2,
        Rosy = 1u << 3,
        Brightness = 1u << 4,
        Contrast = 1u << 5,
        Saturation = 1u << 6,
        Gain = 1u << 7,
        ShadowsHighlights = 1u << 8,
        Fade = 1u << 9,
        Lut3d = 1u << 10,
        Lut1d = 1u << 11,
        Vignette = 1u << 12,
        Grain = 1u << 13,
        // The 3D table holds the colour grade and the filter's intensity.
        LutBaked = 1u << 14,
        // The source has another size than the output (sharpening then
        // steps in output pixels).
        ScaledSource = 1u << 15,
        // The frame is sampled at positions moved by a displacement field.
        Warp = 1u << 16,
        // Functions of the colour alone that a 3D filter table can absorb.
        ColourGrade = Brightness | Contrast | Saturation | Gain | ShadowsHighlights | Fade,
    };
    unsigned features = 0;
    unsigned warpField = 0;  // with Warp: the field texture (unit kWarpFieldUnit)
    int warpBounds[4] = {0, 0, 0, 0};  // where it moves pixels (x0, y0, x1, y1)

    float smooth = 0.f;
    unsigned blurTexture = 0;
    float whiten = 0.f;
    float rosy = 0.f;
    float sharpen = 0.f;
    float contrast = 1.f;
    float saturation = 1.f;
    float brightness = 0.f;
    float gain[3] = {1.f, 1.f, 1.f};
    float shadows = 0.f;
    float highlights = 0.f;
    float fade = 0.f;
    float vignette = 0.f;
    float grain = 0.f;
    float grainSeed = 0.f;
    unsigned lut3dTexture = 0;
    unsigned lut1dTexture = 0;
    float lut3dSize = 0.f;
    float lut1dSize = 0.f;
    float lutDomainMin[3] = {0.f, 0.f, 0.f};
    float lutDomainScale[3] = {1.f, 1.f, 1.f};
    float lutIntensity = 0.f;
    float lutScale = 1.f;    // baked table: (size - 1) / size
    float lutOffset = 0.f;   // baked table: 0.5 / size

    std::string defines() const;
};

} // namespace velvix
