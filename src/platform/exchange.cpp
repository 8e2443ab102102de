#include "exchange.h"

#include "rdap/client.h"
#include "winsock.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <utility>

rdap::Client *ExchangeSetup::make() {
    // Made on the first RDAP query: nothing of HTTP or TLS is loaded before one is asked.
    if (!m_renderer)
        m_renderer = rdap::Client::oneThreadRenderer();
    auto *client = new rdap::Client(owner, m_renderer);
    if (testBootstrap.isValid())
        client->setBootstrapBase(testBootstrap);
    if (testTopLevel.isValid())
        client->setTopLevelBase(testTopLevel);
    client->setExtraCaCertificates(testCas);
    return client;
}

rdap::Client *ExchangeSetup::rdap() {
    if (!m_rdap)
        m_rdap = make();
    return m_rdap;
}

rdap::Client *ExchangeSetup::rdapAhead() {
    if (!m_rdapAhead)
        m_rdapAhead = make();
    return m_rdapAhead;
}

QString Exchange::take(qint64 maxLen, QByteArray *bytes, QString *added) {
    *bytes = read(maxLen);
    QString text = m_decoder.take(*bytes);
    // Once nothing more can come, the last bytes can finish no sequence.
    if (answerComplete() && waiting() == 0) {
        text += m_decoder.finish();
        if (!m_addedGiven && !m_added.isEmpty()) {
            m_addedGiven = true;
            text += m_added;
            *added = m_added;
        }
    }
    return text;
}

void Exchange::readBy(const QString &answerServer, bool utf8Text, const QString &added,
                      const QByteArray &body, qsizetype headSize) {
    m_answerServer = answerServer;
    m_utf8Text = utf8Text;
    m_added = added;
    m_body = body;
    m_headSize = headSize;
    m_addedGiven = false;
    if (utf8Text)
        m_decoder.readUtf8Text();
    else
        m_decoder.reset(answerServer);
}

TcpExchange::TcpExchange(const QString &server, quint16 port, ExchangeSetup &setup, QObject *parent,
                         quint16 localPort)
    : Exchange(parent)
    , m_server(server)
    , m_port(port)
    , m_localPort(localPort)
    , m_setup(setup) {
    readBy(server, false);
}

const QString &TcpExchange::CutLine() {
    static const QString line =
        QStringLiteral("The rest of the answer was not read: it is larger than 64 MiB.");
    return line;
}

TcpExchange::~TcpExchange() {
    abort();
}

void TcpExchange::abort() {
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    // Deleted later: this may run inside one of the socket's own signals.
    socket->deleteLater();
}

bool TcpExchange::open() {
    QString host = Winsock::resolverHost(m_server);
    if (m_setup.useTestHosts && QHostAddress(host).isNull())
        host = m_setup.testHosts.value(host.toLower());
    if (host.isEmpty())
        return false; // ends like a query to an unreachable server

    auto *socket = new QTcpSocket(this);
    m_socket = socket;
    // Bounded pieces: however fast a server sends, each piece stays short, so the window keeps
    // answering; the rest waits in the system's buffers, held back by TCP flow control.
    socket->setReadBufferSize(MaxPiece);
    connect(socket, &QTcpSocket::connected, this, [this] {
        m_connected = true;
        Q_EMIT status(QStringLiteral("Connected to ") + m_server);
        Q_EMIT opened();
    });
    connect(socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState && !m_connected)
            Q_EMIT failed(); // refused, unreachable or not resolved
    });
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (m_closed || cutIfFull() || waiting() <= 0)
            return;
        Q_EMIT arrived(waiting());
        // The piece that reached the limit may leave bytes behind that no new readyRead
        // announces.
        cutIfFull();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        // A close or a reset by the server; announced from the event loop, not from inside the
        // socket's own signal, so that the handler may close.
        QMetaObject::invokeMethod(this, &TcpExchange::onRemoteClosed, Qt::QueuedConnection);
    });
    Q_EMIT status(QStringLiteral("Connecting .... ") + m_server);
    if (m_localPort != 0)
        socket->bind(m_localPort);
    socket->connectToHost(host, m_setup.testPort != 0 ? m_setup.testPort : m_port);
    return true;
}

void TcpExchange::onRemoteClosed() {
    if (m_closed)
        return;
    m_closed = true;
    Q_EMIT finished();
}

bool TcpExchange::cutIfFull() {
    if (m_taken < MaxAnswer || !m_socket || m_socket->bytesAvailable() == 0)
        return false;
    // More than the limit has come: nothing more is read, and the close tells the server so.
    abort();
    m_added =
        (m_lastByte == '\n' ? QString() : QStringLiteral("\n")) + CutLine() + QLatin1Char('\n');
    if (!m_closed) {
        m_closed = true;
        // Announced from the event loop, like a server's close.
        QMetaObject::invokeMethod(this, &Exchange::finished, Qt::QueuedConnection);
    }
    return true;
}

void TcpExchange::send(const QString &data) {
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(WireText::queryBytes(data, m_server));
}

qint64 TcpExchange::waiting() const {
    if (!m_socket)
        return 0;
    return std::min(m_socket->bytesAvailable(), MaxAnswer - m_taken);
}

QByteArray TcpExchange::read(qint64 maxLen) {
    if (!m_socket)
        return {};
    QByteArray bytes = m_socket->read(std::min(maxLen, MaxAnswer - m_taken));
    m_taken += bytes.size();
    if (!bytes.isEmpty())
        m_lastByte = bytes.back();
    // At the limit, with more waiting (also after the server's close): the answer is cut.
    cutIfFull();
    return bytes;
}

RdapExchange::RdapExchange(const QString &server, ExchangeSetup &setup, QObject *parent,
                           rdap::Client *client)
    : Exchange(parent)
    , m_server(server)
    , m_setup(setup)
    , m_client(client) {
    readBy(server, false);
}

RdapExchange::~RdapExchange() {
    abort();
}

void RdapExchange::abort() {
    if (!m_client)
        return;
    m_client->disconnect(this);
    if (m_answering)
        m_client->abort();
    m_answering = false;
}

bool RdapExchange::open() {
    // HTTP has no connection of its own to announce: the request goes out with send().
    QMetaObject::invokeMethod(this, &Exchange::opened, Qt::QueuedConnection);
    return true;
}

void RdapExchange::send(const QString &data) {
    QStringView query(data);
    if (query.endsWith(u"\r\n"))
        query.chop(2);
    ask(WireText::aceNames(query));
}

void RdapExchange::ask(const QString &text) {
    if (!m_client)
        m_client = m_setup.rdap();
    // One request at a time: the client's signals reach the exchange that asked last.
    m_client->disconnect(this);
    connect(m_client, &rdap::Client::progress, this, [this] {
        if (!m_host.isEmpty())
            Q_EMIT status(QStringLiteral("Connected to ") + std::exchange(m_host, QString()));
        Q_EMIT arrived(0);
    });
    connect(m_client, &rdap::Client::answerBody, this,
            [this](const QByteArray &body, qsizetype headSize) {
                m_body = body;
                m_headSize = headSize;
            });
    connect(m_client, &rdap::Client::ownLinks, this, &RdapExchange::ownLinks);
    // A rendering is shown as it is written: UTF-8 by construction, as the whole text is.
    connect(m_client, &rdap::Client::rendering, this, [this](const QByteArray &piece) {
        if (m_text.isEmpty()) {
            m_utf8Text = true;
            if (m_decoder.automatic())
                m_decoder.readUtf8Text();
        }
        m_text += piece;
        Q_EMIT arrived(m_text.size() - m_read);
    });
    connect(m_client, &rdap::Client::finished, this, [this](const QByteArray &text, bool utf8) {
        m_client->disconnect(this);
        m_answering = false;
        // Rendered text is UTF-8 by construction: a value holding ESC $ B, say, is text, not an
        // ISO-2022-JP designation. A set the user chose is kept.
        m_utf8Text = utf8;
        if (utf8 && m_decoder.automatic())
            m_decoder.readUtf8Text();
        // Its beginning is what the pieces brought, if any, and is taken already.
        m_text = text;
        m_done = true;
        Q_EMIT arrived(m_text.size() - m_read);
        Q_EMIT finished();
    });
    connect(m_client, &rdap::Client::asking, this, [this](const QUrl &url) {
        m_host = url.host();
        Q_EMIT status(QStringLiteral("Connecting .... ") + m_host);
    });
    m_answering = true;
    m_client->start(m_server, text);
}

QByteArray RdapExchange::read(qint64 maxLen) {
    const QByteArray bytes = m_text.mid(m_read, maxLen);
    m_read += bytes.size();
    return bytes;
}
