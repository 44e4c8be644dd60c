#include "velvix/VelvixDll.h"

namespace velvix {

// Out of line so the record's type information lives in the engine library.
VelvixProperty::~VelvixProperty() = default;

} // namespace velvix
