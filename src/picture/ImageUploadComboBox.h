#pragma once

#include <QComboBox>
#include <QStringList>

class ImageUpLoadButton;
class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;
class TransparentCoverWidget;

// The picture selector: a pill whose popup offers four demo pictures and the
// upload tile; the chosen picture is handed on with signalLoadImage.
class ImageUploadComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ImageUploadComboBox(QWidget *parent);

    void setUploadEnabled(bool enabled);
    bool isUploadEnabled() const { return m_enabled; }

    QListWidget *listWidget() const { return m_listWidget; }
    ImageUpLoadButton *uploadTile() const { return m_uploadTile; }
    QList<QPushButton *> demoButtons() const { return m_demoButtons; }
    QStringList demoPaths() const { return m_demoPaths; }
    int selectedDemoIndex() const { return m_selectedDemo; }
    QLabel *caption() const { return m_caption; }
    TransparentCoverWidget *coverWidget() const { return m_coverWidget; }

    void showPopup() override;

signals:
    void signalLoadImage(QString imagePath);

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onDemoClicked(int index);
    void onUploaded(const QString &path);

    QListWidget *m_listWidget = nullptr;
    ImageUpLoadButton *m_uploadTile = nullptr;
    int m_popupOffset = 12;
    QStringList m_demoPaths;
    QList<QPushButton *> m_demoButtons;
    QButtonGroup *m_demoGroup = nullptr;
    int m_selectedDemo = -1;
    QLabel *m_caption = nullptr;
    TransparentCoverWidget *m_coverWidget = nullptr;
    bool m_enabled = true;
};
