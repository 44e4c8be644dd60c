#include "PanelRig.h"

#include <QtTest>

class TestPanelRules : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};

EFFECTDEMO_GL_TEST_MAIN(TestPanelRules)
#include "tst_panelrules.moc"
