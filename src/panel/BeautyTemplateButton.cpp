#include "BeautyTemplateButton.h"

#include <QDebug>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {
const char *kOverlayStyle = "background-color: rgba(0, 0, 0, 0.3); border-radius: 6px;";
const char *kImageSelected =
    "QLabel { border: 1px solid #00EF5C; border-radius: 12px; padding: 1px; }";
const char *kImageNormal =
    "QLabel { border: 1px solid transparent; border-radius: 12px; padding: 1px; }";
const char *kTextSelected = "color: white; font-size: 12px; border: none";
const char *kTextNormal = "color: rgba(255, 255, 255, 0.75); font-size: 12px; border: none";

// The "off" template must stay readable, so it never gets the dark veil.
const QString kOffCaption = QStringLiteral("关闭");
} // namespace

BeautyTemplateButton::BeautyTemplateButton(const QString &text, const QString &iconPath,
                                           int width, int height, QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);

    m_textLabel = new QLabel(text, this);
    m_imageLabel = new QLabel(this);

    QPixmap pixmap;
    if (!pixmap.load(iconPath)) {
        qDebug() << "Failed to load pixmap:" << iconPath;
        m_imageLabel->setText(QStringLiteral("Error"));
    } else {
        // The transparent no-effect picture gets a solid dark tile behind it.
        if (iconPath.contains(QLatin1String("none.png")) && pixmap.hasAlphaChannel()) {
            QPixmap backed(pixmap.size());
            backed.fill(QColor(QStringLiteral("#3F3F3F")));
            QPainter p(&backed);
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.drawPixmap(0, 0, pixmap);
            p.end();
            pixmap = backed;
        }
        m_imageLabel->setFixedSize(width, height);
        m_imageLabel->setScaledContents(true);

        if (!pixmap.isNull() && width > 0 && height > 0) {
            QPixmap rounded(width, height);
            rounded.fill(Qt::transparent);
            QPainter p(&rounded);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            QPainterPath clip;
            clip.addRoundedRect(QRectF(0, 0, width, height), 6, 6);
            p.setClipPath(clip);
            p.drawPixmap(QRect(0, 0, width, height), pixmap);
            p.end();
            pixmap = rounded;
        }
        m_imageLabel->setPixmap(pixmap);
    }

    m_textLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_imageLabel, 0, Qt::AlignHCenter);
    layout->addWidget(m_textLabel, 0, Qt::AlignHCenter);

    m_overlay = new QWidget(m_imageLabel);
    m_overlay->setGeometry(1, 1, width - 2, height - 2);
    m_overlay->setStyleSheet(QLatin1String(kOverlayStyle));
    m_overlay->hide();
    // The veil only dims; presses must still reach the thumbnail.
    m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);

    applySelectedLook(false);
}

QString BeautyTemplateButton::text() const
{
    return m_textLabel->text();
}

void BeautyTemplateButton::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    applySelectedLook(selected);
}

void BeautyTemplateButton::applySelectedLook(bool selected)
{
    if (selected) {
        m_overlay->setVisible(m_textLabel->text() != kOffCaption);
        m_imageLabel->setStyleSheet(QLatin1String(kImageSelected));
        m_textLabel->setStyleSheet(QLatin1String(kTextSelected));
    } else {
        m_overlay->hide();
        m_imageLabel->setStyleSheet(QLatin1String(kImageNormal));
        m_textLabel->setStyleSheet(QLatin1String(kTextNormal));
    }
}

void BeautyTemplateButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QWidget::mousePressEvent(event);
}

BeautyTemplateButtonGroupManager::BeautyTemplateButtonGroupManager(QObject *parent)
    : QObject(parent)
{
}

QList<BeautyTemplateButton *> BeautyTemplateButtonGroupManager::buttons() const
{
    QList<BeautyTemplateButton *> out;
    for (const auto &b : m_buttons)
        if (b)
            out.append(b);
    return out;
}

void BeautyTemplateButtonGroupManager::addButton(BeautyTemplateButton *button)
{
    if (!button || buttons().contains(button))
        return;
    m_buttons.append(button);
    connect(button, &BeautyTemplateButton::clicked, this,
            &BeautyTemplateButtonGroupManager::onButtonClicked, Qt::UniqueConnection);
}

void BeautyTemplateButtonGroupManager::onButtonClicked()
{
    auto *button = qobject_cast<BeautyTemplateButton *>(sender());
    if (!button || button->isSelected())
        return;
    makeCurrent(button);
}

void BeautyTemplateButtonGroupManager::setCurrentButton(BeautyTemplateButton *button)
{
    makeCurrent(button);
}

void BeautyTemplateButtonGroupManager::makeCurrent(BeautyTemplateButton *button)
{
    if (button == m_current)
        return;
    if (m_current && m_current->isSelected()) {
        m_current->m_selected = false;
        m_current->applySelectedLook(false);
    }
    m_current = button;
    if (button && !button->isSelected()) {
        button->m_selected = true;
        button->applySelectedLook(true);
    }
}
