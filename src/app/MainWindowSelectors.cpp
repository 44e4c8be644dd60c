// The camera selector and the picture selector seen from the window. Until
// those controls are in the tree the window runs without them: the display
// modes, the camera checks and picture loading all work, only the two combo
// boxes are missing from the control row.
#include "MainWindow.h"

#include <QDebug>

QWidget *MainWindow::createCameraSelector(QWidget *)
{
    return nullptr;
}

QWidget *MainWindow::createPictureSelector(QWidget *)
{
    return nullptr;
}

void MainWindow::connectSelectors() {}

void MainWindow::fillCameraSelector(const QStringList &) {}

void MainWindow::selectFirstCameraEntry() {}

bool MainWindow::selectorIndexIsCamera() const
{
    return true;
}

int MainWindow::selectorCameraCount() const
{
    return 0;
}

void MainWindow::enablePictureUpload(const char *logLine)
{
    if (m_imageUploadComboBox && logLine)
        qDebug() << logLine;
}
