#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <mutex>

// Turns per-frame timings into a frame rate, an average processing time and a
// three-step performance level; the frame pipeline lowers the strength of
// effects applied while the level is below High.
//
// recordFrame() runs on the capture worker thread, updateStatistics() on the
// thread the monitor lives on (the GUI thread).
class PerformanceMonitor : public QObject
{
    Q_OBJECT
public:
    enum PerformanceLevel { High = 0, Medium = 1, Low = 2 };
    Q_ENUM(PerformanceLevel)

    explicit PerformanceMonitor(QObject *parent = nullptr);

    void recordFrame(qint64 processingTimeMs, qint64 memoryUsage);

    double frameRate() const { return m_frameRate.load(); }
    double averageProcessingTime() const { return m_averageProcessingTime.load(); }
    qint64 memoryUsage() const { return m_memoryUsage.load(); }
    int droppedFrames() const { return m_droppedFrames; }

    // The level a measured interval deserves.
    static PerformanceLevel levelFor(double frameRate, double averageMs);
    // The last level announced by any monitor (High at start).
    static PerformanceLevel lastEmittedLevel();

    static constexpr int kMaxSamples = 100;

signals:
    void performanceChanged(PerformanceMonitor::PerformanceLevel level);

public slots:
    void updateStatistics();

private:
    QTimer m_timer;
    std::atomic<int> m_frameCount{0};
    int m_droppedFrames = 0;

    // The last kMaxSamples processing times, as a ring.
    std::array<qint64, kMaxSamples> m_samples{};
    int m_sampleCount = 0;
    int m_sampleNext = 0;
    mutable std::mutex m_samplesMutex;

    std::atomic<double> m_frameRate{0.0};
    std::atomic<double> m_averageProcessingTime{0.0};
    std::atomic<qint64> m_memoryUsage{0};
    qint64 m_lastUpdateNs = 0;
};
