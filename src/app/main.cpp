#include "AppPaths.h"
#include "MainWindow.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QSurfaceFormat>
#include <QTextCodec>

int main(int argc, char *argv[])
{
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QApplication app(argc, argv);
    QLoggingCategory::defaultCategory()->setEnabled(QtDebugMsg, true);
    app.setFont(QFont(QStringLiteral("微软雅黑")));

    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setVersion(4, 1);
    QSurfaceFormat::setDefaultFormat(format);

    const QIcon icon(appPath(QStringLiteral("/beauty_panel/panel_icon/beauty/others/app_icon.ico")));
    MainWindow window;
    window.resize(1385, 850);
    window.setWindowTitle(QStringLiteral("CorvaneEffect-QTDemo"));
    window.setWindowIcon(icon);
    window.show();
    return app.exec();
}
