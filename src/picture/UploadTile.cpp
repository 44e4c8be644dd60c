#include "UploadTile.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>
#include <QWidget>

namespace uploadtile {

HoverCover makeHoverCover(QWidget *tile, int radius, const QString &darkness, int padding, int spacing)
{
    HoverCover parts;
    parts.cover = new QWidget(tile);
    parts.cover->setObjectName(QStringLiteral("m_maskWidget"));
    parts.cover->setFixedSize(tile->size());
    parts.cover->setStyleSheet(
        QStringLiteral("QWidget#m_maskWidget{ background-color: transparent; border-width:0px; border-radius: %1px; }")
            .arg(radius));
    auto *coverLayout = new QVBoxLayout(parts.cover);
    coverLayout->setContentsMargins(1, 1, 1, 1);
    parts.panel = new QWidget(parts.cover);
    parts.panel->setObjectName(QStringLiteral("grayWidget"));
    parts.panel->setStyleSheet(QStringLiteral("QWidget#grayWidget{ background-color: rgba(0,0,0,%1); border-width:0px; "
                                              "border-radius: %2px; padding:%3px;}")
                                   .arg(darkness)
                                   .arg(radius)
                                   .arg(padding));
    coverLayout->addWidget(parts.panel);
    parts.buttons = new QHBoxLayout(parts.panel);
    parts.buttons->setContentsMargins(4, 4, 4, 4);
    parts.buttons->setSpacing(spacing);
    parts.cover->hide();
    return parts;
}

void showCover(QWidget *cover, bool show)
{
    if (show) {
        cover->show();
        cover->raise();
    } else {
        cover->hide();
    }
}

void paintOutline(QWidget *tile, int radius, const QPen &pen)
{
    QPainter painter(tile);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(tile->rect().x() + 0.5, tile->rect().y() + 0.5, tile->width() - 1, tile->height() - 1),
                        radius, radius);
    painter.setPen(pen);
    painter.drawPath(path);
}

} // namespace uploadtile
