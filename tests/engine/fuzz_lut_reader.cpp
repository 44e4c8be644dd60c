// libFuzzer target for the engine's lookup-table readers: .cube text and
// tiled PNG pictures (through the bounded picture decoder).
//
// Input byte 0 picks the reader (even: .cube, odd: .png); the rest is the
// file. Any table that is accepted must be one the shader can use: sizes
// that match the data, finite entries, finite domains with min < max.

#include "LutFilter.h"

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string g_cube;
std::string g_png;

void quietLog(QtMsgType, const QMessageLogContext &, const QString &) {}

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_lut_reader: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(quietLog);
    const std::string base = "/tmp/effectdemo-lut-fuzz-" + std::to_string(::getpid());
    g_cube = base + ".cube";
    g_png = base + ".png";
    std::atexit([] {
        std::remove(g_cube.c_str());
        std::remove(g_png.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string &path = (data[0] & 1) ? g_png : g_cube;
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    QString error;
    const auto table = velvix::loadLutFile(QString::fromStdString(path), &error);
    if (!table) {
        check(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    check(table->size3d > 0 || table->size1d > 0, "accepted a table without entries");
    check(table->table3d.size() == std::size_t(table->size3d) * table->size3d * table->size3d * 3,
          "3D entries do not match the size");
    check(table->table1d.size() == std::size_t(table->size1d) * 3, "1D entries do not match the size");
    for (float v : table->table3d)
        check(std::isfinite(v), "non-finite 3D entry");
    for (float v : table->table1d)
        check(std::isfinite(v), "non-finite 1D entry");
    for (int i = 0; i < 3; ++i)
        check(std::isfinite(table->domainMin[i]) && std::isfinite(table->domainMax[i] - table->domainMin[i])
                  && table->domainMax[i] > table->domainMin[i],
              "unusable domain");
    return 0;
}
