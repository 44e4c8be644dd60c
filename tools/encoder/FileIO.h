#pragma once

#include "Compression.h"

#include <optional>
#include <string>

namespace zvc {

// Panel files are kilobytes; anything near this is not one, and reading it
// whole would only exhaust memory.
constexpr std::size_t kMaxInputBytes = std::size_t(256) << 20;

// The whole content of a regular file of at most maxBytes, or nothing when
// it cannot be opened or read, is not a regular file (a folder, a FIFO that
// would block, a device that never ends) or is larger.
std::optional<Bytes> readWholeFile(const std::string& path, std::string* error = nullptr,
                                   std::size_t maxBytes = kMaxInputBytes);

// Writes a temporary file in the target's folder, flushes it to disk and
// renames it over the target, so readers see either the old file or the
// complete new one. On failure the target is untouched, the temporary file is
// removed and *error says why.
bool writeFileAtomically(const std::string& path, const Bytes& data, std::string* error = nullptr);

} // namespace zvc
