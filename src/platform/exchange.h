#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QUrl>

#include "rdap/lookup.h"
#include "wiretext.h"

#include <deque>
#include <memory>

class QTcpSocket;
namespace rdap {
class Client;
}

// What the control's test seams and its one RDAP client are, shared by every way of asking.
struct ExchangeSetup {
    quint16 testPort = 0;
    bool useTestHosts = false;
    QHash<QString, QString> testHosts;
    QUrl testBootstrap;
    QUrl testTopLevel;
    QList<QSslCertificate> testCas;
    // The control, which owns the RDAP client.
    QObject *owner = nullptr;
    // Made on the first RDAP query and kept: it holds the bootstrap files.
    rdap::Client *rdap();
    // A second one, made on auto's first registrar asked ahead: it asks a base URL while the
    // first renders the registry's answer.
    rdap::Client *rdapAhead();

private:
    rdap::Client *make();

    QPointer<rdap::Client> m_rdap;
    QPointer<rdap::Client> m_rdapAhead;
    // Both render on one thread: the registrar's body waits behind the registry's, whose text
    // is shown first anyway, and the other core stays free for the window, whose painting
    // Qt spreads over threads of its own that the window then waits for.
    std::shared_ptr<QThreadPool> m_renderer;
};

// What answers a query beneath the TCP control: one way of asking. The control opens it, sends
// it the query once it is open, takes the answers' bytes as they become waiting and reads them
// as text by the rules of the answer they belong to, and announces the end once every answer
// has been taken. One answer after another: once one is taken whole, nextAnswer() moves on.
class Exchange : public QObject {
    Q_OBJECT
public:
    explicit Exchange(QObject *parent)
        : QObject(parent) {}

    // Starts asking; opened() follows once the query may be sent. A server text that cannot be
    // used gives false, and nothing follows.
    virtual bool open() = 0;
    // The query as SendData has it, with its CR LF.
    virtual void send(const QString &data) = 0;
    // Stops at once: no signal follows.
    virtual void abort() = 0;
    // Bytes of the current answer waiting to be taken.
    virtual qint64 waiting() const = 0;
    // Takes up to maxLen of them, as they came.
    virtual QByteArray read(qint64 maxLen) = 0;
    // True once the current answer has no more bytes to come.
    virtual bool answerComplete() const = 0;
    // Moves on to the next answer when one is complete and the current one taken; false if
    // none is ready (yet).
    virtual bool nextAnswer() { return false; }
    // True once every answer is complete: nothing else will come.
    virtual bool ended() const = 0;

    // The current answer's bytes as text, read by its rules (or by the decoder the user chose);
    // the bytes a complete answer leaves unfinished come at its end, and then the text the
    // answer ends with beyond its bytes (a cut's line), which also goes to `added`.
    QString take(qint64 maxLen, QByteArray *bytes, QString *added);
    // What a complete answer still has to hand up once its bytes are taken.
    qsizetype unfinished() const { return m_decoder.held() + (m_addedGiven ? 0 : m_added.size()); }
    void setDecoder(AnswerDecoder decoder) { m_decoder = std::move(decoder); }
    // How the current answer is read when the user has chosen no set: by the rules of this
    // server (AnswerDecoder::reset), or, for text of Lumbra's own writing, as UTF-8 alone.
    QString answerServer() const { return m_answerServer; }
    bool utf8Text() const { return m_utf8Text; }
    // For an RDAP answer: its body as the server sent it, and how many of the answer's bytes
    // stand before the body's rendering; -1 for any other answer ("JSON as received").
    const QByteArray &body() const { return m_body; }
    qsizetype headSize() const { return m_headSize; }

Q_SIGNALS:
    void opened();
    // The connection failed before it stood (refused, unreachable, not resolved).
    void failed();
    // Bytes are waiting (0: a sign of life only).
    void arrived(qint64 waiting);
    // Nothing more will come: every answer is complete (what is waiting is the last of it).
    void finished();
    // Where a lookup of several steps stands: "Connecting .... host", "Connected to host".
    void status(const QString &line);

protected:
    // The next answer is read by these rules, and ends with `added`.
    void readBy(const QString &answerServer, bool utf8Text, const QString &added = QString(),
                const QByteArray &body = QByteArray(), qsizetype headSize = -1);

    AnswerDecoder m_decoder;
    QString m_answerServer;
    bool m_utf8Text = false;
    QString m_added;
    bool m_addedGiven = false;
    QByteArray m_body;
    qsizetype m_headSize = -1;
};

// WHOIS: one TCP exchange on port 43 (the test port in tests), its answer read by the server's
// character-set rules and cut at MaxAnswer.
class TcpExchange : public Exchange {
    Q_OBJECT
public:
    TcpExchange(const QString &server, quint16 port, ExchangeSetup &setup, QObject *parent,
                quint16 localPort = 0);
    ~TcpExchange() override;

    bool open() override;
    void send(const QString &data) override;
    void abort() override;
    qint64 waiting() const override;
    QByteArray read(qint64 maxLen) override;
    bool answerComplete() const override { return m_closed; }
    bool ended() const override { return answerComplete(); }

    // The most bytes one answer is read to; what follows is not read, and CutLine ends it.
    static constexpr qint64 MaxAnswer = 64 * 1024 * 1024;
    static const QString &CutLine();
    // The most bytes one piece announces.
    static constexpr qint64 MaxPiece = 256 * 1024;

    // The text a cut answer ends with (empty while it is not cut).
    const QString &cutText() const { return m_added; }

private:
    void onRemoteClosed();
    bool cutIfFull();

    QString m_server;
    quint16 m_port;
    quint16 m_localPort; // 0: any free port
    ExchangeSetup &m_setup;
    QTcpSocket *m_socket = nullptr;
    bool m_connected = false;
    bool m_closed = false;
    qint64 m_taken = 0;
    char m_lastByte = '\n';
};

// One RDAP request (with the bootstrap file it needs): its text, rendered, read as UTF-8; a
// rendering is waiting piece by piece as it is written.
class RdapExchange : public Exchange {
    Q_OBJECT
public:
    // Asks by the setup's client, or by `client` when one is given.
    RdapExchange(const QString &server, ExchangeSetup &setup, QObject *parent,
                 rdap::Client *client = nullptr);
    ~RdapExchange() override;

    bool open() override;
    void send(const QString &data) override;
    void abort() override;
    qint64 waiting() const override { return m_text.size() - m_read; }
    QByteArray read(qint64 maxLen) override;
    bool answerComplete() const override { return m_done; }
    bool ended() const override { return m_done && m_read == m_text.size(); }

    // Asks the query text (IDN words in ACE) at once, without waiting for send().
    void ask(const QString &text);
    // The text so far, whole once finished.
    const QByteArray &text() const { return m_text; }
    rdap::Client *client() const { return m_client; }

Q_SIGNALS:
    // The answer's own link lines, once its body is parsed (rdap::Client::ownLinks).
    void ownLinks(const QByteArray &lines);

private:
    QString m_server;
    QString m_host; // of the request going out
    ExchangeSetup &m_setup;
    rdap::Client *m_client = nullptr;
    QByteArray m_text;
    qsizetype m_read = 0;
    bool m_done = false;
    bool m_answering = false;
};

// "auto": the registry and then the registrar, each asked the way the lookup rules name, one
// TCP or RDAP exchange at a time. A WHOIS answer is handed up once it is complete, an RDAP
// answer's rendering as it is written (its body has come whole by then), so that a registrar
// that fails or stays silent never takes the registry's answer with it.
class LookupExchange : public Exchange {
    Q_OBJECT
public:
    LookupExchange(ExchangeSetup &setup, QObject *parent);
    ~LookupExchange() override;

    bool open() override;
    void send(const QString &data) override;
    void abort() override;
    qint64 waiting() const override;
    QByteArray read(qint64 maxLen) override;
    bool answerComplete() const override;
    bool nextAnswer() override;
    bool ended() const override;

private:
    enum class Step { Idle, Bootstrap, Registry, Iana, Registrar, Done };
    struct Answer {
        QString server; // whose rules read it
        bool utf8Text = false;
        QByteArray bytes;
        QString added; // a cut's line after the bytes
        qsizetype read = 0;
        QByteArray body; // an RDAP answer's body, and where in the bytes its rendering begins
        qsizetype headSize = -1;
        bool complete = true; // no more bytes to come
    };

    RdapExchange *askRdap(Step step, const QString &server, bool ahead = false);
    // The registrar asked ahead, while the registry's answer is rendered, by the links it
    // gives its own; taken as the registrar step only if the whole text names the same.
    void askAhead(RdapExchange *registry, const QByteArray &links);
    void dropAhead();
    void askWhois(Step step, const lookup::Ask &ask);
    void onStepEnded();
    void afterRdap(RdapExchange *rdap);
    void afterWhois(const QByteArray &bytes);
    void registrarStep(const lookup::Ask &registry, const QUrl &answeredBy,
                       const QString &registryText);
    void hand(const QString &server, bool utf8Text, QByteArray bytes, const QString &added,
              bool afterEmptyLine, const QByteArray &body = QByteArray(), qsizetype headSize = -1,
              bool complete = true);
    // The RDAP step's text waiting so far onto its answer, which it begins.
    void handOn(RdapExchange *rdap, bool complete);
    void finish();
    void dropStep();

    ExchangeSetup &m_setup;
    Step m_step = Step::Idle;
    Exchange *m_current = nullptr;
    RdapExchange *m_ahead = nullptr; // the registrar asked ahead, and where
    QUrl m_aheadBase;
    QByteArray m_collected; // the bytes of the step in progress
    QString m_typed;        // the query as typed
    QString m_ace;          // and with IDN words in ACE form
    rdap::Query m_query;
    lookup::Ask m_registry;
    QStringList m_asked;          // lookup::serverKey of every server asked
    std::deque<Answer> m_answers; // front: the one being taken
    bool m_started = false;
    bool m_done = false;
    bool m_streaming = false; // the last answer is the RDAP step's, and not complete
};
