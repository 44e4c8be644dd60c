#include "DIYButton.h"

#include "ImageLoadManager.h"

#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const QString kSeparator = QStringLiteral("  ");
constexpr int kFirstTickMs = 300;
constexpr int kStepMs = 200;
constexpr int kRestMs = 800;
} // namespace

DIYButton::DIYButton(const QString &text, const QString &iconPath, int width, int height,
                     QWidget *parent)
    : QWidget(parent)
    , m_iconPath(iconPath)
    , m_width(width)
    , m_height(height)
    , m_caption(text)
    , m_longCaption(text.length() > 4)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);

    m_textLabel = new QLabel(text, this);
    m_imageLabel = new QLabel(this);
    m_imageLabel->setFixedSize(width, height);
    m_imageLabel->setScaledContents(true);
    QPixmap placeholder(qMax(1, width), qMax(1, height));
    placeholder.fill(placeholderColor());
    m_imageLabel->setPixmap(placeholder);

    ImageLoadManager::instance().loadPixmap(iconPath, this, width, height);

    m_textLabel->setAlignment(m_longCaption ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter);
    m_textLabel->setMinimumWidth(width - 4);
    m_textLabel->setContentsMargins(-2, 0, -2, 0);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_imageLabel, 0, Qt::AlignHCenter);
    layout->addWidget(m_textLabel, 0, Qt::AlignHCenter);

    connect(&ImageLoadManager::instance(), &ImageLoadManager::pixmapLoaded, this,
            &DIYButton::handlePixmapLoaded, Qt::UniqueConnection);

    if (m_longCaption) {
        m_scrollTimer = new QTimer(this);
        m_scrollTimer->setInterval(kFirstTickMs);
        connect(m_scrollTimer, &QTimer::timeout, this, &DIYButton::scrollText);
    }

    applyLook();
}

DIYButton::~DIYButton()
{
    if (m_scrollTimer)
        m_scrollTimer->stop();
    // Connections from the loader end with this object; a queued answer
    // still on its way is dropped by the event loop.
}

void DIYButton::handlePixmapLoaded(QString picture_path, QPixmap pixmap)
{
    if (picture_path != m_iconPath || pixmap.isNull())
        return;
    m_imageLabel->setPixmap(pixmap);
    m_imageLabel->update();
    applyLook();
    const bool first = !m_hasPicture;
    m_hasPicture = true;
    if (first)
        emit pictureShown();
}

void DIYButton::applyLook()
{
    const QString radius = m_category.isEmpty() ? QStringLiteral("8px") : QStringLiteral("10px");
    if (m_selected)
        m_imageLabel->setStyleSheet(
            QStringLiteral("QLabel { border: 1px solid #58EB6F; border-radius: %1; padding: 1px; }")
                .arg(radius));
    else
        m_imageLabel->setStyleSheet(
            QStringLiteral("QLabel { border: 1px solid transparent; border-radius: %1; padding: 1px; }")
                .arg(radius));
    applyTextStyle();
}

void DIYButton::applyTextStyle()
{
    m_textLabel->setStyleSheet(m_selected
                                   ? QStringLiteral("color: white; font-size: 11px; border: none")
                                   : QStringLiteral("color: rgba(255, 255, 255, 0.75); font-size: "
                                                    "11px; border: none"));
}

void DIYButton::setCategory(const QString &category)
{
    m_category = category;
    applyLook();
}

void DIYButton::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    applyLook();
    if (selected && m_scrollTimer) {
        m_scrollOffset = 0;
        m_paused = false;
        m_scrollTimer->setInterval(kFirstTickMs);
        m_scrollTimer->start();
    } else if (m_scrollTimer) {
        m_scrollTimer->stop();
        m_scrollOffset = 0;
        m_paused = false;
        m_textLabel->setText(m_caption);
        applyTextStyle();
    }
}

void DIYButton::scrollText()
{
    if (!m_longCaption || m_caption.isEmpty() || !m_scrollTimer)
        return;
    if (m_paused) {
        m_paused = false;
        m_scrollTimer->setInterval(kStepMs);
        m_scrollOffset = 1;
        m_textLabel->setText(m_caption.mid(1) + kSeparator + m_caption.left(1));
    } else if (m_scrollOffset == 0) {
        m_textLabel->setText(m_caption);
        m_paused = true;
        m_scrollTimer->setInterval(kRestMs);
    } else {
        m_scrollOffset += 1;
        if (m_scrollOffset >= m_caption.length()) {
            m_scrollOffset = 0;
        } else {
            m_textLabel->setText(m_caption.mid(m_scrollOffset) + kSeparator
                                 + m_caption.left(m_scrollOffset));
        }
    }
}

void DIYButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked(m_selected);
    QWidget::mousePressEvent(event);
}

DIYButtonGroupManager::DIYButtonGroupManager(QObject *parent)
    : QObject(parent)
{
}

QList<DIYButton *> DIYButtonGroupManager::buttons() const
{
    QList<DIYButton *> out;
    for (const auto &b : m_buttons)
        if (b)
            out.append(b);
    return out;
}

void DIYButtonGroupManager::addButton(DIYButton *button)
{
    if (!button || buttons().contains(button))
        return;
    m_buttons.append(button);
    connect(button, &DIYButton::clicked, this, &DIYButtonGroupManager::onButtonClicked,
            Qt::UniqueConnection);
}

void DIYButtonGroupManager::onButtonClicked()
{
    if (auto *button = qobject_cast<DIYButton *>(sender()))
        setCurrentButton(button);
}

void DIYButtonGroupManager::setCurrentButton(DIYButton *button)
{
    if (button == m_current)
        return;
    if (m_current)
        m_current->setSelected(false);
    m_current = button;
    if (button)
        button->setSelected(true);
}
