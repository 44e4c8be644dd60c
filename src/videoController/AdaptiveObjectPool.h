#pragma once

#include <QDateTime>
#include <QDebug>
#include <QString>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// Snapshot of a pool's state for logs and tests.
struct PoolStatistics
{
    size_t currentSize = 0;
    size_t pooledCount = 0;
    int hits = 0;
    int misses = 0;
    int requests = 0;
    double hitRate = 0.0;
    qint64 adjustInterval = 0;
    QString name;
};

// A pool of reusable records that resizes itself from its hit rate: it grows
// while too many requests find it empty and shrinks again once nearly every
// request is a hit. Records come back last in, first out, so the one that was
// released most recently (still warm in the cache) is handed out next.
template <typename T>
class AdaptiveObjectPool
{
public:
    AdaptiveObjectPool() { preheat(); }

    AdaptiveObjectPool(const AdaptiveObjectPool &) = delete;
    AdaptiveObjectPool &operator=(const AdaptiveObjectPool &) = delete;

    std::shared_ptr<T> acquire()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_requests;
        if (m_pool.empty()) {
            ++m_misses;
            adjustSizeLocked();
            return std::make_shared<T>();
        }
        std::shared_ptr<T> object = std::move(m_pool.back());
        m_pool.pop_back();
        const int hits = ++m_hits;
        if (m_statisticsLogging && hits % 100 == 0) {
            const int requests = m_requests.load();
            qDebug().noquote() << QStringLiteral("[AdaptivePool-%1] Pool hit: %2/%3 (rate: %4%)")
                                      .arg(m_name)
                                      .arg(hits)
                                      .arg(requests)
                                      .arg(QString::number(rateOf(hits, requests) * 100.0, 'f', 1));
        }
        return object;
    }

    void release(std::shared_ptr<T> object)
    {
        if (!object)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pool.size() < m_currentSize)
            m_pool.push_back(std::move(object));
    }

    void preheat()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pool.reserve(m_maxSize);
        for (size_t i = m_pool.size(); i < m_minSize; ++i)
            m_pool.push_back(std::make_shared<T>());
        m_currentSize = m_minSize;
        m_lastAdjustTime = QDateTime::currentMSecsSinceEpoch();
        if (m_statisticsLogging)
            qDebug().noquote()
                << QStringLiteral("[AdaptivePool-%1] Preheated with %2 objects").arg(m_name).arg(m_pool.size());
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pool.clear();
        m_currentSize = m_minSize;
        m_hits = 0;
        m_misses = 0;
        m_requests = 0;
        if (m_statisticsLogging)
            qDebug().noquote() << QStringLiteral("[AdaptivePool-%1] Pool cleared").arg(m_name);
    }

    PoolStatistics statistics() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        PoolStatistics s;
        s.currentSize = m_currentSize;
        s.pooledCount = m_pool.size();
        s.hits = m_hits.load();
        s.misses = m_misses.load();
        s.requests = m_requests.load();
        s.hitRate = rateOf(s.hits, s.requests);
        s.adjustInterval = m_adjustInterval;
        s.name = m_name;
        return s;
    }

    void printStatistics() const
    {
        const PoolStatistics s = statistics();
        size_t minSize, maxSize;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            minSize = m_minSize;
            maxSize = m_maxSize;
        }
        qDebug().noquote() << QStringLiteral("=== Adaptive Pool Statistics [%1] ===").arg(s.name);
        qDebug() << "Current Size:" << s.currentSize;
        qDebug() << "Pooled Objects:" << s.pooledCount;
        qDebug() << "Hit Count:" << s.hits;
        qDebug() << "Miss Count:" << s.misses;
        qDebug() << "Total Requests:" << s.requests;
        qDebug().noquote() << "Hit Rate:" << QString::number(s.hitRate * 100.0, 'f', 2) << "%";
        qDebug() << "Adjust Interval:" << s.adjustInterval << "ms";
        qDebug() << "Min Size:" << minSize;
        qDebug() << "Max Size:" << maxSize;
    }

    void setMinSize(size_t size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_minSize = size;
        if (m_currentSize < size)
            m_currentSize = size;
    }

    void setMaxSize(size_t size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_maxSize = size;
        if (m_currentSize > size)
            m_currentSize = size;
    }

    void setTargetHitRate(double rate)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_targetHitRate = rate;
    }

    void setAdjustInterval(qint64 ms)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_adjustInterval = ms;
    }

    void setStatisticsLogging(bool on)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_statisticsLogging = on;
    }

    void setName(const QString &name)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_name = name;
    }

    size_t minSize() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_minSize;
    }

    size_t maxSize() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_maxSize;
    }

    double targetHitRate() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_targetHitRate;
    }

private:
    static double rateOf(int hits, int requests) { return requests > 0 ? double(hits) / double(requests) : 0.0; }

    // Runs on a miss only, so a pool that keeps up costs nothing here.
    void adjustSizeLocked()
    {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - m_lastAdjustTime < m_adjustInterval)
            return;
        const int requests = m_requests.load();
        if (requests < 50)
            return;
        const double rate = rateOf(m_hits.load(), requests);
        if (rate < m_targetHitRate && m_currentSize < m_maxSize) {
            const size_t grow = std::min<size_t>(m_maxSize - m_currentSize, 5);
            m_currentSize += grow;
            for (size_t i = 0; i < grow; ++i) {
                if (m_pool.size() < m_currentSize)
                    m_pool.push_back(std::make_shared<T>());
            }
            if (m_statisticsLogging)
                qDebug().noquote() << QStringLiteral("[AdaptivePool-%1] Increased size to %2 (hit rate: %3%)")
                                          .arg(m_name)
                                          .arg(m_currentSize)
                                          .arg(QString::number(rate * 100.0, 'f', 1));
        } else if (rate > 0.95 && m_currentSize > m_minSize) {
            m_currentSize -= std::min<size_t>(m_currentSize - m_minSize, 2);
            while (m_pool.size() > m_currentSize)
                m_pool.pop_back();
            if (m_statisticsLogging)
                qDebug().noquote() << QStringLiteral("[AdaptivePool-%1] Decreased size to %2 (hit rate: %3%)")
                                          .arg(m_name)
                                          .arg(m_currentSize)
                                          .arg(QString::number(rate * 100.0, 'f', 1));
        }
        m_hits = 0;
        m_misses = 0;
        m_requests = 0;
        m_lastAdjustTime = now;
    }

    std::vector<std::shared_ptr<T>> m_pool;
    mutable std::mutex m_mutex;
    size_t m_minSize = 5;
    size_t m_maxSize = 50;
    size_t m_currentSize = 5;
    std::atomic<int> m_hits{0};
    std::atomic<int> m_misses{0};
    std::atomic<int> m_requests{0};
    qint64 m_lastAdjustTime = 0;
    qint64 m_adjustInterval = 5000;
    double m_targetHitRate = 0.85;
    bool m_statisticsLogging = false;
    QString m_name = QStringLiteral("UnnamedPool");
};
