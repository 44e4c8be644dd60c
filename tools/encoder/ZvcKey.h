#pragma once

#include "Compression.h"

#include <string>

namespace zvc {

// The 18-character key text, assembled at run time so it does not sit in the
// binary as one string.
std::string zvcKeyText();

// The cipher key: the first 16 bytes of the key text's UTF-8 encoding.
Bytes zvcKey();

} // namespace zvc
