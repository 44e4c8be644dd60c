#include "effects/beauty/BeautyEffect.h"

#include "vision/FaceTrackerAdapter.h"

#include <algorithm>
#include <cmath>

namespace velvix {

bool BeautyEffect::set(const std::string &name, int value)
{
    if (name == "beauty.smooth")
        m_smooth = value;
    else if (name == "beauty.whiten")
        m_whiten = value;
    else if (name == "beauty.rosy")
        m_rosy = value;
    else if (name == "beauty.sharpen")
        m_sharpen = value;
    else if (name == "beauty.imageContrastAlpha")
        m_contrast = value;
    else if (name == "smooth.saturation")
        m_saturation = value;
    else
        return false;
    return true;
}

void BeautyEffect::reset()
{
    *this = BeautyEffect();
}

GLuint BeautyEffect::runBlur(Renderer &renderer, GLuint source, int width, int height, ScratchTextures &scratch,
                             const std::vector<float> *faceMask)
{
    Gl *gl = renderer.gl();
    const bool faces = faceMask && !faceMask->empty();
    ShaderProgram *down = renderer.program("effects/beauty/beauty_downsample.frag", {}, "");
    ShaderProgram *first = renderer.program("effects/beauty/beauty_blur.frag", {"core/common.glsl"}, "#define FIRST_PASS\n");
    ShaderProgram *second = renderer.program("effects/beauty/beauty_blur.frag", {"core/common.glsl"},
                                             faces ? "#define FACE_MASK\n" : "");
    if (!down || !first || !second)
        return 0;
    // The blur runs on about 240 lines (at least half size), so a face is
    // smoothed alike at any size and the cost does not grow with it.
    const int factor = std::max(2, static_cast<int>(std::lround(std::min(width, height) / 240.0)));
    const int bw = std::max(1, width / factor);
    const int bh = std::max(1, height / factor);
    GLuint small = scratch.get(gl, "beauty.small", bw, bh, GL_RGBA8);
    GLuint horizontal = scratch.get(gl, "beauty.blurH", bw, bh, GL_RGBA8);
    GLuint vertical = scratch.get(gl, "beauty.blurV", bw, bh, GL_RGBA8);

    down->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, true);
    down->set(gl, "u_src", 0);
    down->set(gl, "u_quarter", 0.25f * static_cast<float>(factor) / static_cast<float>(width),
              0.25f * static_cast<float>(factor) / static_cast<float>(height));
    renderer.drawTo(small, bw, bh);

    first->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, small, false);
    first->set(gl, "u_src", 0);
    renderer.drawTo(horizontal, bw, bh);

    second->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, horizontal, false);
    second->set(gl, "u_src", 0);
    second->set(gl, "u_smoothEps", smoothEps());
    // A little of the own texture always stays, so skin never looks plastic.
    second->set(gl, "u_smooth", 0.9f * static_cast<float>(m_smooth) / 100.0f);
    if (faces) {
        const int count = static_cast<int>(faceMask->size() / 32);
        gl->glUniform4fv(gl->glGetUniformLocation(second->id(), "u_faces"), count * 8, faceMask->data());
        second->set(gl, "u_faceCount", count);
        second->set(gl, "u_size", static_cast<float>(width), static_cast<float>(height));
    }
    renderer.drawTo(vertical, bw, bh);
    return vertical;
}

unsigned BeautyEffect::trackersNeeded() const
{
    return m_smooth > 0 ? vision::trackerBit(vision::FaceTracking) : 0;
}

namespace {

// The face oval and the parts kept sharp, as ellipses in output pixels
// (8 vec4 a face; see beauty_blur.frag).
std::vector<float> faceMaskOf(const FrameContext &frame)
{
    std::vector<float> mask;
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    if (!result || result->width <= 0 || result->height <= 0)
        return mask;
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    for (const vision::Face &face : result->faces) {
        if (mask.size() == 4 * 32 || face.landmarks.size() < 468)
            break;
        const auto at = [&](int i) {
            return cv::Point2f(face.landmarks[static_cast<size_t>(i)].x * sx, face.landmarks[static_cast<size_t>(i)].y * sy);
        };
        const auto scaled = [&](cv::Point2f p) { return cv::Point2f(p.x * sx, p.y * sy); };
        const cv::Point2f er = scaled(face.rightEyeCentre());
        const cv::Point2f el = scaled(face.leftEyeCentre());
        cv::Point2f axis = el - er;
        const float iod = static_cast<float>(cv::norm(axis));
        if (iod < 4.0f)
            continue;
        axis *= 1.0f / iod;
        if (axis.x < 0)
            axis = -axis;
        const cv::Point2f down(-axis.y, axis.x);
        const auto along = [&](cv::Point2f v) { return std::abs(v.dot(axis)); };
        const auto across = [&](cv::Point2f v) { return std::abs(v.dot(down)); };
        const auto push = [&](cv::Point2f c, float ax, float ay) {
            mask.insert(mask.end(), {c.x, c.y, std::max(ax, 1.0f), std::max(ay, 1.0f)});
        };
        mask.insert(mask.end(), {axis.x, axis.y, 0.0f, 0.0f});
        // Oval: from the forehead (10) to the chin (152), cheek to cheek (234, 454).
        const cv::Point2f top = at(10);
        const cv::Point2f chin = at(152);
        push((top + chin) * 0.5f + down * (0.05f * iod), 0.5f * along(at(454) - at(234)) * 0.95f,
             0.5f * across(chin - top) * 1.05f);
        const cv::Point2f browR = (at(70) + at(105) + at(107)) * (1.0f / 3.0f);
        const cv::Point2f browL = (at(300) + at(334) + at(336)) * (1.0f / 3.0f);
        const cv::Point2f mouth = (at(13) + at(14)) * 0.5f;
        push(er, 0.42f * iod, 0.26f * iod);
        push(el, 0.42f * iod, 0.26f * iod);
        push(browR, 0.5f * along(at(107) - at(70)) + 0.12f * iod, 0.16f * iod);
        push(browL, 0.5f * along(at(336) - at(300)) + 0.12f * iod, 0.16f * iod);
        push(mouth, 0.5f * along(at(291) - at(61)) + 0.1f * iod, 0.5f * across(at(17) - at(0)) + 0.1f * iod);
        push((at(98) + at(327)) * 0.5f, 0.5f * along(at(327) - at(98)) + 0.06f * iod, 0.13f * iod);
    }
    return mask;
}

} // namespace

void BeautyEffect::finishCompose(FrameContext &frame, GLuint source, ComposeParams &params)
{
    if (!(params.features & ComposeParams::Smooth))
        return;
    const std::vector<float> mask = faceMaskOf(frame);
    params.blurTexture = runBlur(frame.renderer, source, frame.width, frame.height, frame.scratch, &mask);
    if (!params.blurTexture)
        params.features &= ~static_cast<unsigned>(ComposeParams::Smooth);
}

void BeautyEffect::setComposeUniforms(FrameContext &frame, ShaderProgram &program, const ComposeParams &params) const
{
    Gl *gl = frame.renderer.gl();
    if (params.features & ComposeParams::Smooth) {
        frame.renderer.bindTexture(1, GL_TEXTURE_2D, params.blurTexture, true);
        program.set(gl, "u_blur", 1);
    }
    program.set(gl, "u_whiten", params.whiten);
    program.set(gl, "u_rosy", params.rosy);
    program.set(gl, "u_sharpen", params.sharpen);
}

float BeautyEffect::smoothEps() const
{
    // Stronger smoothing also flattens stronger texture.
    return 0.0015f + 0.0065f * static_cast<float>(m_smooth) / 100.0f;
}

void BeautyEffect::contribute(ComposeParams &params) const
{
    if (m_smooth > 0) {
        const float s = static_cast<float>(m_smooth) / 100.0f;
        params.features |= ComposeParams::Smooth;
        params.smooth = s;
    }
    if (m_whiten > 0) {
        params.features |= ComposeParams::Whiten;
        params.whiten = static_cast<float>(m_whiten) / 100.0f;
    }
    if (m_rosy > 0) {
        params.features |= ComposeParams::Rosy;
        params.rosy = static_cast<float>(m_rosy) / 100.0f;
    }
    if (m_sharpen > 0) {
        params.features |= ComposeParams::Sharpen;
        params.sharpen += 1.2f * static_cast<float>(m_sharpen) / 100.0f;
    }
    if (m_contrast != 0) {
        params.features |= ComposeParams::Contrast;
        params.contrast *= 1.0f + 0.5f * static_cast<float>(m_contrast) / 100.0f;
    }
    if (m_saturation != 0) {
        params.features |= ComposeParams::Saturation;
        params.saturation *= 1.0f + static_cast<float>(m_saturation) / 100.0f;
    }
}

} // namespace velvix
