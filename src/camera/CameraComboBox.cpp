#include "CameraComboBox.h"

#include "AppIcons.h"
#include "CameraPermission.h"
#include "ComboBoxDelegate.h"
#include "HighLightButton.h"
#include "MoreComboBox.h"
#include "SwitchButton.h"
#include "TransparentCoverWidget.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

const char *const kFaceColour = "color:rgba(255,255,255,0.9) !important; ";
const char *const kDisabledBlock =
    "QComboBox:disabled{ color:rgba(255,255,255,0.6) !important; background-color:rgba(255,255,255,0.08); }";

QString comboStyle()
{
    return QStringLiteral(
        "QComboBox{ color:rgba(255,255,255,0.9) !important; border-style:none; background-color:rgba(255,255,255,0.14); "
        "border-width:0px; border-radius:14px; padding-left:12px; font-family: \"Microsoft YaHei\";font-size: 14px;"
        "font-weight: 400; }"
        "QComboBox:disabled{ color:rgba(255,255,255,0.6) !important; background-color:rgba(255,255,255,0.08); }"
        "QComboBox::drop-down{ background:transparent; border:none; margin-right:12px; width:16px; height:28px; }"
        "QComboBox::down-arrow{ width:10px; height:6px; image:url(:/icons/combobox_arrow_down.svg); }"
        "QComboBox::down-arrow:on { width:10px; height:6px; image:url(:/icons/combobox_arrow_up.svg); }"
        "QComboBox QScrollBar{ width: 0px; height: 0px; }");
}

QFont captionFont()
{
    QFont font(QStringLiteral("Microsoft YaHei"));
    font.setStyle(QFont::StyleNormal);
    font.setWeight(50);
    font.setPixelSize(12);
    return font;
}

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(captionFont());
    label->setStyleSheet(QStringLiteral("QLabel{ color: rgba(255, 255, 255, 0.9); }"));
    return label;
}

void whiteFaceText(QLineEdit *edit)
{
    QPalette palette = edit->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Text, QColor(255, 255, 255, 230));
    edit->setPalette(palette);
}

} // namespace

CameraComboBox::CameraComboBox(QWidget *parent) : QComboBox(parent)
{
    ensureAppIcons();
    setFixedHeight(28);
    setFixedWidth(100);
    setStyleSheet(comboStyle());

    setEditable(true);
    lineEdit()->setFixedHeight(28);
    lineEdit()->setText(tr("选择设备"));
    lineEdit()->setFont(QFont(QStringLiteral("Microsoft YaHei")));
    lineEdit()->setReadOnly(true);
    lineEdit()->setFocusPolicy(Qt::NoFocus);
    lineEdit()->setStyleSheet(QStringLiteral(
        "QLineEdit{ color:rgba(255,255,255,0.9); background:transparent; border:none; }"
        "QLineEdit:disabled{ color:rgba(255,255,255,0.6); background:transparent; }"));
    lineEdit()->installEventFilter(this);

    m_listWidget = new QListWidget(this);
    m_listWidget->setStyleSheet(QStringLiteral(
        "QListWidget { padding:12px; background-color:rgba(41,41,41,1); border-radius:6px; }"));
    m_listWidget->setFixedWidth(295);
    m_listWidget->setCursor(Qt::PointingHandCursor);
    setModel(m_listWidget->model());
    setView(m_listWidget);
    setItemDelegate(new ComboBoxDelegate(this));
    // Every row stays visible: the popup never scrolls.
    setMaxVisibleItems(64);

    QWidget *popup = view()->window();
    popup->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    popup->setAttribute(Qt::WA_TranslucentBackground);
    QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);

    const int listWidth = m_listWidget->width();

    // Row 0: the title.
    auto *title = captionLabel(tr("设备列表"), nullptr);
    title->setContentsMargins(m_leftMargin, 0, 0, 8);
    title->setFixedHeight(26);
    auto *titleItem = new QListWidgetItem(m_listWidget);
    titleItem->setData(ComboBoxDelegate::TitleRole, QString());
    titleItem->setFlags(Qt::NoItemFlags);
    titleItem->setSizeHint(title->sizeHint());
    m_listWidget->setItemWidget(titleItem, title);

    addMarkerRow(ComboBoxDelegate::SeparatorRole, 1, Qt::NoItemFlags);
    addMarkerRow(ComboBoxDelegate::SpacerRole, m_spacerHeight, Qt::NoItemFlags);

    // The resolution block: a caption over the grid of buttons.
    m_resolutionContainer = new QWidget(this);
    auto *block = new QVBoxLayout(m_resolutionContainer);
    block->setContentsMargins(0, 0, 0, 0);
    block->setSpacing(8);
    auto *resolutionTitle = captionLabel(tr("分辨率"), m_resolutionContainer);
    resolutionTitle->setContentsMargins(m_leftMargin, 0, 0, 0);
    resolutionTitle->setFixedHeight(18);
    block->addWidget(resolutionTitle);
    auto *gridHost = new QWidget(m_resolutionContainer);
    gridHost->setFixedWidth(listWidth);
    m_resolutionGrid = new QGridLayout(gridHost);
    m_resolutionGrid->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_resolutionGrid->setContentsMargins(m_leftMargin, 0, 0, m_spacerHeight);
    m_resolutionGrid->setHorizontalSpacing(m_gridHorizontalSpacing);
    m_resolutionGrid->setVerticalSpacing(m_gridVerticalSpacing);
    block->addWidget(gridHost);

    const int available = listWidth - (2 * m_listPadding + m_leftMargin);
    const int step = m_resolutionButtonWidth + m_gridHorizontalSpacing;
    m_gridColumns = available / step;
    if (available >= m_gridColumns * step + m_resolutionButtonWidth)
        ++m_gridColumns;

    m_resolutionContainer->adjustSize();
    m_resolutionItem = addMarkerRow(ComboBoxDelegate::WidgetRole, 0, Qt::ItemIsEnabled);
    m_resolutionItem->setSizeHint(m_resolutionContainer->size());
    m_listWidget->setItemWidget(m_resolutionItem, m_resolutionContainer);

    addMarkerRow(ComboBoxDelegate::SeparatorRole, 1, Qt::NoItemFlags);
    addMarkerRow(ComboBoxDelegate::SpacerRole, m_spacerHeight, Qt::NoItemFlags);

    // The mirror switch; mirroring starts on, like the video view.
    auto *switchRow = new QWidget;
    switchRow->setFixedSize(listWidth, 18);
    switchRow->setAttribute(Qt::WA_TranslucentBackground);
    auto *switchLayout = new QHBoxLayout(switchRow);
    switchLayout->setContentsMargins(m_leftMargin, 0, 0, 0);
    m_mirrorSwitch = new SwitchButton(tr("画面镜像"), 1.33f, true, 8, switchRow);
    m_mirrorSwitch->setTextFont(captionFont());
    m_mirrorSwitch->setFixedSize(86, 18);
    m_mirrorSwitch->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    switchLayout->addWidget(m_mirrorSwitch);
    switchLayout->addStretch();
    QListWidgetItem *switchItem = addMarkerRow(ComboBoxDelegate::WidgetRole, 18, Qt::ItemIsEnabled);
    m_listWidget->setItemWidget(switchItem, switchRow);

    m_coverWidget = new TransparentCoverWidget(this);
    m_coverWidget->setGeometry(rect());
    m_coverWidget->raise();
    m_coverWidget->setStyleSheet(QStringLiteral("background: transparent; border: none;"));
    refreshCoverCursor();

    // Filling the empty list made the title row current; no camera is.
    setCurrentIndex(-1);
    lineEdit()->setText(tr("选择设备"));

    connect(this, &QComboBox::currentTextChanged, this, &CameraComboBox::applyTextWidth, Qt::DirectConnection);
}

CameraComboBox::~CameraComboBox()
{
    delete m_coverWidget;
    delete m_resolutionButtonGroup;
}

QListWidgetItem *CameraComboBox::addMarkerRow(int role, int height, Qt::ItemFlags flags)
{
    auto *item = new QListWidgetItem(m_listWidget);
    item->setData(role, QString());
    item->setFlags(flags);
    if (height > 0)
        item->setSizeHint(QSize(m_listWidget->width(), height));
    return item;
}

QStringList CameraComboBox::cameraNames() const
{
    QStringList names;
    for (int i = 1; i < count() - FixedRows + 1; ++i)
        names << itemText(i);
    return names;
}

void CameraComboBox::refreshCoverCursor()
{
    m_coverWidget->setCursor(checkCameraPermission() ? Qt::PointingHandCursor : Qt::ForbiddenCursor);
}

void CameraComboBox::applyTextWidth(const QString &text)
{
    const int w = fontMetrics().boundingRect(text).width();
    lineEdit()->resize(w, height());
    setMaximumWidth(QWIDGETSIZE_MAX);
    setMinimumWidth(w + 45);
    resize(w + 45, height());
}

void CameraComboBox::updateDeviceList(const QStringList &names)
{
    const QString wanted = names.isEmpty() ? tr("选择设备") : names.first();
    // Skip only when nothing would change: the same rows, and the face
    // already showing what they call for. A camera added behind the shown
    // one still refills the list.
    if (names == cameraNames() && (!names.isEmpty() || lineEdit()->text() == wanted)) {
        qDebug() << "文本未变化，跳过更新:" << lineEdit()->text();
        return;
    }
    // The running camera keeps its row selected across the refill.
    const QString running = currentIndex() >= 1 && currentIndex() <= count() - FixedRows ? itemText(currentIndex())
                                                                                          : QString();

    while (count() > FixedRows)
        removeItem(1);
    for (int i = names.size() - 1; i >= 0; --i)
        insertItem(1, QIcon(), names.at(i));

    QString plainStyle = comboStyle();
    plainStyle.remove(QLatin1String(kDisabledBlock));
    if (names.isEmpty()) {
        lineEdit()->setText(tr("选择设备"));
        setCurrentIndex(-1);
        setStyleSheet(plainStyle);
        lineEdit()->setStyleSheet(QStringLiteral(
            "QLineEdit{ color:rgba(255,255,255,0.9) !important; background:transparent; border:none; }"));
        whiteFaceText(lineEdit());
        lineEdit()->repaint();
        repaint();
        // Setting the index clears an editable combo's text; put it back.
        QTimer::singleShot(10, this, [this]() {
            if (lineEdit()->text() != tr("选择设备"))
                lineEdit()->setText(tr("选择设备"));
        });
        qDebug() << "设置按钮文本为'选择设备'，文本内容:" << lineEdit()->text();
    } else {
        const int keep = running.isEmpty() ? -1 : names.indexOf(running);
        const int row = keep >= 0 ? keep + 1 : 1;
        lineEdit()->setText(names.at(row - 1));
        setCurrentIndex(row);
        setStyleSheet(plainStyle.remove(QLatin1String(kFaceColour)));
        whiteFaceText(lineEdit());
        lineEdit()->setStyleSheet(QStringLiteral("QLineEdit{ background:transparent; border:none; }"));
        qDebug() << "设置按钮文本为第一个摄像头设备:" << names.at(row - 1);
    }
    refreshCoverCursor();
}

void CameraComboBox::slotUpdateResolutionButton(QList<QSize> resolutions, int useIndex)
{
    QWidget *gridHost = m_resolutionGrid->parentWidget();
    gridHost->setUpdatesEnabled(false);
    while (QLayoutItem *item = m_resolutionGrid->takeAt(0)) {
        if (QWidget *w = item->widget()) {
            w->setParent(nullptr);
            w->deleteLater();
        }
        delete item;
    }
    gridHost->setUpdatesEnabled(true);
    gridHost->updateGeometry();

    if (m_resolutionButtonGroup) {
        m_resolutionButtonGroup->setParent(nullptr);
        m_resolutionButtonGroup->deleteLater();
    }
    m_resolutionButtonGroup = new QButtonGroup(this);
    m_resolutionButtonGroup->setExclusive(true);

    for (int i = 0; i < resolutions.size(); ++i) {
        const QSize res = resolutions.at(i);
        auto *button = new HighLightButton(QStringLiteral("%1x%2").arg(res.width()).arg(res.height()), this);
        button->setCheckable(true);
        button->setFixedSize(m_resolutionButtonWidth, 28);
        m_resolutionGrid->addWidget(button, i / m_gridColumns, i % m_gridColumns);
        m_resolutionButtonGroup->addButton(button);
        connect(button, &QPushButton::toggled, button, &HighLightButton::setHighlighted);
        connect(button, &QPushButton::clicked, this, [this, button]() {
            const QStringList parts = button->text().split(QLatin1Char('x'));
            if (parts.size() == 2)
                emit signalSetCameraResolution(QSize(parts.at(0).toInt(), parts.at(1).toInt()));
        });
        if (i == useIndex)
            button->setChecked(true);
    }
    m_resolutionContainer->adjustSize();
    m_resolutionItem->setSizeHint(m_resolutionContainer->size());
}

void CameraComboBox::showPopup()
{
    QComboBox::showPopup();
    if (auto *frame = findChild<QFrame *>())
        frame->move(frame->x(), frame->y() + m_popupOffset);
}

void CameraComboBox::mousePressEvent(QMouseEvent *event)
{
    QComboBox::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit signalClicked();
}

void CameraComboBox::resizeEvent(QResizeEvent *event)
{
    QComboBox::resizeEvent(event);
    if (m_coverWidget)
        m_coverWidget->setFixedSize(size());
}

void CameraComboBox::wheelEvent(QWheelEvent *event)
{
    // The toolkit's wheel handling would step onto the title, resolution and
    // mirror rows and start cameras without the access check.
    event->accept();
    const int cameras = count() - FixedRows;
    const int delta = event->angleDelta().y();
    if (!isEnabled() || cameras <= 0 || delta == 0)
        return;
    const int current = currentIndex();
    int target;
    if (current < 1 || current > cameras)
        target = 1;
    else
        target = current + (delta > 0 ? -1 : 1);
    if (target < 1 || target > cameras || target == current)
        return;
    if (!checkCameraPermission())
        return;
    setCurrentIndex(target);
    emit activated(target);
}

bool CameraComboBox::eventFilter(QObject *watched, QEvent *event)
{
    const bool ownChild = watched == lineEdit() || (qobject_cast<QPushButton *>(watched) && watched->parent() == this);
    if (ownChild && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove))
        return true;
    return QComboBox::eventFilter(watched, event);
}
