#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "rdap.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace rdap {

// One RDAP query at a time over HTTP(S): the bootstrap file when the query needs one, then
// the answer, and at the end the text to show as UTF-8 bytes (LF line ends). The bootstrap
// files it fetched stay in memory for the client's life; nothing is written anywhere. An
// answer's body is rendered on a render thread (the client's own, or one it shares), its text
// handed over in pieces as it is written: the window stays responsive, shows a large answer as
// it comes, and auto's next request is under way while the box takes the text before it.
class Client : public QObject {
    Q_OBJECT
public:
    // The most answer bytes read; the rest is not read.
    static constexpr qint64 MaxBody = 64 * 1024 * 1024;
    static constexpr int MaxRedirects = 5;
    // The least text a piece of a rendering holds (but the first and the last).
    static constexpr qsizetype RenderPiece = 64 * 1024;
    // While a body is rendered, progress() comes at least this often: the server has
    // answered, so the query's timeout must not run out on the rendering.
    static constexpr int RenderBeatMs = 250;

    // renderer: the thread pool that renders the bodies, shared with other clients; without
    // one the client has a pool of its own, of one thread.
    explicit Client(QObject *parent = nullptr, std::shared_ptr<QThreadPool> renderer = {});
    // Waits for a rendering under way (its text is dropped).
    ~Client() override;

    // A pool of one thread, for clients that render one body after another between them.
    static std::shared_ptr<QThreadPool> oneThreadRenderer();

    // How the last query ended.
    enum class Outcome {
        Answer,          // an HTTP answer came (any status): "RDAP <url>" and what it said
        NoAnswer,        // none did (not resolved, refused, TLS, a redirect refused)
        NotCovered,      // the bootstrap file names no service for the query
        BootstrapFailed, // the bootstrap file could not be had
    };

    // Asks the server ("rdap" or a base URL, see serverForm) for the query text (IDN words
    // already in ACE form); with "rdap", a top-level domain itself is asked at IANA's own
    // service. An unfinished query is aborted first.
    void start(const QString &server, const QString &text);
    // Ends the query at once; no signal of it follows.
    void abort();

    Outcome outcome() const { return m_outcome; }
    // The HTTP status and the URL of the answer that ended the last query (0 and empty when
    // no HTTP answer ended it).
    int status() const { return m_status; }
    QUrl answeredBy() const { return m_answeredBy; }

    // Test seam: the bootstrap files come from here instead of IANA.
    void setBootstrapBase(const QUrl &base) { m_bootstrapBase = base; }
    // Test seam: top-level domains are asked here instead of at IANA's RDAP service.
    void setTopLevelBase(const QUrl &base) { m_topLevelBase = base; }
    // Test seam: these CAs are trusted beside the system's (certificate errors stay fatal).
    void setExtraCaCertificates(const QList<QSslCertificate> &certificates) {
        m_extraCas = certificates;
    }

Q_SIGNALS:
    // A request for this URL (a bootstrap file or the answer) goes out.
    void asking(const QUrl &url);
    // A piece of the answer (or of a bootstrap file) has arrived, or its rendering goes on.
    void progress();
    // While an answer's body is rendered: the text so far, a piece at a time, after
    // answerBody. The pieces are the beginning of the text that finished brings whole.
    void rendering(const QByteArray &piece);
    // For an answer to the query with status 200, as soon as its body is parsed and before its
    // first rendering piece: the lines the text gives the answer's own links (renderAnswer's
    // ownLinks), so that a registrar can be asked while the rest is written.
    void ownLinks(const QByteArray &lines);
    // The query has ended; this is what to show. `utf8` tells text that is all of Lumbra's own
    // writing (the rendering, the status and error lines), UTF-8 by construction, from text that
    // holds a body as the server sent it (not JSON, or cut), whose bytes no one has read yet.
    void finished(const QByteArray &text, bool utf8);
    // Before the text of an HTTP answer to the query (not a bootstrap file), before its first
    // rendering piece or else just before finished: its body as the server sent it (at most
    // MaxBody bytes), and how many bytes of the text come before the body's rendering (the URL
    // that answered, and the status line of an error).
    void answerBody(const QByteArray &body, qsizetype headSize);

private:
    enum class Stage { Idle, Bootstrap, Answer };

    void get(const QUrl &url, Stage stage);
    void onReadyRead();
    void onFinished();
    void askService(const std::optional<QUrl> &service);
    void end(const QByteArray &text, bool utf8 = true, qsizetype headSize = -1);
    // What an ended reply shows: its head ("RDAP <url>", the status line), then its body as
    // rendered (on the render thread) or as sent, then what ends it (a cut, a break).
    struct Shown {
        QByteArray text; // the head, or Qt's word for a reply with no HTTP answer
        QByteArray tail;
        enum class Body { None, AsSent, Answer, Error } body = Body::None;
    };
    Shown shown(QNetworkReply *reply);
    // Ends the query with that text, rendering the body first where it is due.
    void show(Shown shown);
    void giveBody(qsizetype headSize);

    QNetworkAccessManager *m_network;
    QNetworkReply *m_reply = nullptr;
    Stage m_stage = Stage::Idle;
    quint64 m_started = 0; // changes with every start and abort: a queued step finds it changed
    Query m_query;
    QByteArray m_body;
    bool m_cut = false;
    QHash<int, QJsonDocument> m_bootstrap; // by Registry
    QUrl m_bootstrapBase{QStringLiteral("https://data.iana.org/rdap/")};
    QUrl m_topLevelBase;
    Outcome m_outcome = Outcome::NoAnswer;
    int m_status = 0;
    QUrl m_answeredBy;
    QList<QSslCertificate> m_extraCas;
    bool m_bodyGiven = false;                // answerBody has come for this query
    std::shared_ptr<QThreadPool> m_renderer; // renders one body at a time
    QTimer m_renderBeat;
};

} // namespace rdap
