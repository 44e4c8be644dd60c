#pragma once

#include <QCoreApplication>
#include <QString>

// Every shipped file is addressed as the executable's folder followed by a
// fixed relative path beginning with "/".
inline QString appPath(const QString &relative)
{
    return QCoreApplication::applicationDirPath() + relative;
}

inline QString iconPath(const QString &name)
{
    return appPath(QStringLiteral("/beauty_panel/panel_icon/beauty/others/") + name);
}
