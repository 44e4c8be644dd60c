// What the two picture-upload tiles (the picture selector's and the custom
// background's) share: the cover shown over an uploaded picture on hover,
// with its row of buttons, and the rounded outline of the tile.
#pragma once

#include <QColor>
#include <QString>

class QHBoxLayout;
class QPen;
class QWidget;

namespace uploadtile {

struct HoverCover {
    QWidget *cover = nullptr;   // the tile's size, transparent, hidden
    QWidget *panel = nullptr;   // the dark rounded panel inside it
    QHBoxLayout *buttons = nullptr;  // the panel's row of buttons
};

// `darkness`: the panel's alpha ("0.7"); radius and padding in pixels.
HoverCover makeHoverCover(QWidget *tile, int radius, const QString &darkness, int padding, int spacing);
// Shows (and raises) or hides the cover.
void showCover(QWidget *cover, bool show);
// The tile's outline: a rounded rectangle half a pixel inside its edge.
void paintOutline(QWidget *tile, int radius, const QPen &pen);

} // namespace uploadtile
