// The camera selector and the picture selector seen from the window:
// creation, connections 5, 6, 9, 10, 11 and 12 of initConnect, and the small
// operations the display-mode logic performs on them.
#include "MainWindow.h"

#include "CameraComboBox.h"
#include "ImageUploadComboBox.h"
#include "SwitchButton.h"
#include "VideoShowWidget.h"

#include <QDebug>

QWidget *MainWindow::createCameraSelector(QWidget *parent)
{
    m_cameraComboBox = new CameraComboBox(parent);
    return m_cameraComboBox;
}

QWidget *MainWindow::createPictureSelector(QWidget *parent)
{
    m_imageUploadComboBox = new ImageUploadComboBox(parent);
    return m_imageUploadComboBox;
}

void MainWindow::connectSelectors()
{
    connect(&m_cameraController, &CameraController::signalUpdateCameraResolutionButton, m_cameraComboBox,
            &CameraComboBox::slotUpdateResolutionButton);
    connect(m_cameraComboBox, &CameraComboBox::signalSetCameraResolution, &m_cameraController,
            &CameraController::setResolution);
    connect(m_cameraComboBox, &CameraComboBox::signalClicked, this, [this] {
        if (m_cameraController.getCameraList().size() != selectorCameraCount())
            m_cameraComboBox->updateDeviceList(m_cameraController.getCameraList());
    });
    connect(m_cameraComboBox, QOverload<int>::of(&QComboBox::activated), this,
            [this](int index) { activateCameraEntry(index); });
    connect(m_cameraComboBox->mirrorSwitch(), &SwitchButton::signalCheckedStateChange, m_videoShowWidget,
            &VideoShowWidget::slotSetMirrored);
    connect(m_imageUploadComboBox, &ImageUploadComboBox::signalLoadImage, [this](const QString &path) {
        loadPicture(path);
    });
}

void MainWindow::fillCameraSelector(const QStringList &names)
{
    if (m_cameraComboBox)
        m_cameraComboBox->updateDeviceList(names);
}

void MainWindow::selectFirstCameraEntry()
{
    if (m_cameraComboBox && m_cameraComboBox->count() > CameraComboBox::FixedRows)
        m_cameraComboBox->setCurrentIndex(1);
}

bool MainWindow::selectorIndexIsCamera() const
{
    if (!m_cameraComboBox)
        return true;
    const int index = m_cameraComboBox->currentIndex();
    return index > 0 && index <= m_cameraComboBox->count() - CameraComboBox::FixedRows;
}

int MainWindow::selectorCameraCount() const
{
    return m_cameraComboBox ? m_cameraComboBox->count() - CameraComboBox::FixedRows : 0;
}

void MainWindow::enablePictureUpload(const char *logLine)
{
    if (!m_imageUploadComboBox)
        return;
    m_imageUploadComboBox->setUploadEnabled(true);
    if (logLine)
        qDebug() << logLine;
}
