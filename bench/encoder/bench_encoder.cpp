// Encode and decode throughput of the .zvc cipher on 1 MiB and 16 MiB
// payloads, the way PelorZVCEncoder runs them (without the file system).
// Prints the median of several timed runs in MB/s (10^6 bytes per second,
// counted on the payload).

#include "ZVCCryptHelper.h"
#include "ZvcKey.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using zvc::Bytes;
using zvc::ZVCCryptHelper;

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double medianSeconds(int runs, F&& body)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const Bytes key = zvc::zvcKey();
    std::mt19937 rng(2026);
    std::printf("%-10s %12s %12s\n", "payload", "encode MB/s", "decode MB/s");
    for (std::size_t mib : {1, 16}) {
        Bytes payload(mib << 20);
        for (auto& b : payload)
            b = std::uint8_t(rng());
        payload[0] = '{'; // not a zlib header: decoding copies the payload out as it is

        const int runs = mib == 1 ? 21 : 5;
        std::optional<Bytes> sealed;
        const double enc = medianSeconds(runs, [&] { sealed = ZVCCryptHelper::encryptUsingTea(payload, key); });
        std::optional<Bytes> opened;
        const double dec = medianSeconds(runs, [&] { opened = ZVCCryptHelper::decryptUsingTae(*sealed, key); });
        if (!sealed || !opened || *opened != payload) {
            std::fprintf(stderr, "bench_encoder: round trip failed at %zu MiB\n", mib);
            return EXIT_FAILURE;
        }
        const double mb = double(payload.size()) / 1e6;
        std::printf("%4zu MiB   %12.1f %12.1f\n", mib, mb / enc, mb / dec);
    }
    return EXIT_SUCCESS;
}
