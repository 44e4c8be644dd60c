#pragma once

#include <QComboBox>
#include <QList>
#include <QSize>

class QButtonGroup;
class QGridLayout;
class QListWidget;
class QListWidgetItem;
class SwitchButton;
class TransparentCoverWidget;

// The pill-shaped camera selector. Its popup lists, from the top: the title
// "设备列表", one row per camera, a separator, the resolution grid, another
// separator and the mirror switch. There are always seven rows besides the
// camera rows, so the cameras shown are count() - 7.
class CameraComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit CameraComboBox(QWidget *parent);
    ~CameraComboBox() override;

    static constexpr int FixedRows = 7;

    void updateDeviceList(const QStringList &names);
    SwitchButton *mirrorSwitch() const { return m_mirrorSwitch; }
    QListWidget *listWidget() const { return m_listWidget; }
    QGridLayout *resolutionGrid() const { return m_resolutionGrid; }
    QButtonGroup *resolutionButtonGroup() const { return m_resolutionButtonGroup; }
    TransparentCoverWidget *coverWidget() const { return m_coverWidget; }
    int gridColumns() const { return m_gridColumns; }
    QStringList cameraNames() const;

    void showPopup() override;

public slots:
    void slotUpdateResolutionButton(QList<QSize> resolutions, int useIndex);

signals:
    void signalClicked();
    void signalSetCameraResolution(QSize res);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyTextWidth(const QString &text);
    void refreshCoverCursor();
    QListWidgetItem *addMarkerRow(int role, int height, Qt::ItemFlags flags);

    int m_leftMargin = 24;
    int m_listPadding = 12;
    int m_spacerHeight = 12;
    int m_resolutionButtonWidth = 75;
    int m_gridVerticalSpacing = 16;
    int m_gridHorizontalSpacing = 10;
    SwitchButton *m_mirrorSwitch = nullptr;
    QListWidget *m_listWidget = nullptr;
    int m_popupOffset = 12;
    QGridLayout *m_resolutionGrid = nullptr;
    int m_gridColumns = 3;
    QButtonGroup *m_resolutionButtonGroup = nullptr;
    QListWidgetItem *m_resolutionItem = nullptr;
    QWidget *m_resolutionContainer = nullptr;
    TransparentCoverWidget *m_coverWidget = nullptr;
};
