#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThread>

class QTcpServer;

// A small HTTP/1.1 server on 127.0.0.1, on a thread of its own so that the
// blocking downloader under test meets a real peer.
class TestHttpServer
{
public:
    struct Route
    {
        enum class Mode { Normal, ResetMidBody, Trickle };
        int status = 200;
        QByteArray body;
        QString filePath;        // streams this file instead of body
        bool sendLength = true;
        Mode mode = Mode::Normal;
        int trickleBytes = 16;   // per tick
        int trickleIntervalMs = 50;
        QByteArray contentEncoding; // sent as Content-Encoding when set
    };

    TestHttpServer();
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    void setRoute(const QString &path, const Route &route);
    QString url(const QString &path) const;
    int requestCount(const QString &path) const;
    // The head (request line and headers) of the last request for path.
    QByteArray lastRequestHead(const QString &path) const;
    quint16 port() const { return m_port; }

    // Used by the connections on the server thread.
    bool route(const QString &path, const QByteArray &head, Route *out);

private:
    QThread m_thread;
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QHash<QString, Route> m_routes;
    QHash<QString, int> m_counts;
    QHash<QString, QByteArray> m_heads;
};
