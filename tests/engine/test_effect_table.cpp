// The engine's effect table is the one list of effect names: the panel's
// range table may not disagree with it, and docs/effects.md lists exactly its
// names.
#include "core/EffectParams.h"
#include "ProcessController.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

class TestEffectTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rangesAgreeWithTheProcessController()
    {
        size_t count = 0;
        const velvix::EffectInfo *table = velvix::effectTable(&count);
        QVERIFY(count > 0);
        for (size_t i = 0; i < count; ++i) {
            const velvix::EffectInfo &info = table[i];
            const auto range = ProcessController::effectValueRange(info.name);
            QVERIFY2(range.first == info.minimum && range.second == info.maximum,
                     qPrintable(QStringLiteral("%1: engine %2..%3, panel %4..%5")
                                    .arg(info.name).arg(info.minimum).arg(info.maximum)
                                    .arg(range.first).arg(range.second)));
            QVERIFY2(info.neutral >= info.minimum && info.neutral <= info.maximum, info.name);
            QVERIFY2(info.family && *info.family, info.name);
            QCOMPARE(velvix::findEffect(info.name), &info);
        }
    }

    void documentationListsExactlyTheEngineNames()
    {
        QFile file(QStringLiteral(EFFECTS_DOC));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        // Effect rows: a table row whose first cell is one backticked name
        // and whose second cell is a range (e.g. "-100..100").
        const QRegularExpression row(QStringLiteral("^\\|\\s*`([^`]+)`\\s*\\|\\s*-?\\d+(?:\\.\\.-?\\d+)?"),
                                     QRegularExpression::MultilineOption);
        QSet<QString> documented;
        for (auto it = row.globalMatch(text); it.hasNext();)
            documented.insert(it.next().captured(1));
        size_t count = 0;
        const velvix::EffectInfo *table = velvix::effectTable(&count);
        QSet<QString> engine;
        for (size_t i = 0; i < count; ++i)
            engine.insert(QString::fromLatin1(table[i].name));
        QSet<QString> onlyDocs = documented - engine;
        QSet<QString> onlyEngine = engine - documented;
        QVERIFY2(onlyDocs.isEmpty(), qPrintable(QStringList(onlyDocs.values()).join(", ")));
        QVERIFY2(onlyEngine.isEmpty(), qPrintable(QStringList(onlyEngine.values()).join(", ")));
    }
};

QTEST_GUILESS_MAIN(TestEffectTable)
#include "test_effect_table.moc"
