// A WHOIS server for tests: a real QTcpServer on a loopback address that reads one request
// line per connection and answers as the test tells it to.
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
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

    // How feed() sends: writes of at most `piece` bytes with no more than `queued` of them
    // waiting in the socket, the block over and over (cycle) or once, and, with seconds > 0,
    // for no longer than that after the request.
    struct Pace {
        qint64 piece;
        int queued;
        bool cycle;
        double seconds = 0;
    };

    // Sends up to total bytes of the block at that pace, as fast as the client takes them,
    // then closes. sent() tells how far it got.
    void feed(const QByteArray &block, qint64 total, Pace pace) {
        setResponder([this, block, total, pace](QTcpSocket *s, const QByteArray &) {
            auto sent = std::make_shared<qint64>(0);
            auto end = std::make_shared<qint64>(total);
            auto clock = std::make_shared<QElapsedTimer>();
            clock->start();
            auto more = [this, s, block, pace, sent, end, clock] {
                if (s->property("closedByServer").toBool())
                    return;
                while (*sent < *end && s->bytesToWrite() < pace.queued * pace.piece) {
                    if (pace.seconds > 0 && clock->elapsed() > qint64(pace.seconds * 1000)) {
                        *end = *sent;
                        break;
                    }
                    const qint64 offset = pace.cycle ? *sent % block.size() : *sent;
                    const qint64 n =
                        std::min({pace.piece, *end - *sent, qint64(block.size()) - offset});
                    s->write(block.constData() + offset, n);
                    *sent += n;
                    m_sent += n;
                }
                if (*sent >= *end)
                    closeFromServer(s); // after the queued bytes are out
            };
            QObject::connect(s, &QTcpSocket::bytesWritten, s, more);
            more();
        });
    }
    // Sends up to total bytes of the pattern, repeated, as fast as the client takes them.
    void flood(qint64 total, const QByteArray &pattern) {
        feed(pattern, total, {pattern.size(), 4, true});
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
