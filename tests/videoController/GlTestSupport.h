#pragma once

// Shared pieces of the frame pipeline tests: an OpenGL 4.1 core context on an
// offscreen surface (standing in for the display's), a capture of log lines,
// and a worker thread that delivers camera frames the way the capture worker
// does.

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QSharedPointer>
#include <QStringList>
#include <QSurfaceFormat>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

inline void useAppSurfaceFormat()
{
    QSurfaceFormat format;
    format.setVersion(4, 1);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    QSurfaceFormat::setDefaultFormat(format);
}

#define EFFECTDEMO_GL_TEST_MAIN(TestObject)                                                                            \
    int main(int argc, char **argv)                                                                                   \
    {                                                                                                                  \
        useAppSurfaceFormat();                                                                                         \
        QApplication app(argc, argv);                                                                                  \
        TestObject test;                                                                                               \
        return QTest::qExec(&test, argc, argv);                                                                       \
    }

// A context like the display's, current on nothing until asked.
struct DisplayContext
{
    QOffscreenSurface surface;
    QOpenGLContext context;
    DisplayContext()
    {
        surface.setFormat(QSurfaceFormat::defaultFormat());
        surface.create();
        context.setFormat(QSurfaceFormat::defaultFormat());
        context.create();
    }
    bool valid() const { return surface.isValid() && context.isValid(); }
};

// Collects log lines from every thread; a hook may react to a line on the
// thread that logs it. The helpers here use std:: locks and threads, which
// ThreadSanitizer can follow (Qt's futex-based ones it cannot).
class LogCapture
{
public:
    LogCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    int count(const QString &fragment) const
    {
        int n = 0;
        for (const QString &line : lines())
            n += line.contains(fragment) ? 1 : 0;
        return n;
    }
    bool has(const QString &fragment) const { return count(fragment) > 0; }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }
    std::function<void(const QString &)> hook;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        LogCapture *self = s_current;
        if (!self)
            return;
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_lines << message;
        }
        if (self->hook)
            self->hook(message);
        if (qEnvironmentVariableIsSet("EFFECTDEMO_TEST_VERBOSE") && self->m_previous)
            self->m_previous(type, context, message);
    }

    static inline LogCapture *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable std::mutex m_mutex;
    QStringList m_lines;
};

// One tightly packed camera buffer, as the capture worker copies it.
inline QSharedPointer<uchar> makeFrame(size_t bytes, uchar fill = 128)
{
    QSharedPointer<uchar> buffer(new uchar[bytes], [](uchar *p) { delete[] p; });
    std::memset(buffer.data(), fill, bytes);
    return buffer;
}

// Runs a function on a fresh worker thread and waits for it while the GUI
// thread keeps serving events (queued resolution changes need it).
// onMainLoop, when given, runs on the GUI thread at every turn of the wait.
inline void runOnWorker(const std::function<void()> &work, int timeoutMs = 30000,
                        const std::function<void()> &onMainLoop = {})
{
    std::atomic<bool> done{false};
    std::thread thread([&] {
        work();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (onMainLoop)
            onMainLoop();
    }
    thread.join();
}

// Texture ids and sizes emitted by the pipeline, from any thread.
struct RenderRecorder
{
    struct Shown
    {
        int texture, width, height;
    };
    mutable std::mutex mutex;
    std::vector<Shown> shown;
    void record(int texture, int width, int height)
    {
        std::lock_guard<std::mutex> lock(mutex);
        shown.push_back({texture, width, height});
    }
    std::vector<Shown> all() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return shown;
    }
    size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return shown.size();
    }
};
