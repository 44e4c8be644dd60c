#pragma once

#include "Compression.h"

#include <optional>
#include <string>

namespace zvc {

// The whole content of a file, or nothing when it cannot be opened or read
// (a directory, for example).
std::optional<Bytes> readWholeFile(const std::string& path, std::string* error = nullptr);

// Writes a temporary file in the target's folder, flushes it to disk and
// renames it over the target, so readers see either the old file or the
// complete new one. On failure the target is untouched, the temporary file is
// removed and *error says why.
bool writeFileAtomically(const std::string& path, const Bytes& data, std::string* error = nullptr);

} // namespace zvc
