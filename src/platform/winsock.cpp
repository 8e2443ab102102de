#include "winsock.h"

#include "host/hostname.h"
#include "rdap/client.h"
#include "rdap/rdap.h"

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
    dropRdap();
    ++m_connectionNumber;
    m_answer.reset(m_remoteHost);
    m_utf8Text = false;
    m_received = 0;
    m_lastByte = '\n';
    m_cut = Cut::None;
    if (rdap::serverForm(m_remoteHost) != rdap::ServerForm::None) {
        // HTTP has no connection of its own to announce: the request goes out with SendData.
        m_http = true;
        m_state = sckConnecting;
        const quint64 request = m_request;
        QMetaObject::invokeMethod(
            this,
            [this, request] {
                if (!current(request) || m_state != sckConnecting)
                    return;
                m_state = sckConnected;
                Q_EMIT Connected();
            },
            Qt::QueuedConnection);
        return;
    }
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
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
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

void Winsock::onReadyRead(QTcpSocket *socket) {
    if (socket != m_socket || m_state != sckConnected || cutIfFull(socket))
        return;
    const qint64 waiting = std::min(socket->bytesAvailable(), MaxAnswer - m_received);
    if (waiting <= 0)
        return;
    Q_EMIT DataArrival(bytesTotal(waiting));
    // The piece that reached the limit may leave bytes behind that no new readyRead announces.
    if (socket == m_socket && m_state == sckConnected)
        cutIfFull(socket);
}

bool Winsock::cutIfFull(QTcpSocket *socket) {
    if (m_received < MaxAnswer || socket->bytesAvailable() == 0)
        return false;
    // More than the limit has come: nothing more is read, and the close tells the server so.
    dropSocket();
    m_cut = Cut::Pending;
    m_state = sckClosing;
    const quint64 connection = m_connectionNumber;
    QMetaObject::invokeMethod(
        this, [this, connection] { handUpCut(connection); }, Qt::QueuedConnection);
    return true;
}

// The end of a cut answer, as a server's close: the cut's text, then Closed.
void Winsock::handUpCut(quint64 connection) {
    if (connection != m_connectionNumber || m_state != sckClosing || m_cut != Cut::Pending)
        return;
    Q_EMIT DataArrival(bytesTotal(m_answer.held() + CutLine().size() + 2));
    if (connection == m_connectionNumber && m_state == sckClosing)
        Q_EMIT Closed();
}

const QString &Winsock::CutLine() {
    static const QString line =
        QStringLiteral("The rest of the answer was not read: it is larger than 64 MiB.");
    return line;
}

void Winsock::onRemoteClosed(QTcpSocket *socket) {
    if (socket != m_socket || m_state != sckClosing)
        return;
    // Bytes still buffered are announced before the close, until the handler stops taking them
    // or the answer reaches its limit.
    qint64 waiting = std::min(socket->bytesAvailable(), MaxAnswer - m_received);
    while (waiting > 0) {
        Q_EMIT DataArrival(bytesTotal(waiting));
        if (socket != m_socket)
            return;
        const qint64 left = std::min(socket->bytesAvailable(), MaxAnswer - m_received);
        if (left >= waiting)
            break;
        waiting = left;
    }
    if (socket == m_socket && cutIfFull(socket))
        return;
    // A sequence left unfinished by the last piece will never be completed now: its bytes are
    // announced on their own, to be read as Windows-1252 (U+FFFD in another set), so that
    // nothing sent is lost.
    if (socket == m_socket && m_answer.held() > 0)
        Q_EMIT DataArrival(bytesTotal(m_answer.held()));
    if (socket == m_socket)
        Q_EMIT Closed();
}

void Winsock::SendData(const QString &data) {
    if (m_http && m_state == sckConnected)
        sendRdap(data);
    else if (m_socket && m_state == sckConnected)
        m_socket->write(WireText::queryBytes(data, m_remoteHost));
}

void Winsock::sendRdap(const QString &data) {
    QStringView query(data);
    if (query.endsWith(u"\r\n"))
        query.chop(2);
    if (!m_rdap) {
        // Made on the first RDAP query: nothing of HTTP or TLS is loaded before one is asked.
        m_rdap = new rdap::Client(this);
        if (m_testBootstrap.isValid())
            m_rdap->setBootstrapBase(m_testBootstrap);
        m_rdap->setExtraCaCertificates(m_testCas);
        connect(m_rdap, &rdap::Client::progress, this, [this] {
            // A sign of life: the handler advances the picture and restarts the count.
            if (m_http && m_state == sckConnected)
                Q_EMIT DataArrival(0);
        });
        // The RDAP answer's body as the server sent it, passed on as it comes (RdapBody).
        connect(m_rdap, &rdap::Client::answerBody, this,
                [this](const QByteArray &body, qsizetype headSize) {
                    if (m_http && m_state == sckConnected)
                        Q_EMIT RdapBody(body, headSize);
                });
        connect(m_rdap, &rdap::Client::finished, this, [this](const QByteArray &text, bool utf8) {
            if (!m_http || m_state != sckConnected)
                return;
            // Rendered text is UTF-8 by construction: a value holding ESC $ B, say, is text,
            // not an ISO-2022-JP designation. A set the user chose is kept.
            m_utf8Text = utf8;
            if (utf8 && m_answer.automatic())
                m_answer.readUtf8Text();
            m_rdapText = text;
            m_rdapRead = 0;
            m_state = sckClosing;
            const quint64 request = m_request;
            QMetaObject::invokeMethod(
                this, [this, request] { handUpRdap(request); }, Qt::QueuedConnection);
        });
    }
    m_rdap->start(m_remoteHost, WireText::aceNames(query));
}

// The end of an RDAP query, as a server's close: the text in pieces, each from the event loop
// so that the window stays responsive, then Closed.
void Winsock::handUpRdap(quint64 request) {
    if (!current(request) || m_state != sckClosing)
        return;
    const qsizetype left = m_rdapText.size() - m_rdapRead;
    if (left > 0) {
        Q_EMIT DataArrival(bytesTotal(std::min<qint64>(left, MaxPiece)));
        if (!current(request))
            return;
        if (m_rdapText.size() - m_rdapRead < left) {
            QMetaObject::invokeMethod(
                this, [this, request] { handUpRdap(request); }, Qt::QueuedConnection);
            return;
        }
    }
    if (m_answer.held() > 0) {
        Q_EMIT DataArrival(bytesTotal(m_answer.held()));
        if (!current(request))
            return;
    }
    Q_EMIT Closed();
}

bool Winsock::GetData(QString &data, int type, qint32 maxLen) {
    if (type != vbString || maxLen < 0)
        return false;
    // Every byte of an answer, from a socket or from RDAP, is read here and only here.
    QByteArray bytes;
    bool last = false; // once the server has closed, the last bytes can finish no sequence
    if (m_http) {
        bytes = m_rdapText.mid(m_rdapRead, maxLen);
        m_rdapRead += bytes.size();
        last = m_state == sckClosing && m_rdapRead == m_rdapText.size();
    } else if (m_socket) {
        bytes = m_socket->read(std::min<qint64>(maxLen, MaxAnswer - m_received));
        m_received += bytes.size();
        last = m_state == sckClosing && m_socket->bytesAvailable() == 0;
    } else if (m_cut == Cut::Pending) {
        // What the decoder still holds, then the cut on a line of its own.
        m_cut = Cut::Done;
        QString added = m_lastByte == '\n' ? QString() : QStringLiteral("\n");
        added += CutLine() + QLatin1Char('\n');
        data = m_answer.finish() + added;
        Q_EMIT TextAdded(added);
        return true;
    } else {
        return false;
    }
    if (!bytes.isEmpty()) {
        m_lastByte = bytes.back();
        Q_EMIT BytesRead(bytes);
    }
    data = m_answer.take(bytes);
    if (last)
        data += m_answer.finish();
    return true;
}

void Winsock::Close() {
    dropSocket();
    dropRdap();
    m_cut = Cut::None;
    m_state = sckClosed;
}

void Winsock::dropRdap() {
    ++m_request;
    m_http = false;
    if (m_rdap)
        m_rdap->abort();
    m_rdapText.clear();
    m_rdapRead = 0;
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
    // The program's one rule for a server's name (host/hostname.h), as the referral rules and
    // the query encoder read it; one trailing dot (the root) is dropped.
    if (host::isIpAddress(host))
        return QHostAddress(host).toString();
    if (host.contains(QLatin1Char(':')))
        return {}; // a malformed IPv6 literal is no host name either
    QString ace = QString::fromLatin1(QUrl::toAce(host));
    if (ace.endsWith(QLatin1Char('.')))
        ace.chop(1);
    return host::isHostName(ace) ? ace : QString();
}
