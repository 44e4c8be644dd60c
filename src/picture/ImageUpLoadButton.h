#pragma once

#include <QString>
#include <QWidget>

class QPushButton;
class TransparentButton;

// The upload tile of the picture selector: an add tile until a picture is
// uploaded, then the picture (checkable) with re-upload and cancel on hover.
class ImageUpLoadButton : public QWidget
{
    Q_OBJECT
public:
    explicit ImageUpLoadButton(QWidget *parent);

    bool hasPicture() const { return m_hasPicture; }
    QString chosenPath() const { return m_chosenPath; }
    QString preparedPath() const { return m_preparedPath; }
    bool isHovered() const { return m_hovered; }
    TransparentButton *addTile() const { return m_addTile; }
    QPushButton *imageButton() const { return m_imageButton; }
    QWidget *maskWidget() const { return m_mask; }
    QPushButton *reuploadButton() const { return m_reuploadButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }

    // The start folder shared by every picture upload of the process.
    static QString lastFolder();
    static void setLastFolder(const QString &folder);

public slots:
    void upload();
    void cancelUpload();

signals:
    void signalUpLoadCustomImage(QString imagePath);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void onImageClicked();

    TransparentButton *m_addTile = nullptr;
    QPushButton *m_imageButton = nullptr;
    QWidget *m_mask = nullptr;
    QPushButton *m_reuploadButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    bool m_hasPicture = false;
    QString m_chosenPath;
    QString m_preparedPath;
    bool m_hovered = false;
};
