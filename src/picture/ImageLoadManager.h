#pragma once

#include <QCache>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QPixmap>
#include <QRunnable>
#include <QSet>
#include <QThreadPool>

// Decodes, scales and rounds one thumbnail on the loader's pool. It works on
// a QImage: pixmaps belong to the GUI thread, so the loader turns the result
// into a pixmap when it arrives there.
class ImageLoadTask : public QObject, public QRunnable
{
    Q_OBJECT
public:
    ImageLoadTask(const QString &path, int width, int height);

    void run() override;

    // The picture as the thumbnail shows it; a null image when the file
    // cannot be read. Thread-safe: touches nothing but its arguments.
    static QImage prepare(const QString &path, int width, int height);

signals:
    void taskFinished(QString picture_path, QImage image, int width, int height);

private:
    QString m_path;
    int m_width;
    int m_height;
};

// Process-wide thumbnail loader: a thread pool, a cache of finished
// thumbnails by path and size, and the set of paths being loaded.
class ImageLoadManager : public QObject
{
    Q_OBJECT
public:
    static ImageLoadManager &instance();

    // Answers through the receiver's slot handlePixmapLoaded(QString, QPixmap):
    // a queued call on a cache hit, the pixmapLoaded signal otherwise.
    void loadPixmap(const QString &path, QObject *receiver, int width, int height);

    static QString cacheKey(const QString &path, int width, int height);

    // Introspection for tests and the benchmark.
    bool isCached(const QString &path, int width, int height) const;
    bool isPending(const QString &path) const;
    int startedTaskCount() const { return m_startedTasks; }
    void clearCache();
    bool waitForIdle(int msecs);
    int maxThreadCount() const { return m_pool.maxThreadCount(); }

signals:
    void pixmapLoaded(QString picture_path, QPixmap pixmap);

public slots:
    void handleTaskFinished(QString picture_path, QImage image, int width, int height);

private:
    ImageLoadManager();
    ~ImageLoadManager() override;
    static void destroyInstance();

    QThreadPool m_pool;
    QCache<QString, QPixmap> m_cache;
    QSet<QString> m_pending;
    mutable QMutex m_mutex;
    int m_startedTasks = 0;
};
