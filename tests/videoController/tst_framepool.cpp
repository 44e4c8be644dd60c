#include "AdaptiveObjectPool.h"
#include "FrameData.h"
#include "PerformanceMonitor.h"

#include <QSignalSpy>
#include <QtTest>

#include <thread>

class TestFramePool : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: the remembered level is one variable for the whole program.
    void firstHighIsNotAnnounced()
    {
        PerformanceMonitor monitor;
        QSignalSpy spy(&monitor, &PerformanceMonitor::performanceChanged);
        for (int i = 0; i < 40; ++i)
            monitor.recordFrame(5, 100);
        QTest::qWait(60);
        monitor.updateStatistics();
        QVERIFY(monitor.frameRate() >= 25.0);
        QCOMPARE(monitor.averageProcessingTime(), 5.0);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(PerformanceMonitor::lastEmittedLevel(), PerformanceMonitor::High);
    }

    void levelThresholds()
    {
        QCOMPARE(PerformanceMonitor::levelFor(25.0, 20.0), PerformanceMonitor::High);
        QCOMPARE(PerformanceMonitor::levelFor(60.0, 20.5), PerformanceMonitor::Medium);
        QCOMPARE(PerformanceMonitor::levelFor(24.9, 1.0), PerformanceMonitor::Medium);
        QCOMPARE(PerformanceMonitor::levelFor(15.0, 40.0), PerformanceMonitor::Medium);
        QCOMPARE(PerformanceMonitor::levelFor(14.9, 1.0), PerformanceMonitor::Low);
        QCOMPARE(PerformanceMonitor::levelFor(60.0, 40.1), PerformanceMonitor::Low);
        QCOMPARE(PerformanceMonitor::levelFor(0.0, 0.0), PerformanceMonitor::Low);
    }

    void slowFramesLowerTheLevelAndAnIdleIntervalRestoresHigh()
    {
        PerformanceMonitor monitor;
        QSignalSpy spy(&monitor, &PerformanceMonitor::performanceChanged);
        for (int i = 0; i < 40; ++i)
            monitor.recordFrame(30, 1); // fast enough, but 30 ms each: Medium
        QTest::qWait(60);
        monitor.updateStatistics();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).value<PerformanceMonitor::PerformanceLevel>(), PerformanceMonitor::Medium);

        for (int i = 0; i < 100; ++i)
            monitor.recordFrame(90, 1);
        QTest::qWait(60);
        monitor.updateStatistics();
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).value<PerformanceMonitor::PerformanceLevel>(), PerformanceMonitor::Low);
        // Only the last 100 samples count.
        QCOMPARE(monitor.averageProcessingTime(), 90.0);

        // No camera frames (picture mode): full strength again, not Low.
        QTest::qWait(20);
        monitor.updateStatistics();
        QCOMPARE(monitor.frameRate(), 0.0);
        QCOMPARE(spy.count(), 3);
        QCOMPARE(spy.at(2).at(0).value<PerformanceMonitor::PerformanceLevel>(), PerformanceMonitor::High);
        QTest::qWait(20);
        monitor.updateStatistics();
        QCOMPARE(spy.count(), 3);
    }

    void idleMonitorStaysHighOnItsTimer()
    {
        PerformanceMonitor monitor;
        QSignalSpy spy(&monitor, &PerformanceMonitor::performanceChanged);
        QTest::qWait(2300); // two ticks of the 1 s timer without frames
        QCOMPARE(spy.count(), 0);
        QCOMPARE(PerformanceMonitor::lastEmittedLevel(), PerformanceMonitor::High);
    }

    void countingFromAnotherThread()
    {
        PerformanceMonitor monitor;
        std::thread worker([&] {
            for (int i = 0; i < 500; ++i)
                monitor.recordFrame(i % 7, 4096);
        });
        for (int i = 0; i < 20; ++i) {
            monitor.updateStatistics();
            QThread::usleep(200);
        }
        worker.join();
        QCOMPARE(monitor.memoryUsage(), qint64(4096));
    }

    void preheatAndDefaults()
    {
        AdaptiveObjectPool<FrameData> pool;
        const PoolStatistics s = pool.statistics();
        QCOMPARE(s.currentSize, size_t(5));
        QCOMPARE(s.pooledCount, size_t(5));
        QCOMPARE(s.name, QStringLiteral("UnnamedPool"));
        QCOMPARE(s.adjustInterval, qint64(5000));
        QCOMPARE(pool.minSize(), size_t(5));
        QCOMPARE(pool.maxSize(), size_t(50));
    }

    void oneRecordCirculates()
    {
        AdaptiveObjectPool<FrameData> pool;
        FrameData *first = nullptr;
        for (int i = 0; i < 300; ++i) {
            std::shared_ptr<FrameData> record = pool.acquire();
            if (!first)
                first = record.get();
            QCOMPARE(record.get(), first); // last in, first out
            pool.release(std::move(record));
        }
        const PoolStatistics s = pool.statistics();
        QCOMPARE(s.hits, 300);
        QCOMPARE(s.misses, 0);
        QCOMPARE(s.hitRate, 1.0);
        QCOMPARE(s.pooledCount, size_t(5));
    }

    void growsByWhatTheMaximumLeaves()
    {
        AdaptiveObjectPool<FrameData> pool;
        pool.setAdjustInterval(0);
        pool.setMaxSize(25);
        pool.setMinSize(23);
        QCOMPARE(pool.statistics().currentSize, size_t(23));

        // 20 hits: 15 reuses of one record, then the other 4 preheated and it.
        for (int i = 0; i < 15; ++i)
            pool.release(pool.acquire());
        std::vector<std::shared_ptr<FrameData>> held;
        for (int i = 0; i < 5; ++i)
            held.push_back(pool.acquire());
        // 29 misses below 50 requests only create records.
        for (int i = 0; i < 29; ++i)
            held.push_back(pool.acquire());
        QCOMPARE(pool.statistics().currentSize, size_t(23));
        QCOMPARE(pool.statistics().requests, 49);
        // The 50th request misses at 40 %: grow by 2 (not 5) and restart counting.
        held.push_back(pool.acquire());
        const PoolStatistics s = pool.statistics();
        QCOMPARE(s.currentSize, size_t(25));
        QCOMPARE(s.pooledCount, size_t(2));
        QCOMPARE(s.requests, 0);

        // Releases beyond the current size are let go.
        for (auto &r : held)
            pool.release(std::move(r));
        QCOMPARE(pool.statistics().pooledCount, size_t(25));
    }

    void shrinksWhenNearlyEveryRequestHits()
    {
        AdaptiveObjectPool<FrameData> pool;
        pool.setAdjustInterval(0);
        pool.setMaxSize(25);
        pool.setMinSize(20);
        pool.setMinSize(5); // lowering the minimum leaves the size at 20
        QCOMPARE(pool.statistics().currentSize, size_t(20));
        std::vector<std::shared_ptr<FrameData>> held;
        for (int i = 0; i < 20; ++i)
            held.push_back(pool.acquire());
        for (auto &r : held)
            pool.release(std::move(r));
        held.clear();
        pool.clear(); // counters reset, size back to the minimum
        QCOMPARE(pool.statistics().currentSize, size_t(5));
        QCOMPARE(pool.statistics().pooledCount, size_t(0));

        pool.setMinSize(18);
        pool.setMinSize(10);
        QCOMPARE(pool.statistics().currentSize, size_t(18));
        // One miss fills the list; then 60 hits and a final miss at 98 %.
        pool.release(pool.acquire());
        for (int i = 0; i < 60; ++i)
            pool.release(pool.acquire());
        held.push_back(pool.acquire());
        held.push_back(pool.acquire()); // list empty now: a miss at 61/63
        const PoolStatistics s = pool.statistics();
        QCOMPARE(s.currentSize, size_t(16));
        QCOMPARE(s.requests, 0);
    }

    void lowerMaximumCapsTheSize()
    {
        AdaptiveObjectPool<FrameData> pool;
        pool.setMaxSize(3);
        QCOMPARE(pool.statistics().currentSize, size_t(3));
        pool.release(nullptr);
        QCOMPARE(pool.statistics().pooledCount, size_t(5));
    }

    void concurrentAcquireRelease()
    {
        AdaptiveObjectPool<FrameData> pool;
        pool.setAdjustInterval(0);
        pool.setMaxSize(25);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&pool] {
                for (int i = 0; i < 2000; ++i) {
                    auto r = pool.acquire();
                    r->width = i;
                    pool.release(std::move(r));
                }
            });
        }
        for (int i = 0; i < 50; ++i)
            (void)pool.statistics();
        for (auto &t : threads)
            t.join();
        QVERIFY(pool.statistics().pooledCount <= 25);
    }
};

QTEST_GUILESS_MAIN(TestFramePool)
#include "tst_framepool.moc"
