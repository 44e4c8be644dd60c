// Families that move pixels (face reshaping, body shaping): their settings
// are a map of non-neutral values, and each frame they describe a smooth
// displacement field by rows of warp data that the family's field shader
// turns into offsets. The field is drawn at half size (the warps are smooth:
// their smallest radius spans dozens of pixels) and then either applied by a
// pass of its own or, when only the fused colour pass follows, handed to it
// so that the fused pass samples the frame at the displaced positions and no
// full-size pass is spent on moving pixels.
#pragma once

#include "core/EffectFamily.h"

#include <map>
#include <string>
#include <vector>

namespace velvix {

class WarpFamily : public EffectFamily {
public:
    bool apply(const EffectInfo &info, int value, const char *resourcePath, const QJsonObject &extra) override;
    void clear() override { m_values.clear(); }
    void release(Gl *gl) override;
    unsigned trackersNeeded() const override;
    GLuint runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target) override;
    GLuint displacementField(FrameContext &frame, int bounds[4]) override;

protected:
    // `fieldShader` writes the offset (in output pixels, rg) that each output
    // pixel samples from; it reads u_data (RGBA32F, `columns` texels a row,
    // at most `maxRows` rows) and u_size (the output size).
    WarpFamily(vision::TrackerKind tracker, const char *fieldShader, int columns, int maxRows);

    // The rows of warp data for this frame (`columns` x 4 floats each) and
    // the family's uniforms; false when nothing moves. `bounds` (x0, y0, x1,
    // y1 in output pixels, the whole frame on entry) may be narrowed to where
    // anything moves: the field is only evaluated there.
    virtual bool fillData(const FrameContext &frame, std::vector<float> &data, int *rows, int bounds[4]) = 0;
    virtual void setFieldUniforms(Gl *gl, ShaderProgram &program) const
    {
        (void)gl;
        (void)program;
    }

    float value(const char *name) const;
    bool anySet() const { return !m_values.empty(); }

private:
    std::map<std::string, int> m_values;  // non-neutral settings only
    vision::TrackerKind m_tracker;
    const char *m_fieldShader;
    int m_columns;
    int m_maxRows;
    GLuint m_data = 0;
    std::string m_fieldRole;
    std::vector<float> m_rows;
};

} // namespace velvix
