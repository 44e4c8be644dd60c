#include "effects/handinfo/HandInfoEffect.h"

#include "core/Renderer.h"
#include "core/ShaderProgram.h"
#include "core/TextureRing.h"
#include "vision/HandTracker.h"

#include <QFont>
#include <QPainter>

#include <algorithm>

namespace velvix {

namespace {

// Bones of the hand: the palm's outline, then each finger from its knuckle.
// Colour per finger so crossed fingers stay apart: thumb red, index orange,
// middle yellow, ring green, little blue; the palm white.
struct Bone {
    int a, b;
    int finger;  // 0 palm, 1 thumb .. 5 little
};
constexpr Bone kBones[] = {
    {0, 1, 0}, {0, 5, 0}, {5, 9, 0}, {9, 13, 0}, {13, 17, 0}, {0, 17, 0},
    {1, 2, 1}, {2, 3, 1}, {3, 4, 1},
    {5, 6, 2}, {6, 7, 2}, {7, 8, 2},
    {9, 10, 3}, {10, 11, 3}, {11, 12, 3},
    {13, 14, 4}, {14, 15, 4}, {15, 16, 4},
    {17, 18, 5}, {18, 19, 5}, {19, 20, 5},
};
constexpr float kColours[6][3] = {{1, 1, 1}, {1, 0.25f, 0.25f}, {1, 0.6f, 0.1f},
                                  {1, 0.9f, 0.1f}, {0.3f, 1, 0.3f}, {0.2f, 0.6f, 1}};

// The label of a gesture: its name on a dark rounded plate, premultiplied.
QImage labelImage(vision::Gesture gesture)
{
    const QString text = QString::fromLatin1(vision::gestureName(gesture));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(28);
    font.setBold(true);
    const int width = QFontMetrics(font).horizontalAdvance(text) + 24;
    QImage image(width, 44, QImage::Format_RGBA8888_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 170));
    painter.drawRoundedRect(QRectF(0, 0, width, 44), 10, 10);
    painter.setFont(font);
    painter.setPen(gesture == vision::Gesture::None ? QColor(200, 200, 200) : QColor(88, 235, 111));
    painter.drawText(QRect(0, 0, width, 44), Qt::AlignCenter, text);
    painter.end();
    return image;
}

} // namespace

bool HandInfoEffect::apply(const EffectInfo &, int value, const char *, const QJsonObject &)
{
    m_on = value > 0;
    return true;
}

void HandInfoEffect::release(Gl *gl)
{
    m_overlay.release(gl);
    if (gl) {
        for (GLuint &label : m_labels) {
            if (label)
                gl->glDeleteTextures(1, &label);
        }
    }
    m_labels.fill(0);
}

unsigned HandInfoEffect::trackersNeeded() const
{
    return m_on ? vision::trackerBit(vision::HandTracking) : 0;
}

bool HandInfoEffect::hasPass(const FrameContext &frame) const
{
    if (!m_on)
        return false;
    const auto *hands = dynamic_cast<const vision::HandResult *>(frame.tracking[vision::HandTracking].get());
    return hands && !hands->hands.empty() && hands->width > 0 && hands->height > 0;
}

std::vector<HandInfoEffect::Segment> HandInfoEffect::segmentsFor(const FrameContext &frame) const
{
    std::vector<Segment> segments;
    const auto *result = dynamic_cast<const vision::HandResult *>(frame.tracking[vision::HandTracking].get());
    if (!result || result->width <= 0 || result->height <= 0)
        return segments;
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    for (const vision::Hand &hand : result->hands) {
        const auto at = [&](int k) { return hand.points[static_cast<size_t>(k)]; };
        for (const Bone &bone : kBones) {
            const float *c = kColours[bone.finger];
            segments.push_back({at(bone.a).x * sx, at(bone.a).y * sy, at(bone.b).x * sx, at(bone.b).y * sy, c[0], c[1], c[2]});
        }
        for (int k = 0; k < 21; ++k)
            segments.push_back({at(k).x * sx, at(k).y * sy, at(k).x * sx, at(k).y * sy, 1.0f, 0.2f, 0.3f});
    }
    if (segments.size() > static_cast<size_t>(kMaxSegments))
        segments.resize(kMaxSegments);
    return segments;
}

GLuint HandInfoEffect::runPass(FrameContext &frame, GLuint source, bool sourceLinear, GLuint target)
{
    const std::vector<Segment> segments = segmentsFor(frame);
    Renderer &renderer = frame.renderer;
    Gl *gl = renderer.gl();
    ShaderProgram *sticker = renderer.program("effects/sticker/sticker.frag", {}, "", "effects/sticker/sticker.vert");
    if (!sticker)
        return 0;
    const float lineWidth = std::max(1.5f, static_cast<float>(std::min(frame.width, frame.height)) / 320.0f);
    const GLuint out = m_overlay.draw(frame, source, sourceLinear, target, "handinfo.out", segments, lineWidth);
    if (!out || segments.empty())
        return out;

    // The gesture's name above each hand, as large as the hand allows.
    const auto *result = dynamic_cast<const vision::HandResult *>(frame.tracking[vision::HandTracking].get());
    const float sx = static_cast<float>(frame.width) / static_cast<float>(result->width);
    const float sy = static_cast<float>(frame.height) / static_cast<float>(result->height);
    sticker->use(gl);
    sticker->set(gl, "u_image", 0);
    sticker->set(gl, "u_size", static_cast<float>(frame.width), static_cast<float>(frame.height));
    gl->glEnable(GL_BLEND);
    gl->glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    for (const vision::Hand &hand : result->hands) {
        const size_t g = static_cast<size_t>(hand.gesture);
        if (g >= m_labels.size())
            continue;
        if (!m_labels[g]) {
            if (m_labelImages[g].isNull())
                m_labelImages[g] = labelImage(hand.gesture);
            const QImage &image = m_labelImages[g];
            m_labels[g] = createTexture2D(gl, GL_RGBA8, image.width(), image.height(), GL_RGBA, GL_UNSIGNED_BYTE,
                                          image.constBits());
        }
        const QImage &image = m_labelImages[g];
        const cv::Rect2f box = hand.box();
        const float height = std::clamp(static_cast<float>(frame.height) * 0.05f, 14.0f, 48.0f);
        const float width = height * static_cast<float>(image.width()) / static_cast<float>(image.height());
        const float cx = (box.x + box.width * 0.5f) * sx;
        const float cy = std::max(height * 0.5f, box.y * sy - height * 0.8f);
        renderer.bindTexture(0, GL_TEXTURE_2D, m_labels[g], true);
        sticker->set(gl, "u_centre", cx, cy);
        sticker->set(gl, "u_halfX", width * 0.5f, 0.0f);
        sticker->set(gl, "u_halfY", 0.0f, height * 0.5f);
        gl->glDrawArrays(GL_TRIANGLES, 0, 6);
    }
    gl->glDisable(GL_BLEND);
    return out;
}

} // namespace velvix
