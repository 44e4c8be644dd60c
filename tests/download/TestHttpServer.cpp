#include "TestHttpServer.h"

#include <QFile>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// One client connection: reads the request head, then answers by route.
class Connection : public QObject
{
public:
    Connection(QTcpSocket *socket, TestHttpServer *owner)
        : QObject(socket), m_socket(socket), m_owner(owner)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void onReadyRead()
    {
        if (m_answered)
            return;
        m_request += m_socket->readAll();
        if (!m_request.contains("\r\n\r\n"))
            return;
        m_answered = true;
        const QList<QByteArray> requestLine = m_request.left(m_request.indexOf("\r\n")).split(' ');
        const QString path = requestLine.size() > 1 ? QString::fromUtf8(requestLine.at(1)) : QString();
        if (!m_owner->route(path, m_request.left(m_request.indexOf("\r\n\r\n")), &m_route)) {
            m_route = TestHttpServer::Route();
            m_route.status = 404;
            m_route.body = "not found";
        }
        if (!m_route.filePath.isEmpty()) {
            m_file.setFileName(m_route.filePath);
            m_file.open(QIODevice::ReadOnly);
        }
        const qint64 length = m_route.filePath.isEmpty() ? m_route.body.size() : m_file.size();
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_route.status) + ' '
                          + reason(m_route.status) + "\r\n"
                          + "Content-Type: application/octet-stream\r\nConnection: close\r\n";
        if (!m_route.contentEncoding.isEmpty())
            head += "Content-Encoding: " + m_route.contentEncoding + "\r\n";
        if (m_route.sendLength)
            head += "Content-Length: " + QByteArray::number(length) + "\r\n";
        head += "\r\n";
        m_socket->write(head);

        switch (m_route.mode) {
        case TestHttpServer::Route::Mode::Normal:
            connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { feed(); });
            feed();
            break;
        case TestHttpServer::Route::Mode::ResetMidBody:
            m_socket->write(m_route.body.left(m_route.body.size() / 2));
            connect(m_socket, &QTcpSocket::bytesWritten, this, [this] {
                if (m_socket->bytesToWrite() == 0)
                    resetConnection();
            });
            break;
        case TestHttpServer::Route::Mode::Trickle: {
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, timer] {
                if (m_socket->state() != QAbstractSocket::ConnectedState) {
                    timer->stop();
                    return;
                }
                m_socket->write(m_route.body.mid(m_sent, m_route.trickleBytes));
                m_sent += m_route.trickleBytes;
                if (m_sent >= m_route.body.size()) {
                    timer->stop();
                    m_socket->disconnectFromHost();
                }
            });
            timer->start(m_route.trickleIntervalMs);
            break;
        }
        }
    }

    // Keeps at most a few chunks queued, so a large file is streamed.
    void feed()
    {
        if (m_done)
            return;
        while (m_socket->bytesToWrite() < 1024 * 1024) {
            QByteArray chunk;
            if (m_file.isOpen()) {
                chunk = m_file.read(256 * 1024);
            } else {
                chunk = m_route.body.mid(m_sent, 256 * 1024);
                m_sent += chunk.size();
            }
            if (chunk.isEmpty()) {
                m_done = true;
                m_socket->disconnectFromHost();
                return;
            }
            m_socket->write(chunk);
        }
    }

    // A hard reset (RST) instead of an orderly close.
    void resetConnection()
    {
        const linger noLinger{1, 0};
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger,
                     sizeof noLinger);
        m_socket->abort();
    }

    QTcpSocket *m_socket;
    TestHttpServer *m_owner;
    QByteArray m_request;
    TestHttpServer::Route m_route;
    QFile m_file;
    int m_sent = 0;
    bool m_answered = false;
    bool m_done = false;
};

} // namespace

TestHttpServer::TestHttpServer()
{
    m_thread.start();
    auto *server = new QTcpServer;
    server->moveToThread(&m_thread);
    QMetaObject::invokeMethod(server, [this, server] {
        QObject::connect(server, &QTcpServer::newConnection, server, [this, server] {
            while (QTcpSocket *socket = server->nextPendingConnection())
                new Connection(socket, this);
        });
        server->listen(QHostAddress::LocalHost, 0);
        m_port = server->serverPort();
    }, Qt::BlockingQueuedConnection);
    m_server = server;
}

TestHttpServer::~TestHttpServer()
{
    QMetaObject::invokeMethod(m_server, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void TestHttpServer::setRoute(const QString &path, const Route &route)
{
    QMutexLocker lock(&m_mutex);
    m_routes.insert(path, route);
}

QString TestHttpServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

int TestHttpServer::requestCount(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    return m_counts.value(path);
}

QByteArray TestHttpServer::lastRequestHead(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    return m_heads.value(path);
}

bool TestHttpServer::route(const QString &path, const QByteArray &head, Route *out)
{
    QMutexLocker lock(&m_mutex);
    ++m_counts[path];
    m_heads.insert(path, head);
    auto it = m_routes.constFind(path);
    if (it == m_routes.constEnd())
        return false;
    *out = *it;
    return true;
}
