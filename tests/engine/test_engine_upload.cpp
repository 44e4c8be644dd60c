// Camera-frame uploads against a BT.601 reference computed here, plus the
// passthrough of processTexture and the rejection of bad frames.
#include "EngineTestSupport.h"

#include "velvix/VelvixDll.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace enginetest;

namespace {

struct Frame {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bytes;  // width * height * 3 / 2
};

// Pseudo-random planes that cover the whole byte range (also the values
// outside video range, which must clamp).
Frame makeFrame(int width, int height, unsigned seed)
{
    Frame f;
    f.width = width;
    f.height = height;
    f.bytes.resize(static_cast<size_t>(width) * height * 3 / 2);
    unsigned state = seed;
    for (auto &b : f.bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    return f;
}

int clampByte(double v)
{
    return std::min(255, std::max(0, static_cast<int>(std::lround(v))));
}

// Textbook BT.601: limited range with the 1.164 / 1.596 / 0.392 / 0.813 / 2.017
// matrix, full range with 1.402 / 0.344 / 0.714 / 1.772.
QRgb reference(int y, int u, int v, bool limited)
{
    if (limited) {
        const double c = 1.164383 * (y - 16);
        return qRgb(clampByte(c + 1.596027 * (v - 128)),
                    clampByte(c - 0.391762 * (u - 128) - 0.812968 * (v - 128)),
                    clampByte(c + 2.017232 * (u - 128)));
    }
    return qRgb(clampByte(y + 1.402 * (v - 128)),
                clampByte(y - 0.344136 * (u - 128) - 0.714136 * (v - 128)),
                clampByte(y + 1.772 * (u - 128)));
}

QImage referenceI420(const Frame &f, bool limited)
{
    const int w = f.width, h = f.height, cw = w / 2, ch = h / 2;
    const unsigned char *yPlane = f.bytes.data();
    const unsigned char *uPlane = yPlane + w * h;
    const unsigned char *vPlane = uPlane + (w * h) / 4;
    QImage out(w, h, QImage::Format_RGBA8888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cx = std::min(x / 2, cw - 1), cy = std::min(y / 2, ch - 1);
            out.setPixel(x, y, reference(yPlane[y * w + x], uPlane[cy * cw + cx], vPlane[cy * cw + cx], limited));
        }
    return out;
}

QImage referenceNV12(const Frame &f, bool limited)
{
    const int w = f.width, h = f.height, cw = w / 2, ch = h / 2;
    const unsigned char *yPlane = f.bytes.data();
    const unsigned char *uv = yPlane + w * h;
    QImage out(w, h, QImage::Format_RGBA8888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cx = std::min(x / 2, cw - 1), cy = std::min(y / 2, ch - 1);
            const unsigned char *pair = uv + (cy * cw + cx) * 2;
            out.setPixel(x, y, reference(yPlane[y * w + x], pair[0], pair[1], limited));
        }
    return out;
}

} // namespace

class TestEngineUpload : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_env.create());
        QVERIFY(m_env.makeCurrent());
        m_engine = createVelvix("res/", 64, 48);
        QVERIFY(m_engine);
    }

    void cleanupTestCase()
    {
        // Everything the engine made goes with it.
        const Frame frame = makeFrame(64, 48, 5u);
        const int upload = m_engine->I420ToRgbTexture(frame.bytes.data(), 64, 48, 1);
        const int output = m_engine->processTexture(upload, 64, 48);
        QVERIFY(m_engine->applyEffect("beauty.smooth", 50, nullptr, nullptr) > 0);
        QVERIFY(m_engine->processTexture(upload, 64, 48) > 0);
        QVERIFY(m_env.gl->glIsTexture(static_cast<GLuint>(upload)));
        QVERIFY(m_env.gl->glIsTexture(static_cast<GLuint>(output)));
        destroyVelvix(&m_engine);
        QVERIFY(m_engine == nullptr);
        QVERIFY(!m_env.gl->glIsTexture(static_cast<GLuint>(upload)));
        QVERIFY(!m_env.gl->glIsTexture(static_cast<GLuint>(output)));
        destroyVelvix(&m_engine);  // null holder content is ignored
        destroyVelvix(nullptr);
    }

    void uploadsMatchReference_data()
    {
        QTest::addColumn<bool>("nv12");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("flag");
        QTest::newRow("I420 64x48 limited") << false << 64 << 48 << 1;
        QTest::newRow("I420 33x17 odd size") << false << 33 << 17 << 1;
        QTest::newRow("I420 full range") << false << 64 << 48 << 0;
        QTest::newRow("NV12 64x48 limited") << true << 64 << 48 << 1;
        QTest::newRow("NV12 35x19 odd size") << true << 35 << 19 << 1;
        QTest::newRow("NV12 full range") << true << 64 << 48 << 0;
        // Large frames: the block each pixel reads must hold to the last column.
        QTest::newRow("I420 1281x721 odd HD") << false << 1281 << 721 << 1;
        QTest::newRow("NV12 1920x1080") << true << 1920 << 1080 << 1;
    }

    void uploadsMatchReference()
    {
        QFETCH(bool, nv12);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, flag);
        const Frame frame = makeFrame(width, height, 1234u + static_cast<unsigned>(width));
        const int texture = nv12 ? m_engine->NV12ToRgbTexture(frame.bytes.data(), width, height, flag)
                                 : m_engine->I420ToRgbTexture(frame.bytes.data(), width, height, flag);
        QVERIFY(texture > 0);
        const QImage got = readTexture(m_env.gl, static_cast<GLuint>(texture), width, height);
        const QImage want = nv12 ? referenceNV12(frame, flag & 1) : referenceI420(frame, flag & 1);
        QVERIFY2(maxDifference(got, want) <= 2, qPrintable(QString::number(maxDifference(got, want))));
    }

    void processTextureWithoutEffectsIsPassthrough()
    {
        const QImage picture = syntheticPicture(64, 48);
        const GLuint input = uploadTexture(m_env.gl, picture);
        const int output = m_engine->processTexture(static_cast<int>(input), 64, 48);
        QVERIFY(output > 0);
        QVERIFY(output != static_cast<int>(input));
        QVERIFY(maxDifference(readTexture(m_env.gl, static_cast<GLuint>(output), 64, 48), picture) <= 1);
        m_env.gl->glDeleteTextures(1, &input);
    }

    void consecutiveOutputsUseDifferentTextures()
    {
        // The display may still draw the previous texture while the next is made.
        const Frame frame = makeFrame(64, 48, 7u);
        const int a = m_engine->I420ToRgbTexture(frame.bytes.data(), 64, 48, 1);
        const int b = m_engine->I420ToRgbTexture(frame.bytes.data(), 64, 48, 1);
        QVERIFY(a > 0 && b > 0 && a != b);
        const int p = m_engine->processTexture(a, 64, 48);
        const int q = m_engine->processTexture(b, 64, 48);
        QVERIFY(p > 0 && q > 0 && p != q);
    }

    void outputPassedBackAsInputIsNotOverwritten()
    {
        // Re-processing an earlier output (here the one whose ring slot is
        // next) must read it, not render into it.
        const QImage picture = syntheticPicture(64, 48);
        const GLuint input = uploadTexture(m_env.gl, picture);
        std::vector<int> outputs;
        for (int i = 0; i < 4; ++i)
            outputs.push_back(m_engine->processTexture(static_cast<int>(input), 64, 48));
        for (int i = 0; i < 6; ++i) {
            const int again = m_engine->processTexture(outputs[outputs.size() - 4], 64, 48);
            QVERIFY(again > 0 && again != outputs[outputs.size() - 4]);
            outputs.push_back(again);
        }
        QVERIFY(maxDifference(readTexture(m_env.gl, static_cast<GLuint>(outputs.back()), 64, 48), picture) <= 1);
        m_env.gl->glDeleteTextures(1, &input);
    }

    void badFramesAreRejected()
    {
        const Frame frame = makeFrame(64, 48, 9u);
        QCOMPARE(m_engine->I420ToRgbTexture(nullptr, 64, 48, 1), 0);
        QCOMPARE(m_engine->NV12ToRgbTexture(nullptr, 64, 48, 1), 0);
        QCOMPARE(m_engine->I420ToRgbTexture(frame.bytes.data(), 0, 48, 1), 0);
        QCOMPARE(m_engine->I420ToRgbTexture(frame.bytes.data(), 64, -2, 1), 0);
        QCOMPARE(m_engine->NV12ToRgbTexture(frame.bytes.data(), 1, 1, 1), 0);
        QCOMPARE(m_engine->I420ToRgbTexture(frame.bytes.data(), 100000, 2, 1), 0);
        QCOMPARE(m_engine->processTexture(0, 64, 48), 0);
        QCOMPARE(m_engine->processTexture(-5, 64, 48), 0);
        QCOMPARE(m_engine->processTexture(987654, 64, 48), 0);  // not a texture
        const int ok = m_engine->I420ToRgbTexture(frame.bytes.data(), 64, 48, 1);
        QVERIFY(ok > 0);
        QCOMPARE(m_engine->processTexture(ok, 0, 48), 0);
        // Still working afterwards.
        QVERIFY(m_engine->processTexture(ok, 64, 48) > 0);
    }

    void threadWithoutContextUsesTheEnginesOwn()
    {
        // With no context current the engine makes one of its own, sharing
        // with the creating context; its results are usable there.
        const Frame frame = makeFrame(64, 48, 11u);
        m_env.doneCurrent();
        const int rgb = m_engine->I420ToRgbTexture(frame.bytes.data(), 64, 48, 1);
        const int out = rgb > 0 ? m_engine->processTexture(rgb, 64, 48) : 0;
        QVERIFY(QOpenGLContext::currentContext() == nullptr);  // not left current
        QVERIFY(createVelvix("res/", 64, 48) == nullptr);      // creation still needs one
        QVERIFY(m_env.makeCurrent());
        QVERIFY(rgb > 0 && out > 0);
        const int again = m_engine->processTexture(out, 64, 48);
        QVERIFY(again > 0);
        const QImage got = readTexture(m_env.gl, static_cast<GLuint>(again), 64, 48);
        QVERIFY(maxDifference(got, referenceI420(frame, true)) <= 2);
    }

    void createRejectsBadSizes()
    {
        QVERIFY(createVelvix("res/", 0, 720) == nullptr);
        QVERIFY(createVelvix("res/", 1280, -1) == nullptr);
        QVERIFY(createVelvix(nullptr, 99999, 720) == nullptr);
    }

    void resizeOutputFollowsNewSize()
    {
        const QImage picture = syntheticPicture(96, 40);
        const GLuint input = uploadTexture(m_env.gl, picture);
        const int before = m_engine->processTexture(static_cast<int>(input), 96, 40);
        QVERIFY(before > 0);
        QCOMPARE(m_engine->resizeOutput(0, 10), 0);
        QCOMPARE(m_engine->resizeOutput(96, 40), 1);
        // Old-size outputs are released at once.
        QVERIFY(!m_env.gl->glIsTexture(static_cast<GLuint>(before)));
        const int out = m_engine->processTexture(static_cast<int>(input), 96, 40);
        QVERIFY(out > 0);
        GLint w = 0, h = 0;
        m_env.gl->glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(out));
        m_env.gl->glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        m_env.gl->glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        QCOMPARE(w, 96);
        QCOMPARE(h, 40);
        QVERIFY(maxDifference(readTexture(m_env.gl, static_cast<GLuint>(out), 96, 40), picture) <= 1);
        QCOMPARE(m_engine->resizeOutput(64, 48), 1);
        m_env.gl->glDeleteTextures(1, &input);
    }

    void callersFramebufferIsLeftAlone()
    {
        // The display widget draws into a framebuffer of its own; no engine
        // operation may change its binding or its attachment.
        Gl *gl = m_env.gl;
        GLuint target = 0, fbo = 0;
        gl->glGenTextures(1, &target);
        gl->glBindTexture(GL_TEXTURE_2D, target);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 32, 32, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        gl->glGenFramebuffers(1, &fbo);
        gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
        QCOMPARE(gl->glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));

        auto expectIntact = [&](const char *after) {
            GLint bound = 0, attached = 0;
            gl->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
            gl->glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                                      GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
            QVERIFY2(GLuint(bound) == fbo, after);
            QVERIFY2(GLuint(attached) == target, after);
        };
        const Frame frame = makeFrame(64, 48, 9u);
        const int upload = m_engine->NV12ToRgbTexture(frame.bytes.data(), 64, 48, 1);
        expectIntact("upload");
        QVERIFY(m_engine->processTexture(upload, 64, 48) > 0);
        expectIntact("processTexture");
        QCOMPARE(m_engine->resizeOutput(80, 60), 1);
        expectIntact("resizeOutput");
        QCOMPARE(m_engine->resizeOutput(64, 48), 1);
        m_engine->applyEffect("beauty.smooth", 40, nullptr, nullptr);
        expectIntact("applyEffect");
        m_engine->clearAllEffects();
        expectIntact("clearAllEffects");

        gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gl->glDeleteFramebuffers(1, &fbo);
        gl->glDeleteTextures(1, &target);
    }

private:
    GlEnvironment m_env;
    velvix::Velvix *m_engine = nullptr;
};

QTEST_MAIN(TestEngineUpload)
#include "test_engine_upload.moc"
