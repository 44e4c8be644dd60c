// Camera frame uploads: I420 and NV12 planes to an RGBA texture.
#pragma once

#include "core/Renderer.h"
#include "core/TextureRing.h"

namespace velvix {

class YuvUpload {
public:
    enum class Layout { I420, NV12 };

    // Uploads a frame and converts it. Buffer layout (both formats): the
    // Y plane of width x height bytes, then the chroma of
    // (width / 2) x (height / 2) samples: for I420 the U plane and, at
    // width * height + width * height / 4, the V plane; for NV12 one plane of
    // interleaved U, V pairs. The buffer is width * height * 3 / 2 bytes.
    // Bit 0 of `flag`: 1 = limited (video) range, 0 = full range.
    // Returns the RGBA texture (owned here) or 0.
    GLuint upload(Renderer &renderer, const unsigned char *data, int width, int height, int flag,
                  Layout layout);
    void release(Gl *gl);

private:
    void releasePlanes(Gl *gl);
    bool ensurePlanes(Gl *gl, int width, int height, Layout layout);

    GLuint m_y = 0;
    GLuint m_u = 0;  // I420 U, or NV12 interleaved UV
    GLuint m_v = 0;
    int m_width = 0;
    int m_height = 0;
    Layout m_layout = Layout::I420;
    TextureRing m_ring{3};
};

} // namespace velvix
