// The loopback servers, each in a process of its own, so that neither their memory nor their
// CPU time counts for the window being measured.
#include "answer.h"
#include "modes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace bench {

namespace {

// Sends one answer over one connection once its request line has arrived: in writes of
// ChunkSize with at most two of them queued, then closes. A cycling feeder repeats its block
// until `total` bytes or `seconds` have gone by.
class Feeder : public QObject {
public:
    Feeder(QTcpSocket *socket, const QByteArray &block, qint64 total, bool cycle, double seconds)
        : QObject(socket)
        , m_socket(socket)
        , m_block(block)
        , m_total(total)
        , m_cycle(cycle)
        , m_seconds(seconds) {
        connect(socket, &QTcpSocket::readyRead, this, &Feeder::onRead);
        connect(socket, &QTcpSocket::bytesWritten, this, &Feeder::feed);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    void onRead() {
        m_request += m_socket->readAll();
        if (m_started || !m_request.contains("\r\n"))
            return;
        m_started = true;
        m_clock.start();
        feed();
    }

    void feed() {
        if (!m_started || m_closing)
            return;
        while (m_sent < m_total && m_socket->bytesToWrite() < 2 * ChunkSize) {
            if (m_seconds > 0 && m_clock.elapsed() > qint64(m_seconds * 1000)) {
                m_total = m_sent;
                break;
            }
            const qint64 offset = m_cycle ? m_sent % m_block.size() : m_sent;
            const qint64 n =
                std::min<qint64>({ChunkSize, m_total - m_sent, m_block.size() - offset});
            m_socket->write(m_block.constData() + offset, n);
            m_sent += n;
        }
        if (m_sent >= m_total) {
            m_closing = true;
            m_socket->disconnectFromHost(); // after the queued bytes are out
        }
    }

    QTcpSocket *m_socket;
    const QByteArray &m_block;
    qint64 m_total;
    bool m_cycle;
    double m_seconds;
    QByteArray m_request;
    QElapsedTimer m_clock;
    qint64 m_sent = 0;
    bool m_started = false;
    bool m_closing = false;
};

// Loopback addresses 127.0.0.1 to 127.0.0.count all listening on one port.
bool listenShared(QList<QTcpServer *> &servers, int count) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        qDeleteAll(servers);
        servers.clear();
        quint16 port = 0;
        bool ok = true;
        for (int i = 1; i <= count && ok; ++i) {
            auto *server = new QTcpServer;
            servers.append(server);
            ok = server->listen(QHostAddress(QStringLiteral("127.0.0.%1").arg(i)), port);
            port = server->serverPort();
        }
        if (ok)
            return true;
    }
    return false;
}

} // namespace

int serverMain(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(2);
    const QString mode = args.value(0);

    QByteArray block;
    qint64 total = 0;
    double seconds = 0;
    bool cycle = false;
    if (mode == QLatin1String("answer")) {
        total = args.value(1).toLongLong();
        block = whoisAnswer(total, answerTextFromArg(args.value(2)));
    } else if (mode == QLatin1String("flood")) {
        total = args.value(1).toLongLong();
        seconds = args.value(2).toDouble();
        block = whoisAnswer(4 * MiB);
        cycle = true;
    } else if (mode != QLatin1String("silent")) {
        std::fprintf(stderr, "unknown server mode\n");
        return 2;
    }

    QList<QTcpServer *> servers;
    if (!listenShared(servers, mode == QLatin1String("silent") ? 8 : 1)) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 1;
    }
    for (QTcpServer *server : servers) {
        QObject::connect(server, &QTcpServer::newConnection, server, [=, &block] {
            while (QTcpSocket *s = server->nextPendingConnection()) {
                if (block.isEmpty()) // silent: takes the request and never answers
                    QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
                else
                    new Feeder(s, block, total, cycle, seconds);
            }
        });
    }
    std::printf("port %u\n", unsigned(servers.first()->serverPort()));
    std::fflush(stdout);
    QTimer::singleShot(300 * 1000, &app, &QCoreApplication::quit); // never outlives the bench
    const int rc = QCoreApplication::exec();
    qDeleteAll(servers);
    return rc;
}

} // namespace bench
