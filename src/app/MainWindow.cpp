#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "AppIcons.h"
#include "AppPaths.h"
#include "IconTextWidget.h"
#include "VideoShowWidget.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSvgWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// The engine integration guide ships beside the program, so the link works
// offline and always matches the engine that is installed.
const char *const kSdkDocumentPath = "/docs/engine-integration.md";
}

QUrl MainWindow::sdkDocumentUrl()
{
    return QUrl::fromLocalFile(appPath(QString::fromLatin1(kSdkDocumentPath)));
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ensureAppIcons();
    ui->setupUi(this);
    setWindowFlag(Qt::FramelessWindowHint);

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(createTopBar(), 1);
    layout->addWidget(createMainArea(), 9);
    setCentralWidget(central);
}

MainWindow::~MainWindow()
{
    delete ui;
}

QFrame *MainWindow::createTopBar()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("widget"));
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setFixedHeight(kDragStripHeight);
    bar->setStyleSheet(QStringLiteral(
        "QFrame#widget { background-color: #333; border-radius: 0px; border-bottom: 1px solid #1A1A1A;}"));
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(16, 16, 16, 16);

    auto *logo = new QSvgWidget(iconPath(QStringLiteral("corvane_logo.svg")), this);
    logo->setObjectName(QStringLiteral("corvane_engine_image"));
    logo->setFixedSize(103, 24);
    layout->addWidget(logo);

    auto *version = new QLabel(tr("V4.0"), bar);
    version->setObjectName(QStringLiteral("version_label"));
    version->setFixedSize(26, 24);
    version->setAlignment(Qt::AlignCenter);
    version->setStyleSheet(QStringLiteral(
        "QLabel {    color: rgba(255, 255, 255, 0.42);    font-family: \"Microsoft YaHei\";    font-size: 12px;"
        "    font-weight: normal;    line-height: 14px;    padding-top: 1px;    padding-bottom: 1px;}"));
    layout->addWidget(version);
    layout->addStretch();

    auto *document = new IconTextWidget(QSize(16, 16), QStringLiteral("SDK集成文档"),
                                        iconPath(QStringLiteral("sdk_document.svg")), this);
    document->setObjectName(QStringLiteral("sdkDocumentLink"));
    connect(document, &IconTextWidget::clicked, [this] { openSdkDocument(); });
    layout->addWidget(document);

    auto *minimize = new QPushButton(bar);
    minimize->setObjectName(QStringLiteral("minimizeBtn"));
    minimize->setFixedSize(16, 16);
    minimize->setIcon(QIcon(iconPath(QStringLiteral("min_icon.png"))));
    minimize->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; icon-size: 16px;}"
        "QPushButton:hover { background: #444; }QPushButton:pressed { background: #555; }"));
    connect(minimize, &QPushButton::clicked, this, &QWidget::showMinimized);
    layout->addWidget(minimize);

    auto *maximize = new QPushButton(bar);
    maximize->setObjectName(QStringLiteral("fullscreenBtn"));
    maximize->setFixedSize(16, 16);
    maximize->setIcon(QIcon(iconPath(QStringLiteral("strech_icon.png"))));
    maximize->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; icon-size: 16px; }"
        "QPushButton:hover { background: #444; }QPushButton:pressed { background: #555; }"));
    connect(maximize, &QPushButton::clicked, this, [this, maximize] {
        toggleMaximized();
        // One icon serves both states.
        maximize->setIcon(QIcon(iconPath(QStringLiteral("strech_icon.png"))));
    });
    layout->addWidget(maximize);

    auto *closeButton = new QPushButton(bar);
    closeButton->setObjectName(QStringLiteral("closeBtn"));
    closeButton->setFixedSize(16, 16);
    closeButton->setIcon(QIcon(QStringLiteral(":/icons/close_icon.svg")));
    closeButton->setIconSize(QSize(9, 9));
    closeButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: transparent; border: none; }"
        "QPushButton:hover { background: #E81123; }QPushButton:pressed { background: #F1707A; }"));
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(closeButton);

    return bar;
}

QFrame *MainWindow::createMainArea()
{
    auto *body = new QFrame(this);
    body->setObjectName(QStringLiteral("widget_2"));
    body->setFrameShape(QFrame::StyledPanel);
    body->setStyleSheet(QStringLiteral("QFrame#widget_2 { background-color: #333; border:none;}"));
    auto *row = new QHBoxLayout(body);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    auto *display = new QFrame(body);
    display->setObjectName(QStringLiteral("left_widget"));
    display->setFrameShape(QFrame::StyledPanel);
    display->setStyleSheet(
        QStringLiteral("QFrame { border: none; border-radius: 0px; background-color: #000000; }"));
    auto *column = new QVBoxLayout(display);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_videoShowWidget = new VideoShowWidget(display);
    m_videoShowWidget->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_videoShowWidget);
    row->addWidget(display, 1);
    return body;
}

void MainWindow::toggleMaximized()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainWindow::openSdkDocument()
{
    const QUrl url = sdkDocumentUrl();
    if (!QDesktopServices::openUrl(url))
        qWarning() << "Failed to open URL:" << url.toString();
}

void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    if (event->pos().y() > kDragStripHeight) {
        m_isDragging = false;
    } else {
        m_dragPosition = event->globalPos() - frameGeometry().topLeft();
        m_isDragging = true;
    }
    event->accept();
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if (m_isDragging)
        move(event->globalPos() - m_dragPosition);
    event->accept();
}

void MainWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_isDragging = false;
        event->accept();
    }
}
