#include "FallbackSettings.h"

#include <QDebug>

#include <algorithm>

namespace {

bool isPreferred(QVideoFrame::PixelFormat f)
{
    return f == QVideoFrame::Format_NV12 || f == QVideoFrame::Format_YUV420P;
}

QString formatText(QVideoFrame::PixelFormat f)
{
    QString s;
    QDebug(&s).nospace() << f;
    return s;
}

} // namespace

FallbackSelection selectFallbackSetting(const QList<QCameraViewfinderSettings> &settings)
{
    FallbackSelection out;
    QList<int> seenAreas;
    int preferred = -1;
    // Only every second setting is scanned for preferred formats and sizes.
    for (int i = 0; i < settings.size(); i += 2) {
        const QCameraViewfinderSettings &s = settings.at(i);
        if (preferred < 0 && isPreferred(s.pixelFormat()))
            preferred = i;
        const int area = s.resolution().width() * s.resolution().height();
        if (!seenAreas.contains(area)) {
            seenAreas.append(area);
            out.resolutions.append(s.resolution());
        }
    }

    if (preferred >= 0) {
        out.settingIndex = preferred;
        out.logLine = QStringLiteral("Using preferred camera format: ") + formatText(settings.at(preferred).pixelFormat());
    } else if (!settings.isEmpty()) {
        const QVideoFrame::PixelFormat order[] = {QVideoFrame::Format_NV12,  QVideoFrame::Format_YUV420P,
                                                  QVideoFrame::Format_YUYV,  QVideoFrame::Format_RGB32,
                                                  QVideoFrame::Format_RGB24, QVideoFrame::Format_ARGB32};
        for (QVideoFrame::PixelFormat f : order) {
            for (int i = 0; i < settings.size() && out.settingIndex < 0; ++i) {
                if (settings.at(i).pixelFormat() == f)
                    out.settingIndex = i;
            }
            if (out.settingIndex >= 0) {
                out.logLine = QStringLiteral("Using alternative camera format: ") + formatText(f);
                break;
            }
        }
        if (out.settingIndex < 0) {
            out.settingIndex = 0;
            out.logLine = QStringLiteral("Using first available camera format: ") + formatText(settings.at(0).pixelFormat());
        }
    }

    std::stable_sort(out.resolutions.begin(), out.resolutions.end(), [](const QSize &a, const QSize &b) {
        return a.width() * a.height() > b.width() * b.height();
    });
    if (out.settingIndex >= 0)
        out.selectedIndex = out.resolutions.indexOf(settings.at(out.settingIndex).resolution());
    return out;
}

QCameraViewfinderSettings bestSettingForResolution(const QList<QCameraViewfinderSettings> &settings,
                                                   const QSize &resolution)
{
    QCameraViewfinderSettings best;
    best.setMaximumFrameRate(0);
    for (const QCameraViewfinderSettings &s : settings) {
        if (s.resolution() != resolution)
            continue;
        if (s.maximumFrameRate() > best.maximumFrameRate()
            || (qFuzzyCompare(s.maximumFrameRate() + 1.0, best.maximumFrameRate() + 1.0) && isPreferred(s.pixelFormat())))
            best = s;
    }
    return best;
}
