#include "effects/sticker3d/Sticker3dEffect.h"

#include "core/Renderer.h"
#include "core/ShaderProgram.h"
#include "core/TextureRing.h"
#include "vision/FaceTrackerAdapter.h"

#include <QDebug>
#include <QFileInfo>

#include <opencv2/calib3d.hpp>

#include <algorithm>
#include <cmath>

namespace velvix {

namespace {

// Depth range of the perspective, millimetres in front of the camera.
constexpr float kNear = 10.0f;
constexpr float kFar = 50000.0f;
constexpr int kMaxSamples = 4;

// The proxy ellipsoid as plain triangles (positions only).
std::vector<float> proxyTriangles()
{
    constexpr int rings = 24, segments = 40;
    auto point = [](int ring, int segment, std::vector<float> &out) {
        const double theta = M_PI * ring / rings;          // from the top of the head
        const double phi = 2.0 * M_PI * segment / segments;
        const double s = std::sin(theta);
        out.push_back(Sticker3dEffect::kProxyCentre[0] + Sticker3dEffect::kProxyRadii[0] * static_cast<float>(s * std::sin(phi)));
        out.push_back(Sticker3dEffect::kProxyCentre[1] - Sticker3dEffect::kProxyRadii[1] * static_cast<float>(std::cos(theta)));
        out.push_back(Sticker3dEffect::kProxyCentre[2] - Sticker3dEffect::kProxyRadii[2] * static_cast<float>(s * std::cos(phi)));
    };
    std::vector<float> out;
    out.reserve(static_cast<size_t>(rings * segments * 6 * 3));
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            point(r, s, out);
            point(r + 1, s, out);
            point(r + 1, s + 1, out);
            point(r, s, out);
            point(r + 1, s + 1, out);
            point(r, s + 1, out);
        }
    }
    return out;
}

// The output pixels (x0, y0, x1, y1; rows from the top) that the package's
// bounding box covers on the faces with a pose; empty when none, the whole
// frame when a corner comes near the camera.
std::array<int, 4> coveredRect(const MeshPackage &package, const vision::FaceResult &result, int width, int height)
{
    const double rw = result.width, rh = result.height, f = std::max(rw, rh);
    const double sx = width / rw, sy = height / rh;
    double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
    for (const vision::Face &face : result.faces) {
        if (!face.pose.valid)
            continue;
        cv::Matx33d r;
        cv::Rodrigues(face.pose.rvec, r);
        for (int corner = 0; corner < 8; ++corner) {
            const cv::Vec3d p(corner & 1 ? package.high[0] : package.low[0], corner & 2 ? package.high[1] : package.low[1],
                              corner & 4 ? package.high[2] : package.low[2]);
            const cv::Vec3d c = r * p + face.pose.tvec;
            if (c[2] < kNear * 2)
                return {0, 0, width, height};
            const double u = (f * c[0] / c[2] + rw / 2) * sx, v = (f * c[1] / c[2] + rh / 2) * sy;
            x0 = std::min(x0, u);
            x1 = std::max(x1, u);
            y0 = std::min(y0, v);
            y1 = std::max(y1, v);
        }
    }
    auto clampTo = [](double v, int size) { return static_cast<int>(std::max(0.0, std::min<double>(size, v))); };
    // Two pixels of margin for the multisampled edges.
    const std::array<int, 4> rect = {clampTo(std::floor(x0) - 2, width), clampTo(std::floor(y0) - 2, height),
                                     clampTo(std::ceil(x1) + 2, width), clampTo(std::ceil(y1) + 2, height)};
    return rect[2] > rect[0] && rect[3] > rect[1] ? rect : std::array<int, 4>{0, 0, 0, 0};
}

GLuint uploadMipmapped(Gl *gl, const QImage &image)
{
    const GLuint texture = createTexture2D(gl, GL_RGBA8, image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                                           image.constBits());
    gl->glBindTexture(GL_TEXTURE_2D, texture);
    gl->glGenerateMipmap(GL_TEXTURE_2D);
    gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    return texture;
}

} // namespace

constexpr float Sticker3dEffect::kProxyCentre[3];
constexpr float Sticker3dEffect::kProxyRadii[3];

bool Sticker3dEffect::apply(const EffectInfo &, int value, const char *resourcePath, const QJsonObject &)
{
    m_value = value;
    // No package: the opacity of the one already chosen (or off).
    if (!resourcePath || !*resourcePath)
        return true;
    const QString path = QString::fromUtf8(resourcePath);
    const QString folder = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    if (m_package && m_package->path == folder)
        return true;
    auto package = std::make_shared<MeshPackage>();
    QString error;
    const bool ok = loadMeshPackage(path, package.get(), &error);
    if (!ok)
        qWarning().noquote() << "Velvix: 3D sticker package not used:" << error;
    retireParts();
    m_package = ok ? std::move(package) : nullptr;
    if (!ok)
        m_value = 0;
    return ok;
}

void Sticker3dEffect::clear()
{
    m_value = 0;
}

void Sticker3dEffect::retireParts()
{
    for (const GpuPart &part : m_parts) {
        m_staleBuffers.push_back(part.buffer);
        if (part.texture)
            m_staleTextures.push_back(part.texture);
    }
    m_parts.clear();
    m_uploaded = false;
}

void Sticker3dEffect::releaseObjects(Gl *gl)
{
    retireParts();
    if (!m_staleBuffers.empty())
        gl->glDeleteBuffers(static_cast<GLsizei>(m_staleBuffers.size()), m_staleBuffers.data());
    if (!m_staleTextures.empty())
        gl->glDeleteTextures(static_cast<GLsizei>(m_staleTextures.size()), m_staleTextures.data());
    m_staleBuffers.clear();
    m_staleTextures.clear();
}

void Sticker3dEffect::release(Gl *gl)
{
    if (!gl)
        return;
    releaseObjects(gl);
    if (m_proxyBuffer)
        gl->glDeleteBuffers(1, &m_proxyBuffer);
    if (m_white)
        gl->glDeleteTextures(1, &m_white);
    const GLuint renderbuffers[] = {m_colourBuffer, m_depthBuffer};
    if (m_colourBuffer)
        gl->glDeleteRenderbuffers(2, renderbuffers);
    m_proxyBuffer = m_white = m_colourBuffer = m_depthBuffer = 0;
    m_targetWidth = m_targetHeight = 0;
}

unsigned Sticker3dEffect::trackersNeeded() const
{
    return m_package && m_value > 0 ? vision::trackerBit(vision::FaceTracking) : 0;
}

bool Sticker3dEffect::hasPass(const FrameContext &frame) const
{
    if (!trackersNeeded())
        return false;
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    if (!result || result->width <= 0 || result->height <= 0)
        return false;
    return std::any_of(result->faces.begin(), result->faces.end(),
                       [](const vision::Face &face) { return face.pose.valid; });
}

void Sticker3dEffect::upload(Gl *gl)
{
    if (!m_staleBuffers.empty() || !m_staleTextures.empty())
        releaseObjects(gl);
    if (!m_white) {
        const unsigned char white[4] = {255, 255, 255, 255};
        m_white = createTexture2D(gl, GL_RGBA8, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, white);
    }
    if (!m_proxyBuffer) {
        const std::vector<float> proxy = proxyTriangles();
        gl->glGenBuffers(1, &m_proxyBuffer);
        gl->glBindBuffer(GL_ARRAY_BUFFER, m_proxyBuffer);
        gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(proxy.size() * sizeof(float)), proxy.data(),
                         GL_STATIC_DRAW);
        m_proxyCount = static_cast<GLsizei>(proxy.size() / 3);
    }
    if (m_uploaded || !m_package)
        return;
    for (const MeshPart &part : m_package->parts) {
        GpuPart gpu;
        gl->glGenBuffers(1, &gpu.buffer);
        gl->glBindBuffer(GL_ARRAY_BUFFER, gpu.buffer);
        gl->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(part.vertices.size() * sizeof(MeshVertex)),
                         part.vertices.data(), GL_STATIC_DRAW);
        gpu.count = static_cast<GLsizei>(part.vertices.size());
        gpu.texture = part.texture.isNull() ? 0 : uploadMipmapped(gl, part.texture);
        m_parts.push_back(gpu);
    }
    gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
    m_uploaded = true;
}

bool Sticker3dEffect::ensureTargets(Gl *gl, int width, int height)
{
    if (m_samples < 0) {
        GLint maxSamples = 0;
        gl->glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
        m_samples = std::min(kMaxSamples, static_cast<int>(maxSamples));
        if (m_samples < 2)
            m_samples = 0;
    }
    if (m_colourBuffer && m_targetWidth == width && m_targetHeight == height)
        return true;
    if (!m_colourBuffer) {
        gl->glGenRenderbuffers(1, &m_colourBuffer);
        gl->glGenRenderbuffers(1, &m_depthBuffer);
    }
    gl->glBindRenderbuffer(GL_RENDERBUFFER, m_colourBuffer);
    gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, m_samples, GL_RGBA8, width, height);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
    gl->glRenderbufferStorageMultisample(GL_RENDERBUFFER, m_samples, GL_DEPTH_COMPONENT24, width, height);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, 0);
    m_targetWidth = width;
    m_targetHeight = height;
    return true;
}

GLuint Sticker3dEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    const auto *result = dynamic_cast<const vision::FaceResult *>(frame.tracking[vision::FaceTracking].get());
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *mesh = renderer.program("effects/sticker3d/mesh.frag", {}, "", "effects/sticker3d/mesh.vert");
    ShaderProgram *compose = renderer.program("effects/sticker3d/compose.frag", {}, "");
    if (!result || !m_package || !mesh || !compose || result->width <= 0 || result->height <= 0)
        return 0;
    upload(gl);
    ensureTargets(gl, frame.width, frame.height);

    // The pipeline's framebuffer and vertex array, restored before the compose pass.
    GLint pipelineFramebuffer = 0, pipelineVertexArray = 0;
    gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &pipelineFramebuffer);
    gl->glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &pipelineVertexArray);
    // Framebuffers and vertex arrays belong to one context: made for this pass only.
    GLuint framebuffer = 0, vertexArray = 0;
    gl->glGenFramebuffers(1, &framebuffer);
    gl->glGenVertexArrays(1, &vertexArray);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colourBuffer);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
    const bool complete = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    const GLuint layer = frame.scratch.get(gl, "motion3d.layer", frame.width, frame.height, GL_RGBA8);
    // Only the part of the frame the stickers can cover is cleared, drawn and
    // resolved: most of a frame is far from any head.
    const std::array<int, 4> rect = coveredRect(*m_package, *result, frame.width, frame.height);
    const bool any = rect[2] > rect[0];
    if (complete && any) {
        gl->glViewport(0, 0, frame.width, frame.height);
        gl->glEnable(GL_SCISSOR_TEST);
        gl->glScissor(rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]);
        // glClearBuffer leaves the caller's clear colour and depth alone.
        const GLfloat transparent[4] = {0, 0, 0, 0};
        const GLfloat farthest = 1.0f;
        gl->glDepthMask(GL_TRUE);
        gl->glClearBufferfv(GL_COLOR, 0, transparent);
        gl->glClearBufferfv(GL_DEPTH, 0, &farthest);
        gl->glEnable(GL_DEPTH_TEST);
        gl->glDepthFunc(GL_LESS);
        gl->glDisable(GL_CULL_FACE);
        gl->glBindVertexArray(vertexArray);
        mesh->use(gl);
        mesh->set(gl, "u_texture", 0);
        gl->glActiveTexture(GL_TEXTURE0);
        gl->glBindSampler(0, 0);  // the textures' own mipmap filtering

        // The tracker's camera: f = max(width, height) of the frame it saw,
        // principal point in the middle; rows grow downwards like the output.
        const float rw = static_cast<float>(result->width), rh = static_cast<float>(result->height);
        const float f = std::max(rw, rh);
        mesh->set(gl, "u_focal", 2.0f * f / rw, 2.0f * f / rh);
        mesh->set(gl, "u_depth", (kFar + kNear) / (kFar - kNear), -2.0f * kFar * kNear / (kFar - kNear));
        const GLint rotationLocation = gl->glGetUniformLocation(mesh->id(), "u_rotation");
        for (const vision::Face &face : result->faces) {
            if (!face.pose.valid)
                continue;
            cv::Matx33d r;
            cv::Rodrigues(face.pose.rvec, r);
            GLfloat rows[9];
            for (int i = 0; i < 9; ++i)
                rows[i] = static_cast<GLfloat>(r.val[i]);
            gl->glUniformMatrix3fv(rotationLocation, 1, GL_TRUE, rows);
            mesh->set(gl, "u_translation", static_cast<float>(face.pose.tvec[0]), static_cast<float>(face.pose.tvec[1]),
                      static_cast<float>(face.pose.tvec[2]));
            // The head first, into depth only: what lies behind it is not drawn.
            if (m_package->headProxy) {
                gl->glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
                gl->glBindBuffer(GL_ARRAY_BUFFER, m_proxyBuffer);
                gl->glEnableVertexAttribArray(0);
                gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 3 * sizeof(float), nullptr);
                gl->glDisableVertexAttribArray(1);
                gl->glDisableVertexAttribArray(2);
                // An opaque white texel, so the fragment shader never discards it.
                gl->glBindTexture(GL_TEXTURE_2D, m_white);
                mesh->set(gl, "u_opacity", 1.0f);
                gl->glDrawArrays(GL_TRIANGLES, 0, m_proxyCount);
                gl->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            }
            // Opaque parts, then see-through ones blended without writing depth.
            for (int translucent = 0; translucent < 2; ++translucent) {
                if (translucent) {
                    gl->glEnable(GL_BLEND);
                    gl->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
                    gl->glDepthMask(GL_FALSE);
                }
                for (size_t i = 0; i < m_parts.size(); ++i) {
                    const MeshPart &part = m_package->parts[i];
                    if ((part.opacity < 1.0f) != (translucent == 1))
                        continue;
                    gl->glBindBuffer(GL_ARRAY_BUFFER, m_parts[i].buffer);
                    for (GLuint a = 0; a < 3; ++a)
                        gl->glEnableVertexAttribArray(a);
                    const GLsizei stride = sizeof(MeshVertex);
                    gl->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                                              reinterpret_cast<const void *>(offsetof(MeshVertex, position)));
                    gl->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                                              reinterpret_cast<const void *>(offsetof(MeshVertex, normal)));
                    gl->glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                                              reinterpret_cast<const void *>(offsetof(MeshVertex, uv)));
                    gl->glBindTexture(GL_TEXTURE_2D, m_parts[i].texture ? m_parts[i].texture : m_white);
                    mesh->set(gl, "u_colour", part.colour[0], part.colour[1], part.colour[2]);
                    mesh->set(gl, "u_specular", part.specular);
                    mesh->set(gl, "u_shininess", part.shininess);
                    mesh->set(gl, "u_metallic", part.metallic);
                    mesh->set(gl, "u_opacity", part.opacity);
                    gl->glDrawArrays(GL_TRIANGLES, 0, m_parts[i].count);
                }
            }
            gl->glDisable(GL_BLEND);
            gl->glDepthMask(GL_TRUE);
        }
        for (GLuint a = 0; a < 3; ++a)
            gl->glDisableVertexAttribArray(a);
        gl->glBindBuffer(GL_ARRAY_BUFFER, 0);
        gl->glDisable(GL_DEPTH_TEST);
        // Resolve the samples into the layer texture.
        gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(pipelineFramebuffer));
        gl->glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layer, 0);
        gl->glBlitFramebuffer(rect[0], rect[1], rect[2], rect[3], rect[0], rect[1], rect[2], rect[3],
                              GL_COLOR_BUFFER_BIT, GL_NEAREST);
        gl->glDisable(GL_SCISSOR_TEST);
    } else if (!complete) {
        qWarning() << "Velvix: 3D sticker framebuffer incomplete; sticker skipped";
    }
    gl->glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(pipelineFramebuffer));
    gl->glBindVertexArray(static_cast<GLuint>(pipelineVertexArray));
    gl->glDeleteFramebuffers(1, &framebuffer);
    gl->glDeleteVertexArrays(1, &vertexArray);
    if (!complete)
        return 0;

    const GLuint out = target ? target : frame.scratch.get(gl, "motion3d.out", frame.width, frame.height, GL_RGBA8);
    compose->use(gl);
    renderer.bindTexture(0, GL_TEXTURE_2D, source, sourceLinear);
    renderer.bindTexture(1, GL_TEXTURE_2D, layer, false);
    compose->set(gl, "u_src", 0);
    compose->set(gl, "u_layer", 1);
    compose->set(gl, "u_strength", static_cast<float>(m_value) / 100.0f);
    compose->set(gl, "u_rect", static_cast<float>(rect[0]), static_cast<float>(rect[1]));
    compose->set(gl, "u_rectEnd", static_cast<float>(rect[2]), static_cast<float>(rect[3]));
    renderer.drawTo(out, frame.width, frame.height);
    return out;
}

} // namespace velvix
