#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QSvgWidget;

// The display area's page for "no usable camera": an icon, a title, an
// explanation and a button that asks the window to open the camera guide.
class CameraPermissionPromptWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CameraPermissionPromptWidget(QWidget *parent = nullptr);

    QPushButton *settingsButton() const { return m_settingsButton; }

signals:
    void requestOpenSettings();

private:
    QSvgWidget *m_iconWidget = nullptr;
    QLabel *m_titleLabel = nullptr;
    QLabel *m_descriptionLabel = nullptr;
    QPushButton *m_settingsButton = nullptr;
};
