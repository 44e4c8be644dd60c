#include "ArchiveExtractor.h"

#include <QDebug>

#include <zip.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Entry names and paths are byte strings of the platform's encoding.
QString toQString(const fs::path &path)
{
    return QString::fromLocal8Bit(path.string().c_str());
}

// The resolved target must be the destination itself or lie below it,
// compared component by component so that "/res/sticker2" is not taken for
// a place inside "/res/sticker".
bool isInside(const fs::path &root, const fs::path &candidate)
{
    auto c = candidate.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++c) {
        if (r->empty())
            continue; // a trailing separator on the root
        if (c == candidate.end() || *r != *c)
            return false;
    }
    return true;
}

// A unique, empty folder beside the destination; removed with everything
// left in it when the extraction is over, whichever way it ended.
class StagingFolder
{
public:
    explicit StagingFolder(const fs::path &destination)
    {
        fs::path parent = destination.parent_path();
        if (parent.empty())
            parent = destination;
        std::string pattern =
            (parent / ("." + destination.filename().string() + ".extract-XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()))
            m_path = fs::path(buffer.data());
        else
            m_error = std::strerror(errno);
    }
    ~StagingFolder()
    {
        if (!m_path.empty()) {
            std::error_code ec;
            fs::remove_all(m_path, ec);
        }
    }
    StagingFolder(const StagingFolder &) = delete;
    StagingFolder &operator=(const StagingFolder &) = delete;

    bool ok() const { return !m_path.empty(); }
    const fs::path &path() const { return m_path; }
    QString error() const { return QString::fromLocal8Bit(m_error.c_str()); }

private:
    fs::path m_path;
    std::string m_error;
};

// Moves one staged item to its place; a rename within one file system, a
// copy where the destination is a mount point of its own.
void moveItem(const fs::path &from, const fs::path &to)
{
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec == std::errc::cross_device_link) {
        fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::remove_all(from);
        return;
    }
    if (ec)
        throw fs::filesystem_error("rename", from, to, ec);
}

// Merges the staged tree into the destination: existing folders are entered,
// existing files replaced. A staged item whose place holds something of the
// other kind is skipped, as writing it directly would have failed too.
void moveTree(const fs::path &staged, const fs::path &destination)
{
    for (const fs::directory_entry &item : fs::directory_iterator(staged)) {
        const fs::path target = destination / item.path().filename();
        try {
            std::error_code ec;
            const fs::file_status placed = fs::symlink_status(target, ec);
            const bool stagedIsDir = item.is_directory();
            if (stagedIsDir && fs::is_directory(placed)) {
                moveTree(item.path(), target);
            } else if (stagedIsDir && fs::exists(placed)) {
                qWarning() << "创建目录失败:" << toQString(target);
                qWarning() << "可能原因: 权限不足、路径过长或包含非法字符";
            } else if (!stagedIsDir && fs::is_directory(placed)) {
                qWarning() << "无法创建输出文件:" << toQString(target);
            } else {
                moveItem(item.path(), target);
            }
        } catch (const fs::filesystem_error &e) {
            qCritical() << "目录创建异常:" << e.what();
            qCritical() << "目标路径:" << toQString(target);
        }
    }
}

// Why a name is refused before anything is resolved or created; empty when
// it may be used. Backslashes are never meant as part of a file name here,
// and elsewhere they would be separators that slip past the checks below.
QString unsafeName(const std::string &name, const ArchiveLimits &limits)
{
    if (name.size() > std::size_t(limits.maxNameBytes))
        return QStringLiteral("名称过长 (%1 字节, 上限 %2)").arg(name.size()).arg(limits.maxNameBytes);
    if (name.find('\\') != std::string::npos)
        return QStringLiteral("名称含有反斜杠");
    int components = 0;
    bool inComponent = false;
    for (char c : name) {
        if (c == '/') {
            inComponent = false;
        } else if (!inComponent) {
            inComponent = true;
            if (++components > limits.maxPathComponents)
                return QStringLiteral("路径层级过深 (上限 %1)").arg(limits.maxPathComponents);
        }
    }
    return QString();
}

// Removes staging folders of earlier runs into the same destination that
// never reached their clean-up (the program was killed mid-extraction).
void removeStaleStaging(const fs::path &destination)
{
    const fs::path parent = destination.parent_path();
    const std::string prefix = "." + destination.filename().string() + ".extract-";
    std::error_code ec;
    fs::directory_iterator it(parent, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::error_code statError;
        if (!fs::is_directory(fs::symlink_status(it->path(), statError)))
            continue;
        qDebug() << "清理残留的临时解压目录:" << toQString(it->path());
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

enum class EntryOutcome { Continue, BudgetExceeded };

struct WalkState
{
    zip_t *archive = nullptr;
    fs::path destination;   // as given (joined with entry names for messages)
    fs::path canonicalDest; // resolved once the destination exists
    fs::path staging;
    qint64 budget = 0;      // uncompressed bytes still allowed
    ArchiveLimits limits;
};

// Copies one file entry into the staging tree. Returns false when the
// staged file must be dropped (read or write failure, or more data than the
// entry declared).
bool copyEntry(WalkState &state, zip_file_t *file, const char *name, qint64 declared,
               const fs::path &stagedTarget, const fs::path &shownTarget, bool &overBudget)
{
    std::ofstream out(stagedTarget, std::ios::binary | std::ios::trunc);
    if (!out) {
        qWarning() << "无法创建输出文件:" << toQString(shownTarget);
        return false;
    }
    char buffer[ArchiveExtractor::kCopyBufferSize];
    qint64 written = 0;
    bool keep = true;
    zip_int64_t n = 0;
    while ((n = zip_fread(file, buffer, sizeof buffer)) > 0) {
        if (declared >= 0 && written + n > declared) {
            qWarning() << "ZIP条目数据超出声明大小，停止写入:" << QString::fromLocal8Bit(name)
                       << "声明:" << declared;
            keep = false;
            break;
        }
        if (written + n > state.budget) {
            overBudget = true;
            keep = false;
            break;
        }
        if (!out.write(buffer, static_cast<std::streamsize>(n))) {
            qWarning() << "写入文件数据失败:" << toQString(shownTarget);
            keep = false;
            break;
        }
        written += n;
    }
    if (keep && n < 0) {
        // Corrupt data or a wrong checksum: a truncated resource is worse
        // than a missing one, so the entry is dropped.
        qWarning() << "读取ZIP条目数据失败:" << QString::fromLocal8Bit(name)
                   << zip_error_strerror(zip_file_get_error(file));
        keep = false;
    }
    out.close();
    if (keep && out.fail()) {
        qWarning() << "写入文件数据失败:" << toQString(shownTarget);
        keep = false;
    }
    state.budget -= written;
    return keep;
}

// Walks the missing levels of a directory that could not be created in one
// go and creates them one at a time, so the log names the level that fails.
void createLevelByLevel(const fs::path &stagedTarget, const fs::path &stagingRoot)
{
    std::vector<fs::path> missing;
    for (fs::path level = stagedTarget; !level.empty() && level != stagingRoot
         && level != level.parent_path(); level = level.parent_path()) {
        std::error_code ec;
        if (!fs::exists(level, ec))
            missing.push_back(level);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        qDebug() << "尝试创建:" << toQString(*it);
        std::error_code ec;
        if (!fs::create_directory(*it, ec) && ec) {
            qWarning() << "创建单级目录失败:" << toQString(*it);
            qWarning() << "系统错误:" << QString::fromLocal8Bit(ec.message().c_str());
        }
    }
}

EntryOutcome extractEntry(ArchiveExtractor &extractor, WalkState &state, zip_uint64_t index)
{
    const char *name = zip_get_name(state.archive, index, 0);
    if (!name) {
        qWarning() << "获取ZIP内文件条目信息失败，索引:" << index;
        return EntryOutcome::Continue;
    }
    // Separators are already "/" on this platform; names stay byte strings.
    const std::string normalised(name);
    const QString entryName = QString::fromLocal8Bit(name);
    const QString unsafe = unsafeName(normalised, state.limits);
    if (!unsafe.isEmpty()) {
        qWarning() << "拒绝ZIP条目:" << entryName.left(256) << unsafe;
        return EntryOutcome::Continue;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    qint64 declared = -1;
    if (zip_stat_index(state.archive, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)) {
        declared = static_cast<qint64>(qMin<quint64>(stat.size, quint64(1) << 62));
        // A compression bomb: far more data than any real resource packs into
        // so few bytes. Real resources compress by tens, not thousands.
        const quint64 compressed = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
        const quint64 ratio = quint64(qMax<qint64>(state.limits.maxCompressionRatio, 1));
        // compressed * ratio < size, without the product overflowing.
        if (compressed < stat.size / ratio || (compressed == stat.size / ratio && stat.size % ratio != 0)) {
            qWarning() << "拒绝ZIP条目:" << entryName
                       << QStringLiteral("压缩比超过 %1:1").arg(state.limits.maxCompressionRatio);
            return EntryOutcome::Continue;
        }
    }
    const fs::path target = state.destination / normalised;
    const bool isDirectory = !normalised.empty() && normalised.back() == '/';

    fs::path resolved;
    try {
        resolved = fs::weakly_canonical(target);
    } catch (const fs::filesystem_error &e) {
        qWarning() << "解析路径时发生错误:" << e.what();
        qWarning() << "问题路径:" << toQString(target);
        return EntryOutcome::Continue;
    }

    if (!isInside(state.canonicalDest, resolved)) {
        qCritical() << "检测到ZIP Slip攻击威胁! 跳过条目:" << entryName;
        emit extractor.zipslipThreatDetected(entryName);
        return EntryOutcome::Continue;
    }

    // The staged copy mirrors the resolved place inside the destination, so
    // the later move cannot follow a link out of it.
    fs::path relative = resolved.lexically_relative(state.canonicalDest);
    const fs::path staged = (relative.empty() || relative == ".") ? state.staging
                                                                   : state.staging / relative;

    try {
        if (isDirectory) {
            std::error_code ec;
            const bool created = fs::create_directories(staged, ec);
            const bool placedAlready = fs::is_directory(fs::symlink_status(resolved));
            if (placedAlready || (!created && fs::is_directory(staged))) {
                qDebug() << "目录已存在:" << toQString(target);
            } else if (!created) {
                qWarning() << "创建目录失败:" << toQString(target);
                qWarning() << "可能原因: 权限不足、路径过长或包含非法字符";
                createLevelByLevel(staged, state.staging);
            }
            return EntryOutcome::Continue;
        }

        const fs::path parent = staged.parent_path();
        std::error_code ec;
        if (!fs::exists(parent) && !fs::create_directories(parent, ec)) {
            qWarning() << "创建父目录失败:" << toQString(target.parent_path());
            qWarning() << "错误详情: 权限不足或路径无效";
            return EntryOutcome::Continue;
        }

        zip_file_t *file = zip_fopen_index(state.archive, index, 0);
        if (!file) {
            qWarning() << "无法打开ZIP内的文件进行解压:" << entryName;
            return EntryOutcome::Continue;
        }
        bool overBudget = false;
        const bool keep = copyEntry(state, file, name, declared, staged, target, overBudget);
        zip_fclose(file);
        if (!keep) {
            std::error_code ignored;
            if (!fs::is_directory(staged, ignored))
                fs::remove(staged, ignored);
        }
        return overBudget ? EntryOutcome::BudgetExceeded : EntryOutcome::Continue;
    } catch (const fs::filesystem_error &e) {
        qCritical() << "目录创建异常:" << e.what();
        qCritical() << "目标路径:" << toQString(target);
    }
    return EntryOutcome::Continue;
}

} // namespace

ArchiveExtractor::ArchiveExtractor(QObject *parent)
    : QObject(parent)
{
}

bool ArchiveExtractor::fail(const QString &zipFilePath, const QString &message)
{
    qCritical().noquote() << message;
    emit extractionError(zipFilePath, message);
    return false;
}

bool ArchiveExtractor::extractZip(const QString &zipFilePath, const QString &extractDir)
{
    emit extractionStarted(zipFilePath);

    const QByteArray archivePath = zipFilePath.toUtf8();
    const fs::path destination(extractDir.toUtf8().toStdString());

    int errorCode = 0;
    zip_t *archive = zip_open(archivePath.constData(), 0, &errorCode);
    if (!archive)
        return fail(zipFilePath, QStringLiteral("无法打开ZIP文件 (错误码: %1)").arg(errorCode));

    const zip_int64_t count = zip_get_num_entries(archive, 0);
    if (count < 0) {
        zip_close(archive);
        return fail(zipFilePath, QStringLiteral("获取ZIP文件条目数量失败"));
    }
    if (count > m_limits.maxEntries) {
        zip_discard(archive);
        return fail(zipFilePath, QStringLiteral("ZIP文件条目过多: %1 (上限: %2)")
                                     .arg(count).arg(m_limits.maxEntries));
    }

    // The declared sizes are only claims; they are checked here so that an
    // oversized archive is refused before anything is written, and enforced
    // again while copying.
    std::error_code sizeError;
    const quint64 archiveBytes = fs::file_size(fs::path(archivePath.toStdString()), sizeError);
    quint64 compressedTotal = 0;
    qint64 declaredTotal = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0)
            continue;
        if (stat.valid & ZIP_STAT_COMP_SIZE)
            compressedTotal += qMin<quint64>(stat.comp_size, quint64(1) << 40); // no overflow over 10000 entries
        if (stat.valid & ZIP_STAT_SIZE) {
            const qint64 size = stat.size > quint64(m_limits.maxTotalBytes)
                                    ? m_limits.maxTotalBytes + 1 : qint64(stat.size);
            declaredTotal += size;
            if (declaredTotal > m_limits.maxTotalBytes)
                break;
        }
    }
    // Entries of a sound archive hold separate stretches of it; more
    // compressed data than the file has means entries share their data, the
    // trick that lets a small archive unpack to gigabytes.
    if (!sizeError && compressedTotal > archiveBytes) {
        zip_discard(archive);
        return fail(zipFilePath, QStringLiteral("ZIP条目数据相互重叠，拒绝解压"));
    }
    if (declaredTotal > m_limits.maxTotalBytes) {
        zip_discard(archive);
        return fail(zipFilePath, QStringLiteral("ZIP文件解压后数据过大 (上限: %1 字节)")
                                     .arg(m_limits.maxTotalBytes));
    }

    std::error_code ec;
    const bool destinationExisted = fs::is_directory(destination, ec);
    WalkState state;
    state.archive = archive;
    state.destination = destination;
    state.budget = m_limits.maxTotalBytes;
    state.limits = m_limits;
    if (!destinationExisted)
        fs::create_directories(destination, ec);
    if (!ec)
        state.canonicalDest = fs::canonical(destination, ec);
    if (ec) {
        zip_discard(archive);
        return fail(zipFilePath, QStringLiteral("无法创建解压目录: %1 (%2)")
                                     .arg(extractDir, QString::fromLocal8Bit(ec.message().c_str())));
    }

    // Drops the destination again when this run created it and failed.
    auto removeCreatedDestination = [&] {
        if (!destinationExisted) {
            std::error_code ignored;
            fs::remove(state.canonicalDest, ignored); // only when still empty
        }
    };

    removeStaleStaging(state.canonicalDest);

    bool aborted = false;
    {
        StagingFolder staging(state.canonicalDest);
        if (!staging.ok()) {
            zip_discard(archive);
            removeCreatedDestination();
            return fail(zipFilePath, QStringLiteral("无法创建临时解压目录: %1").arg(staging.error()));
        }
        state.staging = staging.path();

        for (zip_int64_t i = 0; i < count; ++i) {
            if (extractEntry(*this, state, static_cast<zip_uint64_t>(i))
                == EntryOutcome::BudgetExceeded) {
                aborted = true;
                break;
            }
        }

        if (aborted) {
            zip_discard(archive);
        } else if (zip_close(archive) != 0) {
            zip_discard(archive);
            removeCreatedDestination();
            return fail(zipFilePath, QStringLiteral("关闭ZIP档案时发生错误"));
        } else {
            try {
                moveTree(state.staging, state.canonicalDest);
            } catch (const fs::filesystem_error &e) {
                qCritical() << "目录创建异常:" << e.what();
                qCritical() << "目标路径:" << extractDir;
            }
        }
    } // the staging folder goes here, with anything that was not moved

    if (aborted) {
        removeCreatedDestination();
        return fail(zipFilePath, QStringLiteral("ZIP文件解压后数据过大 (上限: %1 字节)")
                                     .arg(m_limits.maxTotalBytes));
    }

    qInfo() << "解压成功完成:" << zipFilePath << "->" << extractDir;
    emit extractionFinished(zipFilePath, extractDir);
    return true;
}
