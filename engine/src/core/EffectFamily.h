// One family of effects (beauty, image quality, filters, green screen,
// reshaping, ...). The engine keeps a list of families in chain order and
// knows nothing else about them: a name of the effect table goes to the
// family named in its row, and every frame each family may
//   1. prepare()     upload what was chosen since the last frame,
//   2. contribute()  switch on blocks of the fused colour pass,
//   3. runPass()     add full-size passes that replace the frame (in family
//                    order, before the fused pass),
//   4. finishCompose() render what the fused pass reads from the final frame
//                    (e.g. the smoothing blur) or fold settings together,
//   5. setComposeUniforms() set its uniforms on the fused pass.
// A new family is added by writing one class and registering it in
// VelvixEngine's constructor.
#pragma once

#include "core/EffectParams.h"
#include "core/Gl.h"
#include "vision/Tracker.h"

#include <QJsonObject>

#include <memory>
#include <string>
#include <vector>

namespace velvix {

class Renderer;
class ScratchTextures;
class ShaderProgram;

// What a family sees of the frame being made.
struct FrameContext {
    Renderer &renderer;
    ScratchTextures &scratch;
    int width;   // output size
    int height;
    uint64_t frameNumber;  // the frame the trackers saw (0: none)
    uint64_t sequence;     // counts every processed frame (film grain)
    // Tracker results for this frame (or the one before), null when there is
    // none; indexed by vision::TrackerKind.
    std::shared_ptr<const vision::TrackResult> tracking[vision::TrackerKindCount];
};

class EffectFamily {
public:
    virtual ~EffectFamily() = default;

    // The family column of the effect table.
    virtual const char *name() const = 0;

    // Sets one effect of this family; `value` is already clamped into the
    // effect's range and `extra` parsed. False when a resource cannot be
    // used (logged); the effect is then off.
    virtual bool apply(const EffectInfo &info, int value, const char *resourcePath,
                       const QJsonObject &extra) = 0;
    // Settings of other families that the last apply() brought with it (a
    // styled makeup look's filter and face shape), handed over once; the
    // engine applies them right after apply() as if the caller had.
    struct Companion {
        std::string name;
        int value = 0;
        std::string resourcePath;  // full path, or empty
    };
    virtual std::vector<Companion> takeCompanions() { return {}; }
    // A property event; `handled` tells whether the key belongs here.
    virtual bool applyProperty(const char *key, const char *value, bool *handled)
    {
        (void)key;
        (void)value;
        *handled = false;
        return false;
    }
    // Every effect of the family back to neutral.
    virtual void clear() = 0;
    // Deletes the family's GL objects (a context of the share group is current).
    virtual void release(Gl *gl) = 0;

    // Bits of vision::trackerBit() the family needs for the next frame.
    virtual unsigned trackersNeeded() const { return 0; }
    // Shader files pasted into the fused pass (in family order), or null.
    virtual const char *composeInclude() const { return nullptr; }

    virtual void prepare(Renderer &renderer) { (void)renderer; }
    virtual void contribute(ComposeParams &params, const FrameContext &frame) const
    {
        (void)params;
        (void)frame;
    }
    // Whether runPass() will draw this frame.
    virtual bool hasPass(const FrameContext &frame) const
    {
        (void)frame;
        return false;
    }
    // Draws the frame so far (`source`; `sourceLinear` when its size differs
    // from the output) into `target` when given (the output: nothing
    // follows), else into a texture of its own. Returns what it drew into, or
    // 0 when it could not (the frame then goes on unchanged).
    virtual GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
    {
        (void)frame;
        (void)source;
        (void)sourceLinear;
        (void)target;
        return 0;
    }
    // A family whose pass only moves pixels may instead give the fused pass
    // a displacement field (see WarpFamily) when nothing but the fused pass
    // follows it, with `bounds` (x0, y0, x1, y1 in output pixels) around
    // where it is not zero; 0 when it has none (it then draws with runPass()).
    virtual GLuint displacementField(FrameContext &frame, int bounds[4])
    {
        (void)frame;
        (void)bounds;
        return 0;
    }
    virtual void finishCompose(FrameContext &frame, GLuint source, ComposeParams &params)
    {
        (void)frame;
        (void)source;
        (void)params;
    }
    virtual void setComposeUniforms(FrameContext &frame, ShaderProgram &program,
                                    const ComposeParams &params) const
    {
        (void)frame;
        (void)program;
        (void)params;
    }
};

} // namespace velvix
