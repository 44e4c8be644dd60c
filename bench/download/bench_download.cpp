// bench_download: downloads a ~50 MB archive of 2,000 files from a local
// HTTP server and extracts it, printing MB/s for the transfer and for the
// extraction and the peak resident memory of the process during each run.
// The server streams from disk on its own thread, so the memory figure is
// the downloader's: it must stay far below the archive size.
//
// Usage: bench_download [runs=3] [files=2000] [fileKiB=28]

#include "ArchiveExtractor.h"
#include "NetworkManager.h"
#include "TestHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Peak resident set size (VmHWM) in KiB, and resetting it so each phase is
// measured on its own.
long peakRssKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

void resetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// Mostly random (like packed images) with a text-like tail, so the archive
// is about as large as its contents and deflate still has work to do.
QByteArray fileContents(int size, QRandomGenerator &random)
{
    QByteArray data(size, '\0');
    const int randomPart = size / 8 * 7;
    for (int i = 0; i < randomPart; i += 4) {
        const quint32 word = random.generate();
        memcpy(data.data() + i, &word, std::min(4, randomPart - i));
    }
    static const char text[] = "{\"effect\":\"sticker\",\"frame\":0,\"alpha\":0.75} ";
    for (int i = randomPart; i < size; ++i)
        data[i] = text[i % (sizeof text - 1)];
    return data;
}

bool buildArchive(const QString &sourceDir, const QString &zipPath, int files, int fileSize)
{
    QRandomGenerator random(20261209);
    QDir().mkpath(sourceDir);
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(zipPath).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    zip_dir_add(archive, "pack", 0);
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("pack/frames%1/f%2.bin").arg(i / 100).arg(i);
        const QString source = sourceDir + QStringLiteral("/f%1.bin").arg(i);
        QFile out(source);
        if (!out.open(QIODevice::WriteOnly) || out.write(fileContents(fileSize, random)) != fileSize)
            return false;
        out.close();
        // From disk, so building the archive holds no copy in memory either.
        zip_source_t *data = zip_source_file(archive, QFile::encodeName(source).constData(), 0, -1);
        if (!data || zip_file_add(archive, name.toUtf8().constData(), data, 0) < 0)
            return false;
    }
    return zip_close(archive) == 0;
}

struct Figures
{
    double transferMBps = 0, extractMBps = 0, totalSeconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

double seconds(qint64 ns) { return double(ns) / 1e9; }

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const int files = argc > 2 ? std::max(1, atoi(argv[2])) : 2000;
    const int fileSize = (argc > 3 ? std::max(1, atoi(argv[3])) : 28) * 1024;

    QTemporaryDir work;
    const QString zipPath = work.filePath("served.zip");
    QElapsedTimer clock;
    clock.start();
    if (!buildArchive(work.filePath("source"), zipPath, files, fileSize)) {
        std::fprintf(stderr, "could not build the archive\n");
        return 1;
    }
    QDir(work.filePath("source")).removeRecursively();
    const double archiveMB = double(QFileInfo(zipPath).size()) / 1e6;
    const double unpackedMB = double(files) * fileSize / 1e6;
    std::printf("archive: %d files, %.1f MB compressed, %.1f MB unpacked (built in %.1f s)\n",
                files, archiveMB, unpackedMB, clock.elapsed() / 1000.0);

    TestHttpServer server;
    TestHttpServer::Route route;
    route.filePath = zipPath;
    server.setRoute("/pack.zip", route);
    server.setRoute("/pack.bin", route);

    NetworkManager manager;
    manager.setTimeoutMs(120000);
    qint64 startNs = 0, extractStartNs = 0, extractEndNs = 0;
    QElapsedTimer timer;
    QObject::connect(manager.archiveExtractor(), &ArchiveExtractor::extractionStarted,
                     [&] { extractStartNs = timer.nsecsElapsed(); });
    QObject::connect(manager.archiveExtractor(), &ArchiveExtractor::extractionFinished,
                     [&] { extractEndNs = timer.nsecsElapsed(); });
    bool lastOk = false;
    QObject::connect(&manager, &NetworkManager::downloadFinished, [&](bool ok) { lastOk = ok; });

    std::vector<Figures> transferOnly, withExtraction;
    const long baseKiB = peakRssKiB();
    for (int run = 0; run < runs; ++run) {
        const QString dir = work.filePath(QStringLiteral("run%1").arg(run));
        QDir().mkpath(dir);

        // Transfer alone (a suffix other than zip is only stored).
        resetPeakRss();
        const long before = peakRssKiB();
        timer.start();
        manager.downloadFile(server.url("/pack.bin"), dir + "/pack.bin");
        Figures t;
        t.totalSeconds = seconds(timer.nsecsElapsed());
        t.ok = lastOk && QFileInfo(dir + "/pack.bin").size() == QFileInfo(zipPath).size();
        t.transferMBps = archiveMB / t.totalSeconds;
        t.peakKiB = peakRssKiB() - before;
        transferOnly.push_back(t);
        QFile::remove(dir + "/pack.bin");

        // Transfer and extraction, as the panel does it.
        resetPeakRss();
        const long before2 = peakRssKiB();
        timer.start();
        startNs = 0;
        manager.downloadFile(server.url("/pack.zip"), dir + "/pack.zip");
        Figures f;
        f.totalSeconds = seconds(timer.nsecsElapsed());
        f.ok = lastOk && QFileInfo::exists(dir + "/pack/frames0/f0.bin")
               && !QFileInfo::exists(dir + "/pack.zip");
        f.transferMBps = archiveMB / seconds(extractStartNs - startNs);
        f.extractMBps = unpackedMB / seconds(extractEndNs - extractStartNs);
        f.peakKiB = peakRssKiB() - before2;
        withExtraction.push_back(f);
        QDir(dir).removeRecursively();

        std::printf("run %d: transfer only %.1f MB/s (peak +%ld KiB)%s | download+extract: "
                    "transfer %.1f MB/s, extraction %.1f MB/s unpacked, %.2f s total "
                    "(peak +%ld KiB)%s\n",
                    run + 1, t.transferMBps, t.peakKiB, t.ok ? "" : " FAILED", f.transferMBps,
                    f.extractMBps, f.totalSeconds, f.peakKiB, f.ok ? "" : " FAILED");
        if (!t.ok || !f.ok)
            return 1;
    }

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::vector<double> tr, tr2, ex;
    long peak = 0;
    for (const Figures &f : transferOnly) {
        tr.push_back(f.transferMBps);
        peak = std::max(peak, f.peakKiB);
    }
    for (const Figures &f : withExtraction) {
        tr2.push_back(f.transferMBps);
        ex.push_back(f.extractMBps);
        peak = std::max(peak, f.peakKiB);
    }
    std::printf("median: transfer %.1f MB/s (alone) / %.1f MB/s (before extraction), "
                "extraction %.1f MB/s unpacked (%.1f MB/s of archive)\n",
                median(tr), median(tr2), median(ex), median(ex) * archiveMB / unpackedMB);
    std::printf("peak resident memory: process %ld KiB at start, at most +%ld KiB during a run "
                "(archive %.0f MB)\n", baseKiB, peak, archiveMB);
    return 0;
}
