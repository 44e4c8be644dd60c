#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

// Collects the log lines of the code under test (and keeps them off the
// test output) while it is alive.
class LogCapture
{
public:
    LogCapture()
    {
        instance() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }

    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    bool contains(const QString &text) const { return count(text) > 0; }
    int count(const QString &text) const
    {
        int n = 0;
        for (const QString &line : lines())
            n += line.contains(text) ? 1 : 0;
        return n;
    }
    // Lines of one level that contain the text.
    bool contains(QtMsgType type, const QString &text) const
    {
        QMutexLocker lock(&m_mutex);
        for (int i = 0; i < m_lines.size(); ++i)
            if (m_types.at(i) == type && m_lines.at(i).contains(text))
                return true;
        return false;
    }
    void clear()
    {
        QMutexLocker lock(&m_mutex);
        m_lines.clear();
        m_types.clear();
    }

private:
    static LogCapture *&instance()
    {
        static LogCapture *current = nullptr;
        return current;
    }
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (LogCapture *self = instance()) {
            QMutexLocker lock(&self->m_mutex);
            self->m_lines.append(message);
            self->m_types.append(type);
        }
    }

    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
    QList<QtMsgType> m_types;
};
