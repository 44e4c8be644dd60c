#pragma once
// zlib and gzip helpers on whole byte buffers. Each returns the input itself
// when it is empty, and nothing when the stream cannot be set up or (for the
// inflaters) is damaged or truncated.

#include <cstdint>
#include <optional>
#include <vector>

namespace zvc {

using Bytes = std::vector<std::uint8_t>;

std::optional<Bytes> zlibInflate(const Bytes& data);
std::optional<Bytes> zlibDeflate(const Bytes& data);
// Accepts a gzip or a zlib header.
std::optional<Bytes> gzipInflate(const Bytes& data);
std::optional<Bytes> gzipDeflate(const Bytes& data);

} // namespace zvc
