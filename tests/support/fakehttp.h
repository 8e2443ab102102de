// An HTTP/1.1 server for tests: a real QTcpServer (or QSslServer, for HTTPS) on 127.0.0.1 that
// answers each GET by its path with what the test set for that path, one request a connection.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <memory>

class FakeHttp : public QObject {
public:
    struct Response {
        int status = 200;
        QByteArray reason = "OK";
        QByteArray body;
        QList<QByteArray> headers; // each "Name: value"
        int pieces = 1;            // the body in this many writes,
        int pauseMs = 0;           // this far apart
        bool silent = false;       // reads the request and never answers
        qsizetype breakAfter = -1; // closes the connection after this many bytes of the body
    };

    explicit FakeHttp(QObject *parent = nullptr)
        : QObject(parent) {}

    // Plain HTTP, or HTTPS with this certificate and key.
    bool listen(const QSslConfiguration *tls = nullptr) {
        if (tls) {
            auto *server = new QSslServer(this);
            server->setSslConfiguration(*tls);
            m_server = server;
        } else {
            m_server = new QTcpServer(this);
        }
        m_tls = tls != nullptr;
        // Emitted once a connection is ready to use (for HTTPS: after the handshake).
        QObject::connect(m_server, &QTcpServer::pendingConnectionAvailable, this,
                         [this] { accept(); });
        return m_server->listen(QHostAddress::LocalHost);
    }
    quint16 port() const { return m_server->serverPort(); }
    // The URL of a path on this server ("dns.json", "com/v1/").
    QUrl url(const QString &path = {}) const {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2/%3")
                        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                        .arg(port())
                        .arg(path));
    }

    // What a GET of the path (as the request line carries it, from its "/") gets; any other
    // path gets 404 with no body.
    void on(const QByteArray &path, const Response &response) { m_responses[path] = response; }
    void json(const QByteArray &path, const QByteArray &body) {
        on(path, {200, "OK", body, {"Content-Type: application/rdap+json"}});
    }
    void redirect(const QByteArray &path, const QUrl &to) {
        on(path, {302, "Found", {}, {"Location: " + to.toEncoded()}});
    }

    // How many requests asked for the path.
    int count(const QByteArray &path) const { return m_counts.value(path); }
    // Each request's head, in order.
    const QList<QByteArray> &requests() const { return m_requests; }
    int closedByClient() const { return m_closedByClient; }

private:
    void accept() {
        while (QTcpSocket *s = m_server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            auto answered = std::make_shared<bool>(false);
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, buffer, answered] {
                buffer->append(s->readAll());
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (*answered || end < 0)
                    return;
                *answered = true;
                const QByteArray head = buffer->left(end);
                m_requests.append(head);
                const QByteArray path = head.split(' ').value(1);
                ++m_counts[path];
                answer(s, m_responses.value(path, {404, "Not Found", {}, {}, 1, 0, false}));
            });
            QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] {
                if (!s->property("closedByServer").toBool())
                    ++m_closedByClient;
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    void answer(QTcpSocket *s, const Response &r) {
        if (r.silent)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + r.reason + "\r\n";
        for (const QByteArray &h : r.headers)
            head += h + "\r\n";
        head += "Content-Length: " + QByteArray::number(r.body.size()) +
                "\r\nConnection: close\r\n\r\n";
        s->write(head);
        const qsizetype piece = (r.body.size() + r.pieces - 1) / std::max(1, r.pieces);
        QPointer<QTcpSocket> socket(s);
        auto offset = std::make_shared<qsizetype>(0);
        auto step = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> self = step; // the pending timer owns the chain
        *step = [this, socket, r, piece, offset, self] {
            if (!socket)
                return;
            const qsizetype end = r.breakAfter >= 0 ? r.breakAfter : r.body.size();
            if (*offset >= end) {
                socket->setProperty("closedByServer", true);
                socket->disconnectFromHost();
                return;
            }
            socket->write(r.body.mid(*offset, std::min(piece, end - *offset)));
            *offset += piece;
            QTimer::singleShot(*offset >= end ? 0 : r.pauseMs, this,
                               [next = self.lock()] { (*next)(); });
        };
        (*step)();
    }

    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QHash<QByteArray, Response> m_responses;
    QHash<QByteArray, int> m_counts;
    QList<QByteArray> m_requests;
    int m_closedByClient = 0;
};
