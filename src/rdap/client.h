#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QUrl>

#include "rdap.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace rdap {

// One RDAP query at a time over HTTP(S): the bootstrap file when the query needs one, then
// the answer, and at the end the text to show as UTF-8 bytes (LF line ends). The bootstrap
// files it fetched stay in memory for the client's life; nothing is written anywhere.
class Client : public QObject {
    Q_OBJECT
public:
    // The most answer bytes read; the rest is not read.
    static constexpr qint64 MaxBody = 64 * 1024 * 1024;
    static constexpr int MaxRedirects = 5;

    explicit Client(QObject *parent = nullptr);

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
    // A piece of the answer (or of a bootstrap file) has arrived.
    void progress();
    // The query has ended; this is what to show. `utf8` tells text that is all of Lumbra's own
    // writing (the rendering, the status and error lines), UTF-8 by construction, from text that
    // holds a body as the server sent it (not JSON, or cut), whose bytes no one has read yet.
    void finished(const QByteArray &text, bool utf8);
    // Just before finished, for an HTTP answer to the query (not a bootstrap file): its body as
    // the server sent it (at most MaxBody bytes), and how many bytes of the text come before the
    // body's rendering (the URL that answered, and the status line of an error).
    void answerBody(const QByteArray &body, qsizetype headSize);

private:
    enum class Stage { Idle, Bootstrap, Answer };

    void get(const QUrl &url, Stage stage);
    void onReadyRead();
    void onFinished();
    void askService(const QJsonDocument &registry);
    void end(const QByteArray &text, bool utf8 = true, qsizetype headSize = -1);
    QByteArray answerText(QNetworkReply *reply, bool *utf8, qsizetype *headSize);

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
};

} // namespace rdap
