#pragma once

#include "MainWindow.h"
#include "TestCameraPlatform.h"
#include "VideoShowWidget.h"

#include <QImage>
#include <QMutex>
#include <QStringList>
#include <QtTest>

#include <cmath>

// Log lines of the code under test, for the assertions that a user-flow line
// was written (several of them are the only visible trace of a decision).
class LogCapture
{
public:
    static LogCapture &instance()
    {
        static LogCapture capture;
        return capture;
    }
    void install() { m_previous = qInstallMessageHandler(&LogCapture::handler); }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
    }
    bool contains(const QString &text) const
    {
        QMutexLocker lock(&m_mutex);
        for (const QString &line : m_lines)
            if (line.contains(text))
                return true;
        return false;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        {
            QMutexLocker lock(&instance().m_mutex);
            instance().m_lines.append(message);
        }
        if (type != QtDebugMsg && instance().m_previous)
            instance().m_previous(type, context, message);
    }
    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

// What the view shows now, as the user sees it.
inline QImage viewPixels(MainWindow &window)
{
    return window.videoShowWidget()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

inline double meanLuma(const QImage &image)
{
    double sum = 0;
    for (int y = 0; y < image.height(); y += 2) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += 2)
            sum += qGray(row[x]);
    }
    return sum / (double((image.height() + 1) / 2) * ((image.width() + 1) / 2));
}

inline double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 255.0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *ra = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qRed(ra[x]) - qRed(rb[x])) + std::abs(qGreen(ra[x]) - qGreen(rb[x])) +
                   std::abs(qBlue(ra[x]) - qBlue(rb[x]));
    }
    return sum / (3.0 * a.width() * a.height());
}

inline bool waitForFrames(MainWindow &window, int timeoutMs = 15000)
{
    return QTest::qWaitFor([&] { return window.videoShowWidget()->textureId() != 0; }, timeoutMs);
}
