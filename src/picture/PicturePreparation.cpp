#include "PicturePreparation.h"

#include "ResetDialog.h"

#include <QApplication>
#include <QDebug>
#include <QFile>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <QImageReader>
#include <QPushButton>
#include <QWidget>

namespace picture {

namespace {

NoticePresenter &presenterSlot()
{
    static NoticePresenter presenter;
    return presenter;
}

void runNoticeDialog(const QString &message, QWidget *parent, bool centreOnVideo)
{
    ResetDialog dialog(ResetDialog::noticeTitle(), message, QString(), ResetDialog::noticeButtonText(), parent);
    ResetDialog::configureAsNotice(dialog);
    if (centreOnVideo && parent) {
        // The video view is found by class name: this library knows no app code.
        for (QWidget *child : parent->findChildren<QWidget *>()) {
            if (child->inherits("VideoShowWidget")) {
                dialog.setAnchorWidget(child);
                break;
            }
        }
    }
    dialog.exec();
}

bool isWebp(const QByteArray &header)
{
    return header.startsWith("RIFF") && header.size() >= 15 && header.mid(8, 4) == "WEBP";
}

// A picture whose header declares more than the bounds is refused before
// anything decodes it.
bool refuseHugePicture(const QString &path)
{
    QSize declared;
    if (checkDeclaredSize(path, &declared) != DeclaredSize::TooLarge)
        return false;
    qDebug() << "图片尺寸过大:" << declared << path;
    showNotice(tooManyPixelsText());
    return true;
}

OpenFileDialog &dialogSlot()
{
    static OpenFileDialog dialog;
    return dialog;
}

} // namespace

void setOpenFileDialog(OpenFileDialog dialog)
{
    dialogSlot() = std::move(dialog);
}

QString runOpenFileDialog(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    if (dialogSlot())
        return dialogSlot()(parent, caption, folder, filter);
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString startFolder(const QString &folder)
{
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
}

void setNoticePresenter(NoticePresenter presenter)
{
    presenterSlot() = std::move(presenter);
}

QWidget *findMainWindow()
{
    QWidget *found = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("MainWindow"))
            found = w;
    }
    return found;
}

void showNotice(const QString &message, QWidget *ownWindow, bool centreOnVideo)
{
    QWidget *parent = ownWindow;
    if (centreOnVideo) {
        parent = findMainWindow();
        if (!parent)
            qDebug() << "parentWidget is nullptr";
    }
    if (presenterSlot())
        presenterSlot()(message, parent, centreOnVideo);
    else
        runNoticeDialog(message, parent, centreOnVideo);
}

QString tooManyPixelsText()
{
    return QStringLiteral("图片尺寸过大，超过16384像素或1亿像素");
}

QString undecodableText()
{
    return QStringLiteral("图片加载失败，可能是格式不支持或文件损坏");
}

} // namespace picture

using namespace picture;

PreparedPicture prepareUploadPicture(const QString &path, QWidget *control)
{
    PreparedPicture result;
    const QFileInfo info(path);
    if (!info.exists()) {
        showNotice(QStringLiteral("图片打开失败"), control ? control->window() : nullptr, false);
        return result;
    }
    if (info.size() > kMaxFileBytes) {
        showNotice(QStringLiteral("文件过大，超过5MB"));
        return result;
    }
    if (refuseHugePicture(path))
        return result;
    {
        // Accepting a file nothing can decode would stop the camera and show
        // nothing.
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        if (reader.read().isNull()) {
            qDebug() << "图片无法解码:" << path << reader.errorString();
            showNotice(undecodableText());
            return result;
        }
    }

    const QString actual = detectImageFormat(path);
    const QString ext = info.suffix().toLower();
    qDebug() << "文件扩展名:" << ext;
    qDebug() << "检测到的实际格式:" << actual;
    result.ok = true;
    if (actual.isEmpty()) {
        qDebug() << "无法检测图片格式，使用原文件";
        result.finalPath = path;
        return result;
    }
    QString a = actual.toLower();
    QString e = ext;
    a.replace(QLatin1String("jpeg"), QLatin1String("jpg"));
    e.replace(QLatin1String("jpeg"), QLatin1String("jpg"));
    QString source = path;
    if (a == e && (a == QLatin1String("png") || a == QLatin1String("jpg"))) {
        qDebug() << "原始图片格式与后缀匹配且为支持格式(" << actual << ")，直接使用原文件";
    } else {
        if (a == e)
            qDebug() << "原始图片格式与后缀匹配但不是支持格式(" << actual << ")，强制转换为PNG格式";
        else
            qDebug() << "原始图片格式与后缀不匹配(实际:" << actual << ", 后缀:" << ext << ")，强制转换为PNG格式";
        const QString converted = convertImageToPng(path, PictureFlavour::Upload);
        if (converted.isEmpty()) {
            qDebug() << "图片转换失败，使用原文件";
            result.finalPath = path;
            return result;
        }
        source = converted;
        qDebug() << "图片转换成功，临时文件路径:" << converted;
    }
    result.finalPath = saveNormalisedPng(source, PictureFlavour::Upload);
    return result;
}

PreparedPicture prepareBackgroundPicture(const QString &path, QString *previousIntermediate)
{
    PreparedPicture result;
    const QFileInfo info(path);
    if (!info.exists()) {
        showNotice(QStringLiteral("文件不存在"));
        return result;
    }
    if (!info.isReadable()) {
        showNotice(QStringLiteral("文件无法读取，请检查文件权限"));
        return result;
    }
    if (info.size() > kMaxFileBytes) {
        showNotice(QStringLiteral("文件过大，超过5MB"));
        return result;
    }
    qDebug() << "开始验证图片:" << path;
    qDebug() << "文件大小:" << info.size() << "bytes";
    if (refuseHugePicture(path))
        return result;

    QImage image;
    {
        QImageReader plain(path);
        plain.setDecideFormatFromContent(true);
        image = plain.read();
    }
    if (image.isNull()) {
        qDebug() << "主要图片加载失败:" << path;
        qDebug() << "文件存在:" << info.exists();
        qDebug() << "文件可读:" << info.isReadable();
        QStringList formats;
        for (const QByteArray &f : QImageReader::supportedImageFormats())
            formats << QString::fromLatin1(f);
        qDebug().noquote() << "支持的格式:" << QStringLiteral("(%1)").arg(formats.join(QStringLiteral(", ")));
        {
            QImageReader reader(path);
            qDebug() << "图片格式:" << reader.format();
            qDebug() << "格式检测错误:" << reader.errorString();
            qDebug() << "图片尺寸检测:" << reader.size();
            qDebug() << "图片是否支持:" << reader.canRead();
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            qDebug() << "无法打开文件读取头部信息";
            showNotice(QStringLiteral("无法读取文件，请检查文件是否损坏"));
            return result;
        }
        const QByteArray header = file.read(16);
        file.close();
        qDebug() << "文件头部(16进制):" << header.toHex();

        const bool jpeg = header.startsWith("\xFF\xD8\xFF");
        const bool png = header.startsWith("\x89PNG\r\n\x1A\n");
        const bool webp = isWebp(header);
        QString detected = QStringLiteral("未知格式");
        if (jpeg) {
            detected = QStringLiteral("JPEG");
            qDebug() << "检测到格式: JPEG";
        } else if (png) {
            detected = QStringLiteral("PNG");
            qDebug() << "检测到格式: PNG";
        } else if (header.startsWith("GIF8")) {
            detected = QStringLiteral("GIF");
            qDebug() << "检测到格式: GIF";
        } else if (header.startsWith("BM")) {
            detected = QStringLiteral("BMP");
            qDebug() << "检测到格式: BMP";
        } else if (webp) {
            detected = QStringLiteral("WebP");
            qDebug() << "检测到格式: WebP";
        } else {
            qDebug() << "未知或不受支持的图片格式";
        }

        qDebug() << "尝试使用QImageReader备用加载方法...";
        QImageReader fallback(path);
        fallback.setDecideFormatFromContent(true);
        image = fallback.read();
        if (!image.isNull()) {
            qDebug() << "备用加载方法成功!";
        } else {
            qDebug() << "备用加载方法也失败:" << fallback.errorString();
            const char *format = nullptr;
            if (jpeg) {
                qDebug() << "尝试以JPEG格式加载...";
                format = "JPEG";
                detected = QStringLiteral("JPEG");
            } else if (png) {
                qDebug() << "尝试以PNG格式加载...";
                format = "PNG";
                detected = QStringLiteral("PNG");
            } else if (webp) {
                qDebug() << "尝试以WebP格式加载...";
                format = "WEBP";
                detected = QStringLiteral("WebP");
            }
            if (format)
                image.load(path, format);
            if (!image.isNull()) {
                qDebug() << "特定格式加载成功!";
                qDebug() << "真实格式:" << detected << "(文件扩展名可能不匹配)";
            } else {
                qDebug() << "所有加载方法都失败了";
                showNotice(QStringLiteral("图片格式不支持或文件损坏\n检测到的格式: %1").arg(detected));
                return result;
            }
        }
    }
    if (image.isNull()) {
        showNotice(undecodableText());
        return result;
    }
    if (image.width() <= 0 || image.height() <= 0) {
        showNotice(QStringLiteral("图片尺寸无效"));
        return result;
    }
    qDebug() << "图片验证成功: 尺寸" << image.width() << "x" << image.height();

    QString ext = info.suffix().toLower();
    QString actual = detectBackgroundImageFormat(path).toLower();
    qDebug() << "文件扩展名:" << ext;
    qDebug() << "检测到的实际格式:" << actual;
    ext.replace(QLatin1String("jpeg"), QLatin1String("jpg"));
    actual.replace(QLatin1String("jpeg"), QLatin1String("jpg"));

    result.ok = true;
    QString source = path;
    if (!actual.isEmpty() && actual == ext && (actual == QLatin1String("png") || actual == QLatin1String("jpg"))) {
        qDebug() << "格式匹配且为PNG/JPG，直接使用原文件";
    } else {
        const QString reason = actual.isEmpty()
            ? QStringLiteral("无法检测格式")
            : actual == ext ? QStringLiteral("格式不为PNG/JPG（当前: %1）").arg(actual)
                            : QStringLiteral("格式不匹配（实际: %1, 扩展名: %2）").arg(actual, ext);
        qDebug().noquote() << reason + QStringLiteral("，将转换为PNG格式");
        if (previousIntermediate && !previousIntermediate->isEmpty()) {
            QFile::remove(*previousIntermediate);
            previousIntermediate->clear();
        }
        const QString converted = convertImageToPng(path, PictureFlavour::Background);
        if (converted.isEmpty()) {
            qDebug() << "图片转换失败，使用原文件";
            result.finalPath = path;
            return result;
        }
        result.intermediatePath = converted;
        source = converted;
        qDebug() << "图片转换成功，使用转换后的PNG文件";
    }
    result.finalPath = saveNormalisedPng(source, PictureFlavour::Background);
    return result;
}
