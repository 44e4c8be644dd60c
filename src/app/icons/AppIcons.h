#pragma once

#include <QtGlobal>

// The compiled-in icons (":/icons/...") live in a static library; the linker
// keeps them only when someone references their initialiser, so every widget
// that uses them calls this first. Calling it more than once is harmless.
inline void ensureAppIcons()
{
    Q_INIT_RESOURCE(icons);
}
