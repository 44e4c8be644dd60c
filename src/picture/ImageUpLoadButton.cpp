#include "ImageUpLoadButton.h"

#include "PicturePreparation.h"
#include "TransparentButton.h"
#include "UploadTile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPen>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString &sharedLastFolder()
{
    static QString folder;
    return folder;
}

} // namespace

QString ImageUpLoadButton::lastFolder()
{
    return sharedLastFolder();
}

void ImageUpLoadButton::setLastFolder(const QString &folder)
{
    sharedLastFolder() = folder;
}

ImageUpLoadButton::ImageUpLoadButton(QWidget *parent) : QWidget(parent)
{
    setFixedSize(100, 112);
    setCursor(Qt::PointingHandCursor);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);

    const QString others = QCoreApplication::applicationDirPath() + QStringLiteral("/beauty_panel/panel_icon/beauty/others/");
    m_addTile = new TransparentButton(QStringLiteral("上传图片"), QSize(48, 16), others + QStringLiteral("add.svg"),
                                      QSize(16, 16), this);
    m_addTile->setObjectName(QStringLiteral("initWidget"));
    m_addTile->setStyleSheet(QStringLiteral(
        "QWidget#initWidget{ background-color:transparent; border: 0px;  border-radius: 6px;  }"));
    row->addWidget(m_addTile);

    m_imageButton = new QPushButton(this);
    m_imageButton->setObjectName(QStringLiteral("m_imageWidgetButton"));
    m_imageButton->setFixedSize(width() - 2, height() - 2);
    m_imageButton->setIconSize(m_imageButton->size());
    m_imageButton->setCursor(Qt::PointingHandCursor);
    m_imageButton->setCheckable(true);
    m_imageButton->setStyleSheet(QStringLiteral(
        "QPushButton#m_imageWidgetButton{ border-width:0px; border-radius:6px; padding:2px;}"));
    m_imageButton->hide();
    row->addWidget(m_imageButton);

    const uploadtile::HoverCover cover = uploadtile::makeHoverCover(this, 6, QStringLiteral("0.7"), 2, 6);
    m_mask = cover.cover;
    QWidget *gray = cover.panel;
    QHBoxLayout *buttons = cover.buttons;

    m_reuploadButton = new QPushButton(QStringLiteral("重新上传"), gray);
    m_reuploadButton->setFixedSize(48, 17);
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QStringLiteral("PingFang SC")});
    font.setStyle(QFont::StyleNormal);
    font.setWeight(QFont::Normal);
    font.setPixelSize(12);
    m_reuploadButton->setFont(font);
    m_reuploadButton->setStyleSheet(QStringLiteral(
        "QPushButton{ color:rgba(255, 255, 255, 0.9); background-color:transparent; border:none; }"
        "QPushButton:hover{ color:rgba(88, 235, 111, 1.0); background-color:transparent; border:none; }"));
    buttons->addWidget(m_reuploadButton, 0, Qt::AlignRight);

    auto *cancelHolder = new QWidget(gray);
    cancelHolder->setFixedWidth(16);
    auto *cancelColumn = new QVBoxLayout(cancelHolder);
    cancelColumn->setContentsMargins(0, 0, 0, 0);
    cancelColumn->setAlignment(Qt::AlignTop);
    m_cancelButton = new QPushButton(cancelHolder);
    m_cancelButton->setFixedSize(16, 16);
    m_cancelButton->setIcon(QIcon(others + QStringLiteral("cancel.svg")));
    m_cancelButton->setIconSize(QSize(14, 14));
    m_cancelButton->setStyleSheet(QStringLiteral("QPushButton{ background-color:transparent; border:none; }"));
    cancelColumn->addWidget(m_cancelButton);
    buttons->addWidget(cancelHolder);

    connect(m_addTile, &TransparentButton::signalClicked, this, &ImageUpLoadButton::upload);
    connect(m_reuploadButton, &QPushButton::clicked, this, &ImageUpLoadButton::upload);
    connect(m_cancelButton, &QPushButton::clicked, this, &ImageUpLoadButton::cancelUpload);
    connect(m_imageButton, &QPushButton::clicked, this, &ImageUpLoadButton::onImageClicked);
}

void ImageUpLoadButton::upload()
{
    const QString path = picture::runOpenFileDialog(
        this, tr("选择图片"), picture::startFolder(sharedLastFolder()),
        tr("图片文件(*.JPG *.JPEG *.PNG *.WEBP *.BMP *.GIF *.TIFF);;所有支持的图片(*.*)"));
    if (path.isEmpty())
        return;
    // Remembered before any check, so a rejected file still sets the folder.
    sharedLastFolder() = QFileInfo(path).absolutePath();
    const PreparedPicture prepared = prepareUploadPicture(path, this);
    if (!prepared.ok)
        return;

    m_chosenPath = path;
    m_preparedPath = prepared.finalPath != path ? prepared.finalPath : QString();
    m_hasPicture = true;
    const QString thumbnail = m_preparedPath.isEmpty() ? m_chosenPath : m_preparedPath;
    qDebug() << "使用缩略图路径:" << thumbnail;
    m_imageButton->setIcon(QIcon(thumbnail));
    m_imageButton->show();
    m_imageButton->setChecked(true);
    m_addTile->hide();
    emit signalUpLoadCustomImage(prepared.finalPath);
}

void ImageUpLoadButton::onImageClicked()
{
    // A click toggles the checkable button; the uploaded picture stays chosen.
    m_imageButton->setChecked(true);
    const QString path = m_preparedPath.isEmpty() ? m_chosenPath : m_preparedPath;
    qDebug() << "点击已上传图片，发送路径:" << path;
    emit signalUpLoadCustomImage(path);
}

void ImageUpLoadButton::cancelUpload()
{
    m_addTile->show();
    m_imageButton->hide();
    m_imageButton->setChecked(false);
    m_mask->hide();
    m_hasPicture = false;
    if (!m_preparedPath.isEmpty() && QFile::exists(m_preparedPath)) {
        QFile::remove(m_preparedPath);
        qDebug() << "删除临时转换文件:" << m_preparedPath;
    }
    m_chosenPath.clear();
    m_preparedPath.clear();
}

void ImageUpLoadButton::enterEvent(QEvent *event)
{
    QWidget::enterEvent(event);
    m_hovered = true;
    update();
    if (m_hasPicture && m_imageButton->isChecked())
        uploadtile::showCover(m_mask, true);
}

void ImageUpLoadButton::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    m_hovered = false;
    update();
    if (m_hasPicture && m_imageButton->isChecked())
        uploadtile::showCover(m_mask, false);
}

void ImageUpLoadButton::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPen pen(m_hovered ? QColor(88, 235, 111) : QColor(94, 94, 94), 1);
    pen.setDashPattern({4, 4});
    uploadtile::paintOutline(this, 6, pen);
}
