#pragma once

// The side bar and page stack the main window builds, in one window, with a
// real frame pipeline whose engine is a recording fake, initialised on a
// software OpenGL context. What the panel sends is read back from the engine.

#include "../support/FakeEngine.h"
#include "../videoController/GlTestSupport.h"

#include "SideBarWidget.h"
#include "StackedWidget.h"
#include "VideoFilter.h"
#include "WidgetCreater.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QMap>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

inline const QString &panelFixtures()
{
    static const QString dir = QStringLiteral(PANELBUILDER_FIXTURES);
    return dir;
}

// A copy of the fixture panel with some files replaced (a null text removes one).
inline std::unique_ptr<QTemporaryDir> panelWith(const QMap<QString, QByteArray> &replacements)
{
    auto dir = std::make_unique<QTemporaryDir>();
    const QDir source(panelFixtures() + QStringLiteral("panel"));
    for (const QString &name : source.entryList({"*.json"}, QDir::Files))
        QFile::copy(source.filePath(name), dir->filePath(name));
    for (auto it = replacements.constBegin(); it != replacements.constEnd(); ++it) {
        QFile::remove(dir->filePath(it.key()));
        if (it.value().isNull())
            continue;
        QFile file(dir->filePath(it.key()));
        file.open(QIODevice::WriteOnly);
        file.write(it.value());
    }
    return dir;
}

struct Panel
{
    explicit Panel(const QString &jsonDir = panelFixtures() + QStringLiteral("panel/"))
    {
        filter.processController().setEngineFactory(registry.factory());
        filter.initializeFilter(&display.context, &display.surface);
        creater.setPanelJsonDir(jsonDir);
        creater.setAppDirPrefix(panelFixtures());
        creater.setResourceDirectory(resources.path() + QStringLiteral("/"));
        window.resize(420, 820);
        auto *row = new QHBoxLayout(&window);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        bar = new SideBarWidget(&window);
        bar->setFixedWidth(140);
        bar->addDefaultModules();
        bar->addGroup(QStringLiteral("原子能力"));
        bar->addItem(QStringLiteral("原子能力"), QStringLiteral("原子能力"));
        stack = new StackedWidget(&window);
        stack->setFixedWidth(260);
        row->addWidget(bar);
        row->addWidget(stack);
    }
    ~Panel() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void build(bool connect = true) { creater.buildPanels(bar, stack, &filter, &window, connect); }
    BeautyModuleButton *button(const QString &group, const QString &module) const
    {
        return bar->findModuleButton(group, module);
    }
    QWidget *open(const QString &group, const QString &module)
    {
        BeautyModuleButton *b = button(group, module);
        if (!b)
            return nullptr;
        b->click();
        return stack->currentWidget();
    }
    PanelItem &module(int index) { return creater.root()->children[std::size_t(index)]; }
    PanelItem &module(const QString &name) { return module(creater.moduleIndexes().value(name)); }

    FakeEngine *engine() const { return registry.last(); }
    // Forgets what was sent so far; sent() lists what reaches the engine after.
    void mark() { m_mark = engine()->snapshot().size(); }
    // One line per effect setting: "name value path extra", the path relative
    // to the resource directory ("-" for none), the extra text when there is one.
    QStringList sent() const
    {
        QStringList lines;
        const auto calls = engine()->snapshot();
        const QString prefix = QString::fromStdString(engine()->resourceDir);
        for (std::size_t i = m_mark; i < calls.size(); ++i) {
            const EngineCall &c = calls[i];
            if (c.op == "clearAllEffects") {
                lines << QStringLiteral("clearAllEffects");
                continue;
            }
            if (c.op != "applyEffect")
                continue;
            QString path = QStringLiteral("-");
            if (c.hasPath) {
                path = QString::fromStdString(c.path);
                if (path.startsWith(prefix))
                    path = path.mid(prefix.size());
            }
            QString line = QStringLiteral("%1 %2 %3").arg(QString::fromStdString(c.name)).arg(c.value).arg(path);
            if (!c.extra.empty())
                line += QLatin1Char(' ') + QString::fromStdString(c.extra);
            lines << line;
        }
        return lines;
    }

    // Destroyed in reverse: the window first (its widgets hold connections
    // into the builder), the pipeline before its engine registry and context.
    FakeEngineRegistry registry;
    DisplayContext display;
    QTemporaryDir resources;
    WidgetCreater creater;
    VideoFilter filter;
    QWidget window;
    SideBarWidget *bar = nullptr;
    StackedWidget *stack = nullptr;

private:
    std::size_t m_mark = 0;
};
