#include "ImageUploadComboBox.h"

#include "AppIcons.h"
#include "ComboBoxDelegate.h"
#include "ImageUpLoadButton.h"
#include "TransparentCoverWidget.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString pickerStyle(const QString &textColour)
{
    return QStringLiteral(
               "QComboBox{ color:%1 !important; border:none; background-color:rgba(255,255,255,0.14); "
               "border-radius:14px; padding-left:12px; font-family: \"Microsoft YaHei\"; font-size:14px; "
               "font-weight:400; }"
               "QComboBox::drop-down{ background:transparent; border:none; margin-right:12px; width:16px; height:28px; }"
               "QComboBox::down-arrow{ width:10px; height:6px; image:url(:/icons/combobox_arrow_down.svg); }"
               "QComboBox::down-arrow:on{ width:10px; height:6px; image:url(:/icons/combobox_arrow_up.svg); }"
               "QComboBox QScrollBar{ width:0px; height:0px; }")
        .arg(textColour);
}

QString captionStyle(const QString &colour)
{
    return QStringLiteral(
               "QLabel{ color:%1; background:transparent; font-family: \"Microsoft YaHei\"; font-size:14px; "
               "font-style:normal; font-weight:400; line-height:20px; }")
        .arg(colour);
}

} // namespace

ImageUploadComboBox::ImageUploadComboBox(QWidget *parent) : QComboBox(parent)
{
    ensureAppIcons();
    setFixedSize(100, 28);
    setStyleSheet(pickerStyle(QStringLiteral("rgba(255,255,255,0.9)")));

    m_listWidget = new QListWidget(this);
    m_listWidget->setFixedSize(580, 168);
    m_listWidget->setStyleSheet(QStringLiteral(
        "QListWidget { padding:16px; padding-top:12px; background-color:rgba(41,41,41,1); border-radius:12px; }"));
    setModel(m_listWidget->model());
    setView(m_listWidget);
    setItemDelegate(new ComboBoxDelegate(this));

    QWidget *popup = view()->window();
    popup->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
    popup->setAttribute(Qt::WA_TranslucentBackground);

    setEditable(true);
    lineEdit()->setReadOnly(true);
    lineEdit()->setFixedHeight(height());
    lineEdit()->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; color: transparent; }"));
    lineEdit()->setFocusPolicy(Qt::NoFocus);
    lineEdit()->installEventFilter(this);

    m_caption = new QLabel(QStringLiteral("选择图片"), this);
    m_caption->setGeometry(12, 0, width() - 24, height());
    m_caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_caption->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_caption->setStyleSheet(captionStyle(QStringLiteral("rgba(255, 255, 255, 0.9)")));

    auto *content = new QWidget;
    auto *column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto *hint = new QLabel(QStringLiteral("试试预设图片 或 上传图片文件，支持JPG、PNG等格式，大小5MB以内"), content);
    hint->setFixedHeight(20);
    QFont hintFont(QStringLiteral("微软雅黑"));
    hintFont.setStyle(QFont::StyleNormal);
    hintFont.setPixelSize(12);
    hint->setFont(hintFont);
    hint->setStyleSheet(QStringLiteral("QLabel{ color: rgba(255, 255, 255, 0.9); }"));
    column->addWidget(hint);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    row->setAlignment(Qt::AlignLeft);
    column->addLayout(row);

    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList demos = {QStringLiteral("demo_image1"), QStringLiteral("demo_image2"),
                               QStringLiteral("demo_image3"), QStringLiteral("demo_image4 body")};
    m_demoGroup = new QButtonGroup(this);
    m_demoGroup->setExclusive(true);
    for (int i = 0; i < demos.size(); ++i) {
        m_demoPaths << appDir + QStringLiteral("/res/demoImage/") + demos.at(i) + QStringLiteral(".jpg");
        auto *button = new QPushButton(content);
        button->setCheckable(true);
        button->setFixedSize(100, 112);
        button->setIcon(QIcon(appDir + QStringLiteral("/beauty_panel/panel_icon/beauty/others/") + demos.at(i)
                              + QStringLiteral(".png")));
        button->setIconSize(QSize(98, 110));
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral(
            "QPushButton{ border-width:0px; border-radius:6px; padding: 1px;}"
            "QPushButton:hover{ border: 1px solid #00EF5C; border-radius:6px; padding: 1px;}"
            "QPushButton:checked{ border: 1px solid #00EF5C; border-radius:6px; padding: 1px;}"));
        m_demoGroup->addButton(button, i);
        m_demoButtons << button;
        row->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, i]() { onDemoClicked(i); });
    }
    m_uploadTile = new ImageUpLoadButton(content);
    row->addWidget(m_uploadTile);
    content->adjustSize();

    auto *item = new QListWidgetItem(m_listWidget);
    item->setFlags(Qt::ItemIsEnabled);
    item->setSizeHint(content->size());
    item->setData(ComboBoxDelegate::WidgetRole, QString());
    m_listWidget->setItemWidget(item, content);

    m_coverWidget = new TransparentCoverWidget(this);
    m_coverWidget->setGeometry(rect());
    m_coverWidget->raise();
    m_coverWidget->setCursor(Qt::PointingHandCursor);

    connect(m_uploadTile, &ImageUpLoadButton::signalUpLoadCustomImage, this, &ImageUploadComboBox::onUploaded);
}

void ImageUploadComboBox::onDemoClicked(int index)
{
    m_uploadTile->imageButton()->setChecked(false);
    m_selectedDemo = index;
    emit signalLoadImage(m_demoPaths.at(index));
}

void ImageUploadComboBox::onUploaded(const QString &path)
{
    if (m_selectedDemo >= 0) {
        // An exclusive group never lets its last checked button go.
        m_demoGroup->setExclusive(false);
        m_demoButtons.at(m_selectedDemo)->setChecked(false);
        m_demoGroup->setExclusive(true);
    }
    m_selectedDemo = -1;
    emit signalLoadImage(path);
}

void ImageUploadComboBox::showPopup()
{
    QComboBox::showPopup();
    if (auto *frame = findChild<QFrame *>())
        frame->move(frame->x(), frame->y() + m_popupOffset);
}

void ImageUploadComboBox::setUploadEnabled(bool enabled)
{
    m_enabled = enabled;
    setEnabled(enabled);
    m_coverWidget->setCursor(enabled ? Qt::PointingHandCursor : Qt::ForbiddenCursor);
    m_caption->setStyleSheet(captionStyle(enabled ? QStringLiteral("rgba(255, 255, 255, 0.9)")
                                                  : QStringLiteral("rgba(255, 255, 255, 0.4)")));
    setStyleSheet(pickerStyle(enabled ? QStringLiteral("rgba(255,255,255,0.9)") : QStringLiteral("rgba(255,255,255,0.4)")));
}

void ImageUploadComboBox::enterEvent(QEvent *event)
{
    QComboBox::enterEvent(event);
    setCursor(m_enabled ? Qt::PointingHandCursor : Qt::ForbiddenCursor);
}

void ImageUploadComboBox::leaveEvent(QEvent *event)
{
    QComboBox::leaveEvent(event);
    setCursor(Qt::ArrowCursor);
}

bool ImageUploadComboBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lineEdit() && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove))
        return true;
    return QComboBox::eventFilter(watched, event);
}
