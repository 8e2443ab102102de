// A WHOIS server for tests: a real QTcpServer on a loopback address that reads one request
// line per connection and answers as the test tells it to.
#pragma once

#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

class FakeWhois : public QObject {
public:
    // What the server does once a connection's request line (up to CR LF) has arrived.
    using Responder = std::function<void(QTcpSocket *socket, const QByteArray &request)>;

    explicit FakeWhois(QObject *parent = nullptr)
        : QObject(parent)
        , m_server(new QTcpServer(this)) {
        QObject::connect(m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0) {
        return m_server->listen(address, port);
    }
    quint16 port() const { return m_server->serverPort(); }
    QString host() const { return m_server->serverAddress().toString(); }

    void setResponder(Responder responder) { m_responder = std::move(responder); }
    // Answers with these bytes, then closes.
    void answerAndClose(const QByteArray &answer) {
        setResponder([answer](QTcpSocket *s, const QByteArray &) {
            s->write(answer);
            closeFromServer(s);
        });
    }
    // Accepts and never answers.
    void staySilent() {
        setResponder([](QTcpSocket *, const QByteArray &) {});
    }
    // Answers in pieces of random size (1..maxPiece) with a random pause of 0..maxDelayMs
    // between them, then closes.
    void answerInPieces(const QByteArray &answer, quint32 seed, int maxPiece, int maxDelayMs) {
        setResponder([this, answer, seed, maxPiece, maxDelayMs](QTcpSocket *s, const QByteArray &) {
            auto rng = std::make_shared<QRandomGenerator>(seed);
            auto offset = std::make_shared<qsizetype>(0);
            auto step = std::make_shared<std::function<void()>>();
            std::weak_ptr<std::function<void()>> self = step; // the pending timer owns the chain
            QPointer<QTcpSocket> socket(s);
            *step = [=] {
                if (!socket)
                    return;
                if (*offset >= answer.size()) {
                    closeFromServer(socket);
                    return;
                }
                const int piece = 1 + int(rng->bounded(quint32(maxPiece)));
                socket->write(answer.mid(*offset, piece));
                socket->flush();
                *offset += piece;
                QTimer::singleShot(int(rng->bounded(quint32(maxDelayMs + 1))), this,
                                   [next = self.lock()] { (*next)(); });
            };
            (*step)();
        });
    }

    // Closes a connection from the server's side (not counted as closed by the client).
    static void closeFromServer(QTcpSocket *s) {
        s->setProperty("closedByServer", true);
        s->disconnectFromHost();
    }

    // Sends up to total bytes of the pattern, as fast as the client takes them, then closes.
    // sent() tells how far it got.
    void flood(qint64 total, const QByteArray &pattern) {
        setResponder([this, total, pattern](QTcpSocket *s, const QByteArray &) {
            auto more = [this, s, total, pattern] {
                while (m_sent < total && s->bytesToWrite() < 4 * pattern.size()) {
                    const QByteArray piece =
                        pattern.left(int(std::min<qint64>(pattern.size(), total - m_sent)));
                    s->write(piece);
                    m_sent += piece.size();
                }
                if (m_sent >= total && !s->property("closedByServer").toBool())
                    closeFromServer(s);
            };
            QObject::connect(s, &QTcpSocket::bytesWritten, s, more);
            more();
        });
    }
    qint64 sent() const { return m_sent; }

    int connections() const { return m_connections; }
    int closedByClient() const { return m_closedByClient; }
    const QList<QByteArray> &requests() const { return m_requests; }
    // Every byte each connection received, in order of connection.
    QByteArray received(int connection) const { return m_received.value(connection); }
    QTcpSocket *lastSocket() const {
        return m_sockets.isEmpty() ? nullptr : m_sockets.last().data();
    }

    static QByteArray readFile(const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    void accept() {
        while (QTcpSocket *s = m_server->nextPendingConnection()) {
            const int index = m_connections++;
            m_sockets.append(s);
            m_received.append(QByteArray());
            auto buffer = std::make_shared<QByteArray>();
            auto answered = std::make_shared<bool>(false);
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s, buffer, answered, index] {
                const QByteArray bytes = s->readAll();
                m_received[index].append(bytes);
                buffer->append(bytes);
                const qsizetype end = buffer->indexOf("\r\n");
                if (*answered || end < 0)
                    return;
                *answered = true;
                m_requests.append(buffer->left(end + 2));
                if (m_responder)
                    m_responder(s, buffer->left(end + 2));
            });
            QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] {
                if (s->property("closedByServer").toBool())
                    return;
                ++m_closedByClient;
            });
            QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }

    QTcpServer *m_server;
    Responder m_responder;
    int m_connections = 0;
    int m_closedByClient = 0;
    QList<QByteArray> m_requests;
    QList<QByteArray> m_received;
    qint64 m_sent = 0;
    QList<QPointer<QTcpSocket>> m_sockets;
};
