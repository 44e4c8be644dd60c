#pragma once

// Collects the debug log of the code under test (from any thread) so a test
// can check which lines were written.

#include <mutex>

#include <QStringList>
#include <QtGlobal>

class LogCapture
{
public:
    LogCapture() { s_instance = this; m_previous = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_instance = nullptr;
    }

    // A deep copy: the list keeps growing on other threads.
    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QStringList copy;
        copy.reserve(m_lines.size());
        for (const QString &line : m_lines)
            copy.append(QString(line.constData(), line.size()));
        return copy;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }
    bool contains(const QString &text) const
    {
        const QStringList all = lines();
        for (const QString &line : all)
            if (line.contains(text))
                return true;
        return false;
    }
    int count(const QString &text) const
    {
        int n = 0;
        const QStringList all = lines();
        for (const QString &line : all)
            n += line.contains(text) ? 1 : 0;
        return n;
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (LogCapture *self = s_instance) {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_lines.append(QString(message.constData(), message.size()));
        }
        if (type == QtFatalMsg || type == QtWarningMsg || type == QtCriticalMsg) {
            if (s_instance && s_instance->m_previous)
                s_instance->m_previous(type, context, message);
        }
    }

    static inline LogCapture *s_instance = nullptr;
    QtMessageHandler m_previous = nullptr;
    mutable std::mutex m_mutex;
    QStringList m_lines;
};
