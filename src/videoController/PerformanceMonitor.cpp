#include "PerformanceMonitor.h"

#include <chrono>

namespace {

qint64 steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One remembered level for the whole program, so that a first High is never
// announced.
std::atomic<int> g_lastEmittedLevel{PerformanceMonitor::High};

} // namespace

PerformanceMonitor::PerformanceMonitor(QObject *parent)
    : QObject(parent)
    , m_lastUpdateNs(steadyNowNs())
{
    qRegisterMetaType<PerformanceMonitor::PerformanceLevel>("PerformanceMonitor::PerformanceLevel");
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &PerformanceMonitor::updateStatistics);
    m_timer.start();
}

void PerformanceMonitor::recordFrame(qint64 processingTimeMs, qint64 memoryUsage)
{
    m_frameCount.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(m_samplesMutex);
        m_samples[size_t(m_sampleNext)] = processingTimeMs;
        m_sampleNext = (m_sampleNext + 1) % kMaxSamples;
        if (m_sampleCount < kMaxSamples)
            ++m_sampleCount;
    }
    m_memoryUsage.store(memoryUsage);
}

PerformanceMonitor::PerformanceLevel PerformanceMonitor::levelFor(double frameRate, double averageMs)
{
    if (frameRate >= 25.0 && averageMs <= 20.0)
        return High;
    if (frameRate >= 15.0 && averageMs <= 40.0)
        return Medium;
    return Low;
}

PerformanceMonitor::PerformanceLevel PerformanceMonitor::lastEmittedLevel()
{
    return PerformanceLevel(g_lastEmittedLevel.load());
}

void PerformanceMonitor::updateStatistics()
{
    const qint64 now = steadyNowNs();
    const qint64 elapsedMs = (now - m_lastUpdateNs) / 1000000;
    if (elapsedMs < 1)
        return;

    // exchange() so that frames counted meanwhile on the worker are not lost.
    const int frames = m_frameCount.exchange(0);
    m_frameRate.store(double(frames) * 1000.0 / double(elapsedMs));
    {
        std::lock_guard<std::mutex> lock(m_samplesMutex);
        if (m_sampleCount > 0) {
            qint64 sum = 0;
            for (int i = 0; i < m_sampleCount; ++i)
                sum += m_samples[size_t(i)];
            m_averageProcessingTime.store(double(sum) / double(m_sampleCount));
        }
    }
    m_lastUpdateNs = now;

    // An interval without camera frames says nothing about the machine: a
    // still picture is processed on a timer, and must get full strength.
    const PerformanceLevel level =
        frames == 0 ? High : levelFor(m_frameRate.load(), m_averageProcessingTime.load());
    if (int(level) != g_lastEmittedLevel.load()) {
        g_lastEmittedLevel.store(int(level));
        emit performanceChanged(level);
    }
}
