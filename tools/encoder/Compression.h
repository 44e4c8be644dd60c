#pragma once
// zlib and gzip helpers on whole byte buffers. Each returns the input itself
// when it is empty, and nothing when the stream cannot be set up or (for the
// inflaters) is damaged or truncated.

#include <cstdint>
#include <optional>
#include <vector>

namespace zvc {

using Bytes = std::vector<std::uint8_t>;

// The most an inflater hands back; a panel file is kilobytes, and a stream
// that inflates further is a bomb rather than a configuration.
constexpr std::size_t kMaxInflatedBytes = std::size_t(256) << 20;

// The inflaters give nothing when the output would exceed maxOutput.
std::optional<Bytes> zlibInflate(const Bytes& data, std::size_t maxOutput = kMaxInflatedBytes);
std::optional<Bytes> zlibDeflate(const Bytes& data);
// Accepts a gzip or a zlib header.
std::optional<Bytes> gzipInflate(const Bytes& data, std::size_t maxOutput = kMaxInflatedBytes);
std::optional<Bytes> gzipDeflate(const Bytes& data);

} // namespace zvc
