#pragma once

#include <QString>
#include <QWidget>

class QPushButton;
class TransparentButton;

// The custom-background slot of the segmentation page: an add tile until a
// picture is uploaded, then the picture with re-upload and delete on hover.
// The start folder of its dialog persists across runs.
class SegmentationButton : public QWidget
{
    Q_OBJECT
public:
    SegmentationButton(const QString &imagePath, QWidget *parent);
    ~SegmentationButton() override;

    bool hasPicture() const { return m_hasPicture; }
    QString currentPath() const { return m_currentPath; }
    QString lastFolder() const { return m_lastFolder; }
    QString intermediatePath() const { return m_intermediatePath; }
    TransparentButton *addTile() const { return m_addTile; }
    QPushButton *imageButton() const { return m_imageButton; }
    QWidget *maskWidget() const { return m_mask; }
    QPushButton *reuploadButton() const { return m_reuploadButton; }
    QPushButton *deleteButton() const { return m_deleteButton; }

public slots:
    void upload();
    void deletePicture();

signals:
    void signalUpLoadCustomImage(QString imagePath);
    void signalCancelCustomImage();

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void forgetIntermediate();

    TransparentButton *m_addTile = nullptr;
    QPushButton *m_imageButton = nullptr;
    QWidget *m_mask = nullptr;
    QPushButton *m_reuploadButton = nullptr;
    QPushButton *m_deleteButton = nullptr;
    bool m_hasPicture = false;
    QString m_currentPath;
    QString m_lastFolder;
    QString m_intermediatePath;
};
