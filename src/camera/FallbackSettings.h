#pragma once

#include <QCameraViewfinderSettings>
#include <QList>
#include <QSize>
#include <QString>

// Choices the controller makes over the toolkit camera's viewfinder
// settings, kept free of a live camera so they can be checked directly.

struct FallbackSelection
{
    int settingIndex = -1; // into the settings list; -1 when it is empty
    QList<QSize> resolutions; // offered sizes, largest area first
    int selectedIndex = -1; // of the chosen size in `resolutions`, or -1
    QString logLine; // how the setting was chosen
};

// Opening: preferred formats at the scanned (even) positions, then the
// alternative order over every position, then the first setting.
FallbackSelection selectFallbackSetting(const QList<QCameraViewfinderSettings> &settings);

// Resolution change: among the settings of exactly `resolution`, the highest
// maximum frame rate, NV12/YUV420P winning ties. A setting with a null
// resolution when none matches.
QCameraViewfinderSettings bestSettingForResolution(const QList<QCameraViewfinderSettings> &settings,
                                                   const QSize &resolution);
