#pragma once

// The two sequences that check a picture chosen by the user and prepare it
// for the frame pipeline or the engine, and the notice that reports a
// refusal. Both run on the main thread right after the file dialog.

#include "PictureIO.h"

#include <QString>
#include <functional>

class QWidget;

struct PreparedPicture
{
    bool ok = false;
    QString finalPath;
    // Background uploads only: the conversion copy, for the caller to delete
    // once it is no longer the final picture.
    QString intermediatePath;
};

namespace picture {

// Shows a refusal to the user. The default presenter runs the modal notice
// (title "提示", button "我知道了") over the window named "MainWindow";
// tests install their own to read the message without a modal loop.
using NoticePresenter = std::function<void(const QString &message, QWidget *parent, bool centreOnVideo)>;
void setNoticePresenter(NoticePresenter presenter);
void showNotice(const QString &message, QWidget *ownWindow = nullptr, bool centreOnVideo = true);

// The main window: the last top-level widget named "MainWindow".
QWidget *findMainWindow();

// Refusal texts shared by both uploads for a picture beyond the size bound
// and (picture uploads) one that does not decode.
QString tooManyPixelsText();
QString undecodableText();

// The open-file dialog of the upload tiles; tests replace it.
using OpenFileDialog = std::function<QString(QWidget *parent, const QString &caption, const QString &folder,
                                             const QString &filter)>;
void setOpenFileDialog(OpenFileDialog dialog);
QString runOpenFileDialog(QWidget *parent, const QString &caption, const QString &folder, const QString &filter);

// Where a file dialog starts: folder when it still exists, else the user's
// Pictures folder, else home.
QString startFolder(const QString &folder);

} // namespace picture

// The picture to beautify; control is the upload tile (its window parents
// the "图片打开失败" notice).
PreparedPicture prepareUploadPicture(const QString &path, QWidget *control = nullptr);

// A custom background, with the full decode checks. previousIntermediate is
// the conversion copy of the previous upload (deleted when a new one is
// made); it is cleared when deleted.
PreparedPicture prepareBackgroundPicture(const QString &path, QString *previousIntermediate = nullptr);
