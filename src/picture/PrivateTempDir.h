#pragma once

#include <QString>

// A folder only the current user can enter (mode 0700, owned by us, not a
// link), under $XDG_RUNTIME_DIR when set, else the temporary location. Files
// the program writes for its own use (normalised pictures, mirrored custom
// backgrounds) go there, so a description file can never point the program at
// a file of someone else's to replace or delete. Created on first use; an
// empty result means no such folder could be made (logged).
QString privateTempDir();

// True when path names an entry directly inside privateTempDir().
bool isInPrivateTempDir(const QString &path);
