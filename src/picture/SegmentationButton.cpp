#include "SegmentationButton.h"

#include "PicturePreparation.h"
#include "TransparentButton.h"
#include "UploadTile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPen>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace {

const char *const kLastDirKey = "LastUsedDir";

QSettings backgroundSettings()
{
    return QSettings(QStringLiteral("CorvaneEffect"), QStringLiteral("VirtualBackground"));
}

QFont maskButtonFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("PingFang SC")});
    font.setStyle(QFont::StyleNormal);
    font.setWeight(QFont::Normal);
    font.setPixelSize(12);
    return font;
}

} // namespace

SegmentationButton::SegmentationButton(const QString &imagePath, QWidget *parent) : QWidget(parent)
{
    setFixedSize(228, 120);
    setCursor(Qt::PointingHandCursor);

    auto *background = new QWidget(this);
    background->setObjectName(QStringLiteral("backGoundWidget"));
    background->setFixedSize(size());
    background->setStyleSheet(QStringLiteral(
        "QWidget#backGoundWidget{ background-color:rgba(255,255,255,0.14) !important; border: 0px;  border-radius: 8px; }"));
    auto *row = new QHBoxLayout(background);
    row->setContentsMargins(1, 1, 1, 1);
    row->setSpacing(0);

    const QString appDir = QCoreApplication::applicationDirPath();
    m_addTile = new TransparentButton(QStringLiteral("添加背景"), QSize(208, 17),
                                      appDir + QStringLiteral("/beauty_panel/panel_icon/beauty/others/add.svg"),
                                      QSize(16, 16), background);
    m_addTile->setStyleSheet(QStringLiteral(" background-color:transparent !important; border: 0px;  border-radius: 8px; "));
    row->addWidget(m_addTile);

    m_imageButton = new QPushButton(background);
    m_imageButton->setObjectName(QStringLiteral("segnmetImageWidget"));
    m_imageButton->setFixedSize(width() - 2, height() - 2);
    m_imageButton->setIconSize(m_imageButton->size());
    m_imageButton->setCursor(Qt::PointingHandCursor);
    m_imageButton->setStyleSheet(QStringLiteral(
        "QPushButton#segnmetImageWidget{ border: 0px solid #00EF5C; border-radius:8px; padding: 1px;}"));
    m_imageButton->hide();
    row->addWidget(m_imageButton);

    const uploadtile::HoverCover cover = uploadtile::makeHoverCover(this, 8, QStringLiteral("0.5"), 0, 24);
    m_mask = cover.cover;
    QWidget *gray = cover.panel;
    QHBoxLayout *buttons = cover.buttons;
    buttons->setAlignment(Qt::AlignCenter);
    const QString buttonStyle = QStringLiteral(
        "QPushButton{ color:rgba(255, 255, 255, 0.9); background-color:transparent; border:none; }"
        "QPushButton:hover{ color:rgba(123, 243, 142, 1.0); background-color:transparent; border:none; }");
    m_reuploadButton = new QPushButton(QStringLiteral("重新上传"), gray);
    m_reuploadButton->setFixedSize(48, 18);
    m_deleteButton = new QPushButton(QStringLiteral("删除"), gray);
    m_deleteButton->setFixedSize(24, 18);
    for (QPushButton *b : {m_reuploadButton, m_deleteButton}) {
        b->setFont(maskButtonFont());
        b->setStyleSheet(buttonStyle);
        buttons->addWidget(b);
    }

    connect(m_addTile, &TransparentButton::signalClicked, this, &SegmentationButton::upload);
    connect(m_reuploadButton, &QPushButton::clicked, this, &SegmentationButton::upload);
    connect(m_deleteButton, &QPushButton::clicked, this, &SegmentationButton::deletePicture);

    // A stored folder that has gone starts the dialog in the Pictures folder.
    m_lastFolder = picture::startFolder(backgroundSettings().value(QLatin1String(kLastDirKey)).toString());

    if (!imagePath.isEmpty()) {
        m_currentPath = imagePath;
        m_imageButton->show();
        m_addTile->hide();
        m_hasPicture = true;
    }
    m_imageButton->setIcon(QIcon(imagePath));
}

SegmentationButton::~SegmentationButton()
{
    if (!m_intermediatePath.isEmpty())
        QFile::remove(m_intermediatePath);
}

void SegmentationButton::forgetIntermediate()
{
    if (!m_intermediatePath.isEmpty())
        QFile::remove(m_intermediatePath);
    m_intermediatePath.clear();
}

void SegmentationButton::upload()
{
    const QString path = picture::runOpenFileDialog(this, tr("选择图片"), picture::startFolder(m_lastFolder),
                                                    tr("图片(*.JPG *.JPEG *.PNG)"));
    if (path.isEmpty())
        return;
    const PreparedPicture prepared = prepareBackgroundPicture(path, &m_intermediatePath);
    if (!prepared.ok)
        return;
    if (!prepared.intermediatePath.isEmpty())
        m_intermediatePath = prepared.intermediatePath;

    emit signalCancelCustomImage();
    if (!m_intermediatePath.isEmpty() && m_intermediatePath != prepared.finalPath)
        QFile::remove(m_intermediatePath);
    m_intermediatePath.clear();

    m_currentPath = prepared.finalPath;
    m_imageButton->setIcon(QIcon(m_currentPath));
    m_imageButton->show();
    m_addTile->hide();
    m_hasPicture = true;

    m_lastFolder = QFileInfo(path).absolutePath();
    backgroundSettings().setValue(QLatin1String(kLastDirKey), m_lastFolder);
    emit signalUpLoadCustomImage(prepared.finalPath);
}

void SegmentationButton::deletePicture()
{
    forgetIntermediate();
    m_addTile->show();
    m_imageButton->hide();
    m_mask->hide();
    m_hasPicture = false;
    emit signalCancelCustomImage();
}

void SegmentationButton::enterEvent(QEvent *event)
{
    QWidget::enterEvent(event);
    if (m_hasPicture)
        uploadtile::showCover(m_mask, true);
}

void SegmentationButton::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (m_hasPicture)
        uploadtile::showCover(m_mask, false);
}

void SegmentationButton::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    QPen pen(m_hasPicture ? QColor(123, 243, 142) : QColor(255, 255, 255, 36), 1);
    if (!m_hasPicture)
        pen.setDashPattern({2, 2});
    uploadtile::paintOutline(this, 8, pen);
}
