#include "PrivateTempDir.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isPrivateFolder(const QByteArray &path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

} // namespace

QString privateTempDir()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    const QString dir = QDir::cleanPath(base + QStringLiteral("/effectdemo-") + QString::number(::geteuid()));
    const QByteArray native = QFile::encodeName(dir);

    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        qWarning().noquote() << "privateTempDir: cannot create" << dir << ':' << std::strerror(errno);
        return QString();
    }
    // An existing entry must be ours and closed to others; a folder someone
    // else made, or a link planted there, is refused.
    if (!isPrivateFolder(native)) {
        qWarning().noquote() << "privateTempDir: refusing" << dir << "(not a private folder of this user)";
        return QString();
    }
    return dir;
}

bool isInPrivateTempDir(const QString &path)
{
    const QString dir = privateTempDir();
    if (dir.isEmpty() || path.isEmpty())
        return false;
    const QFileInfo info(path);
    return QDir::cleanPath(info.absolutePath()) == dir;
}
