#include "ZVCCryptHelper.h"

#include "TeaCipher.h"

namespace zvc {

bool ZVCCryptHelper::isZipData(const Bytes& data) { return data.size() >= 2 && data[0] == 0x78 && data[1] == 0x9C; }

std::optional<Bytes> ZVCCryptHelper::encryptUsingTea(const Bytes& data, const Bytes& key)
{
    if (key.size() < kKeySize)
        return std::nullopt;
    Bytes out(vo_symmetry_encrypt2_len(data.size()));
    const std::int64_t written = TeaEncrypt(data.data(), data.size(), key.data(), out.data(), out.size());
    if (written <= 0)
        return std::nullopt;
    out.resize(std::size_t(written));
    return out;
}

std::optional<Bytes> ZVCCryptHelper::decryptUsingTae(const Bytes& data, const Bytes& key, std::string* error)
{
    auto failure = [error](const char* why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (key.size() < kKeySize)
        return failure("key too short");
    // The payload is always shorter than the enciphered input.
    Bytes out(data.size());
    const std::int64_t payload = TeaDecrypt(data.data(), data.size(), key.data(), out.data(), out.size());
    if (payload < 0)
        return failure("not a .zvc file (length, padding or tail check failed)");
    if (payload == 0)
        return failure("empty payload");
    out.resize(std::size_t(payload));
    if (!isZipData(out))
        return out;
    std::optional<Bytes> inflated = zlibInflate(out);
    if (!inflated)
        return failure("the zlib payload is damaged or inflates past 256 MiB");
    return inflated;
}

} // namespace zvc
