// Coloured line segments drawn over the picture as it is: what the atomic
// abilities (face, body) show. One segment per instance of a quad, its ends
// and colour read from a float texture by overlay.vert.
#pragma once

#include "core/EffectFamily.h"

#include <vector>

namespace velvix {

struct OverlaySegment {
    float x0, y0, x1, y1;  // output pixels; equal ends draw a dot
    float r, g, b;
};

class SegmentOverlay {
public:
    explicit SegmentOverlay(int maxSegments) : m_maxSegments(maxSegments) {}

    // Copies the source into the output (`target`, else the scratch texture
    // named `role`) and draws up to the first maxSegments segments over it,
    // `halfWidth` pixels each side of the line. 0 when a program is missing.
    GLuint draw(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target, const char *role,
                const std::vector<OverlaySegment> &segments, float halfWidth);
    void release(Gl *gl);

private:
    int m_maxSegments;
    GLuint m_data = 0;  // 2 x maxSegments RGBA32F: ends, then colour
};

} // namespace velvix
