// Builds a grid page of 60 thumbnails and reports how long it takes until the
// page is on screen and until every picture has arrived, cold (decoding on
// the loader's pool) and warm (served from the loader's cache).
#include "DIYButton.h"
#include "ImageLoadManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QPainter>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
constexpr int kThumbs = 60;
constexpr int kColumns = 5;
constexpr int kRounds = 5;

QStringList makePictures(const QTemporaryDir &dir, int count, int side)
{
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        QImage img(side, side, QImage::Format_RGB32);
        QPainter p(&img);
        QLinearGradient g(0, 0, side, side);
        g.setColorAt(0, QColor::fromHsv((i * 37) % 360, 160, 230));
        g.setColorAt(1, QColor::fromHsv((i * 37 + 120) % 360, 200, 90));
        p.fillRect(img.rect(), g);
        p.setPen(QPen(Qt::white, side / 40));
        p.drawEllipse(QPoint(side / 2, side / 2), side / 4, side / 3);
        p.end();
        const QString path = dir.filePath(QStringLiteral("thumb_%1.png").arg(i));
        img.save(path);
        paths << path;
    }
    return paths;
}

struct Timing {
    double shownMs;
    double allArrivedMs;
};

Timing buildPage(const QStringList &paths)
{
    QElapsedTimer clock;
    clock.start();
    auto *page = new QWidget;
    page->setStyleSheet(QStringLiteral("background-color: #292929;"));
    auto *grid = new QGridLayout(page);
    int arrived = 0;
    for (int i = 0; i < paths.size(); ++i) {
        auto *b = new DIYButton(QStringLiteral("滤镜%1").arg(i), paths.at(i), 45, 45, page);
        QObject::connect(b, &DIYButton::pictureShown, [&arrived] { ++arrived; });
        grid->addWidget(b, i / kColumns, i % kColumns);
    }
    page->show();
    while (!page->windowHandle() || !page->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents(); // first paint
    const double shown = clock.nsecsElapsed() / 1e6;
    QElapsedTimer guard;
    guard.start();
    while (arrived < paths.size() && guard.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double all = clock.nsecsElapsed() / 1e6;
    if (arrived < paths.size())
        std::fprintf(stderr, "only %d of %d pictures arrived\n", arrived, int(paths.size()));
    delete page;
    return {shown, all};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ImageLoadManager &loader = ImageLoadManager::instance();
    std::printf("bench_panel: %d thumbnails 45x45 from 512x512 PNGs, pool of %d threads\n", kThumbs,
                loader.maxThreadCount());

    std::vector<double> coldShown, coldAll, warmShown, warmAll;
    for (int round = 0; round < kRounds; ++round) {
        QTemporaryDir roundDir(dir.filePath(QStringLiteral("r%1_XXXXXX").arg(round)));
        const QStringList paths = makePictures(roundDir, kThumbs, 512);
        loader.clearCache();
        const Timing cold = buildPage(paths);
        const Timing warm = buildPage(paths);
        coldShown.push_back(cold.shownMs);
        coldAll.push_back(cold.allArrivedMs);
        warmShown.push_back(warm.shownMs);
        warmAll.push_back(warm.allArrivedMs);
    }
    std::printf("cold  page shown: %8.2f ms   all pictures: %8.2f ms   (median of %d)\n",
                median(coldShown), median(coldAll), kRounds);
    std::printf("warm  page shown: %8.2f ms   all pictures: %8.2f ms   (median of %d)\n",
                median(warmShown), median(warmAll), kRounds);
    return 0;
}
