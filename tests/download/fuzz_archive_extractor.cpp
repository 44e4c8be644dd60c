// libFuzzer target: feeds archives to ArchiveExtractor in a scratch folder
// and aborts as soon as anything shows up outside the destination.
//
// Input byte 0 picks the form: odd = the rest is taken as a raw archive;
// even = the rest is a recipe for an archive built with libzip (entry names
// assembled from path pieces that like to escape: "../", absolute paths,
// the destination's own name with a suffix), then damaged in a few places
// and optionally given lying size headers. The recipe form reaches the
// entry-handling code far more often than random bytes would.

#include "ArchiveExtractor.h"
#include "ZipTestUtil.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path g_root;    // holds only in.zip and scratch/
fs::path g_scratch; // holds only dest/
fs::path g_dest;
fs::path g_archive;

void quietLog(QtMsgType, const QMessageLogContext &, const QString &) {}

class Reader
{
public:
    Reader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    uint8_t next() { return m_at < m_size ? m_data[m_at++] : 0; }
    bool done() const { return m_at >= m_size; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

QByteArray buildFromRecipe(Reader &in)
{
    const QList<QByteArray> pieces = {
        "a", "b", "/", "../", "..", ".", "./", "//", "dest", "dest2/", "x.txt",
        "\\", "\xe4\xb8\xad", "outside/", " ", "~",
        QByteArray::fromStdString(g_root.string() + "/"),
        QByteArray::fromStdString(g_dest.string() + "/"),
    };
    QList<ZipEntry> entries;
    QList<QPair<QByteArray, quint32>> lies;
    const int count = in.next() % 12;
    for (int i = 0; i < count && !in.done(); ++i) {
        ZipEntry entry;
        const int parts = 1 + in.next() % 6;
        for (int p = 0; p < parts; ++p)
            entry.name += pieces.at(in.next() % pieces.size());
        const uint8_t flags = in.next();
        entry.directory = flags & 1;
        entry.store = flags & 2;
        const int length = in.next() * 8;
        const uint8_t seed = in.next();
        entry.data.resize(length);
        for (int b = 0; b < length; ++b)
            entry.data[b] = char((flags & 8) ? seed : (seed + b * 7) & 0xff);
        if ((flags & 4) && length > 0)
            lies.append({entry.name, quint32(length / 3)});
        entries.append(entry);
    }
    QByteArray archive = buildZip(entries);
    for (const auto &lie : lies)
        archive = withDeclaredSize(archive, lie.first, lie.second);
    const int flips = in.next() % 4;
    for (int i = 0; i < flips && !archive.isEmpty(); ++i) {
        const int at = ((in.next() << 8) | in.next()) % archive.size();
        archive[at] = char(in.next());
    }
    return archive;
}

[[noreturn]] void escaped(const fs::path &path)
{
    std::fprintf(stderr, "written outside the destination: %s\n", path.c_str());
    std::abort();
}

// The only things allowed to exist: root/in.zip, root/scratch,
// root/scratch/dest and real files and folders below it.
void checkContainment()
{
    for (const fs::directory_entry &e : fs::directory_iterator(g_root))
        if (e.path() != g_archive && e.path() != g_scratch)
            escaped(e.path());
    for (const fs::directory_entry &e : fs::directory_iterator(g_scratch))
        if (e.path() != g_dest)
            escaped(e.path()); // also a staging folder that was left behind
    if (fs::exists(g_dest)) {
        for (const fs::directory_entry &e : fs::recursive_directory_iterator(g_dest))
            if (e.is_symlink() || !(e.is_regular_file() || e.is_directory()))
                escaped(e.path());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // EFFECTDEMO_FUZZ_LOG=1 keeps the extractor's log, to see which paths a
    // corpus reaches when replaying it.
    if (qEnvironmentVariableIsEmpty("EFFECTDEMO_FUZZ_LOG"))
        qInstallMessageHandler(quietLog);
    g_root = fs::temp_directory_path() / ("effectdemo-fuzz-" + std::to_string(::getpid()));
    g_scratch = g_root / "scratch";
    g_dest = g_scratch / "dest";
    g_archive = g_root / "in.zip";
    fs::remove_all(g_root);
    fs::create_directories(g_scratch);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(g_root, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    Reader in(data + 1, size - 1);
    const QByteArray archive = (data[0] & 1)
        ? QByteArray(reinterpret_cast<const char *>(data + 1), int(size - 1))
        : buildFromRecipe(in);
    if (!writeFile(QString::fromStdString(g_archive.string()), archive))
        return 0;

    ArchiveExtractor extractor;
    extractor.setLimits({64, 256 * 1024}); // small, so bombs are cheap to find
    // Alternate between an existing and a missing destination.
    if (data[0] & 2)
        fs::create_directories(g_dest);
    extractor.extractZip(QString::fromStdString(g_archive.string()),
                         QString::fromStdString(g_dest.string()));

    checkContainment();
    fs::remove_all(g_dest);
    return 0;
}
