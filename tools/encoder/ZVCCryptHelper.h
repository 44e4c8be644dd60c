#pragma once
// Whole-buffer wrappers over the mode-2 cipher used by PelorZVCEncoder.

#include "Compression.h"

#include <optional>
#include <string>

namespace zvc {

class ZVCCryptHelper {
public:
    ZVCCryptHelper() = delete;

    // A zlib stream at the default level starts with 0x78 0x9C.
    static bool isZipData(const Bytes& data);

    // Only the first 16 key bytes are used; a shorter key gives nothing.
    static std::optional<Bytes> encryptUsingTea(const Bytes& data, const Bytes& key);
    // Nothing when deciphering fails, the payload is empty, or a payload that
    // looks like zlib does not inflate or inflates past kMaxInflatedBytes;
    // *error (when given) then says which.
    static std::optional<Bytes> decryptUsingTae(const Bytes& data, const Bytes& key,
                                                std::string* error = nullptr);
};

} // namespace zvc
