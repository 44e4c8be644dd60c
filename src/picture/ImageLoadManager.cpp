#include "ImageLoadManager.h"

#include "DIYButton.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPainter>
#include <QPainterPath>
#include <QThread>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace {
ImageLoadManager *g_instance = nullptr;

// Qt's pool and posted-event queue hand work between threads through futexes
// that ThreadSanitizer cannot see in an uninstrumented Qt; tell it about the
// two hand-offs (main -> pool at start, pool -> main at the queued reply).
#if defined(__SANITIZE_THREAD__)
char g_handOff;
void handOffRelease() { __tsan_release(&g_handOff); }
void handOffAcquire() { __tsan_acquire(&g_handOff); }
#else
void handOffRelease() {}
void handOffAcquire() {}
#endif
} // namespace

ImageLoadTask::ImageLoadTask(const QString &path, int width, int height)
    : m_path(path)
    , m_width(width)
    , m_height(height)
{
    setAutoDelete(true);
}

QImage ImageLoadTask::prepare(const QString &path, int width, int height)
{
    QImageReader reader(path);
    QImage image = reader.read();
    if (image.isNull())
        return image;

    // The no-effect picture is transparent; give it a solid dark tile.
    if (QFileInfo(path).fileName() == QLatin1String("none.png") && image.hasAlphaChannel()) {
        QImage backed(image.size(), QImage::Format_ARGB32_Premultiplied);
        backed.fill(QColor(QStringLiteral("#3F3F3F")));
        QPainter p(&backed);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(0, 0, image);
        p.end();
        image = backed;
    }

    if (width > 0 && height > 0) {
        const QImage scaled =
            image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        QImage rounded(width, height, QImage::Format_ARGB32_Premultiplied);
        rounded.fill(Qt::transparent);
        QPainter p(&rounded);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(0, 0, width, height), 6, 6);
        p.setClipPath(clip);
        p.drawImage(0, 0, scaled);
        p.end();
        image = rounded;
    }
    return image;
}

void ImageLoadTask::run()
{
    handOffAcquire();
    const QImage image = prepare(m_path, m_width, m_height);
    if (image.isNull())
        qDebug() << "ImageLoadTask: failed to load" << m_path;
    handOffRelease();
    emit taskFinished(m_path, image, m_width, m_height);
}

ImageLoadManager &ImageLoadManager::instance()
{
    if (!g_instance) {
        g_instance = new ImageLoadManager;
        // Torn down with the application object, while pixmaps can still be
        // freed properly; waits for running tasks first.
        qAddPostRoutine(&ImageLoadManager::destroyInstance);
    }
    return *g_instance;
}

void ImageLoadManager::destroyInstance()
{
    delete g_instance;
    g_instance = nullptr;
}

ImageLoadManager::ImageLoadManager()
{
    m_pool.setMaxThreadCount(2 * QThread::idealThreadCount());
    m_cache.setMaxCost(104857600);
}

ImageLoadManager::~ImageLoadManager()
{
    m_pool.waitForDone();
}

QString ImageLoadManager::cacheKey(const QString &path, int width, int height)
{
    return QStringLiteral("%1_%2_%3").arg(path).arg(width).arg(height);
}

bool ImageLoadManager::isCached(const QString &path, int width, int height) const
{
    return m_cache.contains(cacheKey(path, width, height));
}

bool ImageLoadManager::isPending(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    return m_pending.contains(path);
}

void ImageLoadManager::clearCache()
{
    m_cache.clear();
}

bool ImageLoadManager::waitForIdle(int msecs)
{
    return m_pool.waitForDone(msecs);
}

void ImageLoadManager::loadPixmap(const QString &path, QObject *receiver, int width, int height)
{
    if (!receiver) {
        qDebug() << "ImageLoadManager: no receiver for" << path;
        return;
    }

    if (QPixmap *cached = m_cache.object(cacheKey(path, width, height))) {
        // Queued even on a hit, so the answer never arrives inside the
        // receiver's constructor; a receiver destroyed meanwhile gets nothing.
        if (!QMetaObject::invokeMethod(receiver, "handlePixmapLoaded", Qt::QueuedConnection,
                                       Q_ARG(QString, path), Q_ARG(QPixmap, *cached)))
            qDebug() << "ImageLoadManager: receiver has no handlePixmapLoaded for" << path;
        return;
    }

    auto *button = qobject_cast<DIYButton *>(receiver);
    // A thumbnail connects itself; any other receiver is connected here by
    // name, otherwise its first answer would be lost.
    auto connectReceiver = [&] {
        if (button)
            connect(this, &ImageLoadManager::pixmapLoaded, button, &DIYButton::handlePixmapLoaded,
                    Qt::UniqueConnection);
        else
            connect(this, SIGNAL(pixmapLoaded(QString, QPixmap)), receiver,
                    SLOT(handlePixmapLoaded(QString, QPixmap)), Qt::UniqueConnection);
    };

    QMutexLocker lock(&m_mutex);
    if (!m_pending.contains(path)) {
        m_pending.insert(path);
        lock.unlock();
        if (!button)
            connectReceiver();
        auto *task = new ImageLoadTask(path, width, height);
        connect(task, &ImageLoadTask::taskFinished, this, &ImageLoadManager::handleTaskFinished);
        ++m_startedTasks;
        handOffRelease();
        m_pool.start(task, 0);
        return;
    }
    connectReceiver();
}

void ImageLoadManager::handleTaskFinished(QString picture_path, QImage image, int width, int height)
{
    handOffAcquire();
    QPixmap pixmap;
    if (!image.isNull()) {
        pixmap = QPixmap::fromImage(image);
        m_cache.insert(cacheKey(picture_path, width, height), new QPixmap(pixmap), 1);
    }
    {
        QMutexLocker lock(&m_mutex);
        m_pending.remove(picture_path);
    }
    emit pixmapLoaded(picture_path, pixmap);
}
