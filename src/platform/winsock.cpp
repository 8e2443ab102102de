#include "winsock.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace {
// DataArrival's count of waiting bytes, which its 32-bit argument must hold.
qint32 bytesTotal(qint64 waiting) {
    return static_cast<qint32>(std::min<qint64>(waiting, std::numeric_limits<qint32>::max()));
}
} // namespace

Winsock::Winsock(QObject *parent)
    : QObject(parent) {}

Winsock::~Winsock() {
    if (m_socket)
        m_socket->abort();
}

void Winsock::Connect() {
    dropSocket();
    ++m_connectionNumber;
    m_answer.reset(m_remoteHost);
    QString host = resolverHost(m_remoteHost);
    if (m_useTestHosts && QHostAddress(host).isNull())
        host = m_testHosts.value(host.toLower());
    if (host.isEmpty()) {
        // Unusable host text: the query ends like one to an unreachable server.
        m_state = sckError;
        return;
    }

    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    // Bounded pieces: however fast a server sends, each DataArrival stays short, so the window
    // keeps answering; the rest waits in the system's buffers, held back by TCP flow control.
    socket->setReadBufferSize(MaxPiece);
    // Every handler first checks that its socket is still the current one, so nothing of a
    // closed or replaced connection (not even an already queued signal) reaches the program.
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket != m_socket)
            return;
        m_state = sckConnected;
        Q_EMIT Connected();
    });
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket != m_socket || m_state != sckConnected)
            return;
        const qint64 waiting = socket->bytesAvailable();
        if (waiting > 0)
            Q_EMIT DataArrival(bytesTotal(waiting));
    });
    connect(socket, &QTcpSocket::stateChanged, this,
            [this, socket](QAbstractSocket::SocketState state) {
                if (socket != m_socket)
                    return;
                switch (state) {
                case QAbstractSocket::HostLookupState:
                    m_state = sckResolvingHost;
                    break;
                case QAbstractSocket::ConnectingState:
                    m_state = sckConnecting;
                    break;
                case QAbstractSocket::UnconnectedState:
                    if (m_state == sckConnected) {
                        // A close or a reset by the server. Announced from the event loop,
                        // not from inside the socket's own signal, so the handler may close.
                        m_state = sckClosing;
                        QMetaObject::invokeMethod(
                            this, [this, socket] { onRemoteClosed(socket); }, Qt::QueuedConnection);
                    } else if (m_state != sckClosing) {
                        m_state = sckError; // refused, unreachable or not resolved
                    }
                    break;
                default:
                    break;
                }
            });

    m_state = sckResolvingHost;
    if (m_localPort != 0)
        socket->bind(m_localPort);
    socket->connectToHost(host, m_testPort != 0 ? m_testPort : m_remotePort);
}

void Winsock::onRemoteClosed(QTcpSocket *socket) {
    if (socket != m_socket || m_state != sckClosing)
        return;
    // Bytes still buffered are announced before the close, until the handler stops taking them.
    qint64 waiting = socket->bytesAvailable();
    while (waiting > 0) {
        Q_EMIT DataArrival(bytesTotal(waiting));
        if (socket != m_socket)
            return;
        const qint64 left = socket->bytesAvailable();
        if (left >= waiting)
            break;
        waiting = left;
    }
    // A sequence left unfinished by the last piece will never be completed now: its bytes are
    // announced on their own, to be read as Windows-1252 (U+FFFD in another set), so that
    // nothing sent is lost.
    if (socket == m_socket && m_answer.held() > 0)
        Q_EMIT DataArrival(bytesTotal(m_answer.held()));
    if (socket == m_socket)
        Q_EMIT Closed();
}

void Winsock::SendData(const QString &data) {
    if (m_socket && m_state == sckConnected)
        m_socket->write(WireText::queryBytes(data, m_remoteHost));
}

bool Winsock::GetData(QString &data, int type, qint32 maxLen) {
    if (!m_socket || type != vbString || maxLen < 0)
        return false;
    const QByteArray bytes = m_socket->read(maxLen);
    if (!bytes.isEmpty())
        Q_EMIT BytesRead(bytes);
    data = m_answer.take(bytes);
    // Once the server has closed, the last of its bytes can finish no sequence.
    if (m_state == sckClosing && m_socket->bytesAvailable() == 0)
        data += m_answer.finish();
    return true;
}

void Winsock::Close() {
    dropSocket();
    m_state = sckClosed;
}

void Winsock::dropSocket() {
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    // Deleted later: this may run inside one of the socket's own signals.
    socket->deleteLater();
}

QString Winsock::resolverHost(const QString &text) {
    QString host = text.trimmed();
    if (host.size() >= 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.isEmpty())
        return {};

    QHostAddress address;
    if (address.setAddress(host))
        return address.toString();
    if (host.contains(QLatin1Char(':')))
        return {}; // a malformed IPv6 literal is no host name either

    const QByteArray ace = QUrl::toAce(host);
    if (ace.isEmpty() || ace.size() > 254)
        return {};
    for (const char c : ace) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!ok)
            return {};
    }
    if (ace.startsWith('.') || ace.contains(".."))
        return {};
    return QString::fromLatin1(ace);
}
