#include "winsock.h"

#include "host/hostname.h"
#include "rdap/lookup.h"
#include "rdap/rdap.h"

#include <QHostAddress>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <utility>

namespace {
// DataArrival's count of waiting bytes, which its 32-bit argument must hold.
qint32 bytesTotal(qint64 waiting) {
    return static_cast<qint32>(std::min<qint64>(waiting, std::numeric_limits<qint32>::max()));
}
} // namespace

Winsock::Winsock(QObject *parent)
    : QObject(parent) {
    m_setup.owner = this;
}

Winsock::~Winsock() {
    if (m_exchange)
        m_exchange->abort();
}

void Winsock::Connect() {
    drop();
    ++m_answerNumber;
    Exchange *exchange = nullptr;
    if (lookup::isAuto(m_remoteHost))
        exchange = new LookupExchange(m_setup, this);
    else if (rdap::serverForm(m_remoteHost) != rdap::ServerForm::None)
        exchange = new RdapExchange(m_remoteHost, m_setup, this);
    else
        exchange = new TcpExchange(m_remoteHost, m_remotePort, m_setup, this, m_localPort);
    m_exchange = exchange;
    m_streaming = qobject_cast<TcpExchange *>(exchange) != nullptr;
    m_handUpQueued = false;

    // Every handler first checks that its exchange is still the current one, so nothing of a
    // closed or replaced one (not even an already queued signal) reaches the program.
    connect(exchange, &Exchange::opened, this, [this, exchange] {
        if (exchange != m_exchange || m_state == sckConnected)
            return;
        m_state = sckConnected;
        Q_EMIT Connected();
    });
    connect(exchange, &Exchange::failed, this, [this, exchange] {
        if (exchange == m_exchange && m_state != sckConnected)
            m_state = sckError; // refused, unreachable or not resolved
    });
    connect(exchange, &Exchange::arrived, this, [this, exchange](qint64 waiting) {
        if (exchange != m_exchange || m_state != sckConnected)
            return;
        if (waiting == 0)
            Q_EMIT DataArrival(0); // a sign of life: the picture advances, the count restarts
        else if (m_streaming)
            Q_EMIT DataArrival(bytesTotal(waiting));
        else
            queueHandUp();
    });
    connect(exchange, &Exchange::finished, this, [this, exchange] {
        if (exchange != m_exchange || m_state != sckConnected)
            return;
        // Like a server's close: what is still waiting is handed up first, then Closed.
        m_state = sckClosing;
        queueHandUp();
    });
    if (qobject_cast<LookupExchange *>(exchange))
        connect(exchange, &Exchange::status, this, [this, exchange](const QString &line) {
            if (exchange == m_exchange && m_state == sckConnected)
                Q_EMIT Status(line);
        });

    m_state = sckConnecting;
    if (!exchange->open())
        m_state = sckError; // an unusable host text ends like an unreachable server
}

void Winsock::queueHandUp() {
    if (m_handUpQueued)
        return;
    m_handUpQueued = true;
    const quint64 request = m_request;
    QMetaObject::invokeMethod(
        this, [this, request] { handUp(request); }, Qt::QueuedConnection);
}

// Answers that are complete, in pieces, each from the event loop so that the window stays
// responsive; bytes a complete answer leaves unfinished on their own; then the next answer,
// and after the last one Closed.
void Winsock::handUp(quint64 request) {
    if (!current(request))
        return;
    m_handUpQueued = false;
    const qint64 left = m_exchange->waiting();
    if (left > 0) {
        Q_EMIT DataArrival(bytesTotal(std::min(left, MaxPiece)));
        if (!current(request))
            return;
        // Until the handler stops taking them.
        if (m_exchange->waiting() < left) {
            queueHandUp();
            return;
        }
    }
    if (m_exchange->answerComplete() && m_exchange->unfinished() > 0) {
        // A sequence left unfinished will never be completed now: its bytes are announced on
        // their own, to be read as Windows-1252 (U+FFFD in another set), so nothing is lost;
        // so is the line of a cut answer.
        Q_EMIT DataArrival(bytesTotal(m_exchange->unfinished()));
        if (!current(request))
            return;
    }
    if (m_exchange->nextAnswer()) {
        ++m_answerNumber;
        Q_EMIT AnswerBegins();
        if (current(request))
            queueHandUp();
        return;
    }
    if (m_state == sckClosing && m_exchange->ended())
        Q_EMIT Closed();
}

void Winsock::SendData(const QString &data) {
    if (m_exchange && m_state == sckConnected)
        m_exchange->send(data);
}

bool Winsock::GetData(QString &data, int type, qint32 maxLen) {
    if (type != vbString || maxLen < 0 || !m_exchange ||
        (m_state != sckConnected && m_state != sckClosing))
        return false;
    // Every byte of an answer, whichever way it was asked, is read here and only here.
    QByteArray bytes;
    QString added;
    data = m_exchange->take(maxLen, &bytes, &added);
    if (!bytes.isEmpty())
        Q_EMIT BytesRead(bytes);
    if (!added.isEmpty())
        Q_EMIT TextAdded(added);
    return true;
}

QString Winsock::AnswerServer() const {
    return m_exchange ? m_exchange->answerServer() : QString();
}

bool Winsock::AnswerIsUtf8Text() const {
    return m_exchange && m_exchange->utf8Text();
}

QByteArray Winsock::AnswerBody() const {
    return m_exchange ? m_exchange->body() : QByteArray();
}

qsizetype Winsock::AnswerHeadSize() const {
    return m_exchange ? m_exchange->headSize() : -1;
}

void Winsock::SetAnswerDecoder(AnswerDecoder decoder) {
    if (m_exchange)
        m_exchange->setDecoder(std::move(decoder));
}

void Winsock::Close() {
    drop();
    m_state = sckClosed;
}

void Winsock::drop() {
    ++m_request;
    m_handUpQueued = false;
    if (!m_exchange)
        return;
    Exchange *exchange = std::exchange(m_exchange, nullptr);
    exchange->disconnect(this);
    exchange->abort();
    // Deleted later: this may run inside one of the exchange's own signals.
    exchange->deleteLater();
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
