// libFuzzer target for the .zvc decoder: TeaDecrypt, isZipData, zlibInflate.
//
// Random bytes almost never decipher to a valid frame, so besides decoding the
// input as a .zvc file the target also seals the input as a payload and
// decodes that, which hands the fuzzer's bytes to isZipData and zlibInflate
// through the same path the tool takes.

#include "Compression.h"
#include "TeaCipher.h"
#include "ZVCCryptHelper.h"
#include "ZvcKey.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using zvc::Bytes;
using zvc::ZVCCryptHelper;

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "zvc_decode_fuzzer: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const Bytes key = zvc::zvcKey();
    const Bytes input(data, data + size);

    // 1. The input as a .zvc file.
    (void)ZVCCryptHelper::decryptUsingTae(input, key);

    // Tight output buffers: any write past the reported capacity is an
    // AddressSanitizer report.
    {
        Bytes out(size / 2);
        const std::int64_t n = zvc::TeaDecrypt(input.data(), size, key.data(), out.data(), out.size());
        check(n == -1 || (n >= 0 && std::size_t(n) <= out.size()), "TeaDecrypt length out of range");
        std::size_t outLen = out.size();
        if (zvc::vo_symmetry_decrypt(input.data(), size, key.data(), out.data(), &outLen))
            check(outLen <= out.size(), "mode 1 length out of range");
    }

    // 2. The input as a payload, sealed and decoded again.
    const std::optional<Bytes> sealed = ZVCCryptHelper::encryptUsingTea(input, key);
    check(sealed.has_value(), "encryptUsingTea failed");
    check(sealed->size() == zvc::vo_symmetry_encrypt2_len(size), "enciphered length");
    const std::optional<Bytes> opened = ZVCCryptHelper::decryptUsingTae(*sealed, key);
    std::optional<Bytes> expected;
    if (!input.empty())
        expected = ZVCCryptHelper::isZipData(input) ? zvc::zlibInflate(input) : std::optional<Bytes>(input);
    check(opened == expected, "decoded payload differs from the sealed one");

    (void)zvc::gzipInflate(input);
    return 0;
}
