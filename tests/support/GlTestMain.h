#pragma once

#include <QApplication>
#include <QSurfaceFormat>
#include <QtTest>

// QTEST_MAIN for suites that draw with OpenGL: the program's 4.1 core default
// format has to be set before the application object exists.
#define EFFECTDEMO_GL_TEST_MAIN(TestClass)                                   \
    int main(int argc, char *argv[])                                        \
    {                                                                       \
        QSurfaceFormat format;                                              \
        format.setRenderableType(QSurfaceFormat::OpenGL);                   \
        format.setProfile(QSurfaceFormat::CoreProfile);                     \
        format.setVersion(4, 1);                                            \
        QSurfaceFormat::setDefaultFormat(format);                           \
        QApplication app(argc, argv);                                       \
        TestClass test;                                                     \
        return QTest::qExec(&test, argc, argv);                             \
    }
