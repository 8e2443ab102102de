#include "client.h"

#include "lookup.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

#include <algorithm>
#include <utility>

namespace rdap {

namespace {
// What the next line needs so that it starts a line of its own.
void endLine(QByteArray &text) {
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += '\n';
}
} // namespace

std::shared_ptr<QThreadPool> Client::oneThreadRenderer() {
    auto pool = std::make_shared<QThreadPool>();
    pool->setMaxThreadCount(1);
    return pool;
}

Client::Client(QObject *parent, std::shared_ptr<QThreadPool> renderer)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_topLevelBase(QString(lookup::IanaRdap))
    , m_renderer(renderer ? std::move(renderer) : oneThreadRenderer()) {
    m_renderBeat.setInterval(RenderBeatMs);
    connect(&m_renderBeat, &QTimer::timeout, this, &Client::progress);
}

Client::~Client() {
    abort();
    // The rendering's pieces are posted to this object: none may come once it is gone. (A
    // shared pool's other renderings are waited for too; they are as short.)
    m_renderer->waitForDone();
}

void Client::start(const QString &server, const QString &text) {
    abort();
    m_outcome = Outcome::NoAnswer;
    m_status = 0;
    m_answeredBy.clear();
    m_query = queryFor(text);
    if (serverForm(server) != ServerForm::Bootstrap) {
        get(requestUrl(baseUrl(server).value_or(QUrl()), m_query), Stage::Answer);
        return;
    }
    // No bootstrap file names the root's children: IANA answers for them itself.
    const QString tld = lookup::topLevelDomain(text);
    if (!tld.isEmpty()) {
        get(requestUrl(m_topLevelBase, {Kind::Domain, tld, QLatin1String("domain/") + tld}),
            Stage::Answer);
        return;
    }
    const Registry registry = registryFor(m_query);
    const auto known = m_bootstrap.constFind(int(registry));
    if (known != m_bootstrap.constEnd()) {
        // The service is asked at once; not being covered comes from the event loop, as every
        // other outcome: finished never comes inside start.
        std::optional<QUrl> service = serviceFor(*known, m_query);
        if (service) {
            askService(service);
            return;
        }
        m_stage = Stage::Bootstrap;
        QMetaObject::invokeMethod(
            this,
            [this, started = m_started] {
                if (started == m_started && m_stage == Stage::Bootstrap && !m_reply)
                    askService(std::nullopt);
            },
            Qt::QueuedConnection);
    } else {
        get(m_bootstrapBase.resolved(QUrl(registryFile(registry))), Stage::Bootstrap);
    }
}

void Client::abort() {
    ++m_started;
    m_stage = Stage::Idle;
    m_body.clear();
    m_cut = false;
    m_bodyGiven = false;
    m_renderBeat.stop();
    if (!m_reply)
        return;
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->abort();
    // Deleted later: this may run inside one of the reply's own signals.
    reply->deleteLater();
}

void Client::get(const QUrl &url, Stage stage) {
    QNetworkRequest request(url);
    request.setRawHeader("Accept", stage == Stage::Answer
                                       ? QByteArrayLiteral("application/rdap+json")
                                       : QByteArrayLiteral("application/json"));
    // Redirects are followed, but never from https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaxRedirects);
    if (!m_extraCas.isEmpty()) {
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.setCaCertificates(QSslConfiguration::systemCaCertificates() + m_extraCas);
        request.setSslConfiguration(ssl);
    }
    m_stage = stage;
    m_body.clear();
    m_cut = false;
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &Client::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &Client::onFinished);
    Q_EMIT asking(url);
}

void Client::onReadyRead() {
    // One byte past the limit tells that there is more than the limit.
    const qint64 room = MaxBody + 1 - m_body.size();
    if (m_body.isEmpty()) {
        const qint64 announced = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        m_body.reserve(std::clamp<qint64>(announced, 0, room));
    }
    // Read straight into the buffer: a large answer is copied once, not twice.
    const qsizetype had = m_body.size();
    m_body.resize(had + std::min(m_reply->bytesAvailable(), room));
    const qint64 got = m_reply->read(m_body.data() + had, m_body.size() - had);
    m_body.resize(had + std::max<qint64>(got, 0));
    if (m_body.size() > MaxBody) {
        m_body.truncate(MaxBody);
        m_cut = true;
        m_outcome = m_stage == Stage::Bootstrap ? Outcome::BootstrapFailed : Outcome::Answer;
        show(shown(m_reply));
        return;
    }
    Q_EMIT progress();
}

void Client::onFinished() {
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->deleteLater();
    m_body += reply->readAll();
    if (m_body.size() > MaxBody) {
        m_body.truncate(MaxBody);
        m_cut = true;
    }
    const bool ok = reply->error() == QNetworkReply::NoError &&
                    reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    if (m_stage == Stage::Bootstrap && ok && !m_cut) {
        const QJsonDocument registry = QJsonDocument::fromJson(m_body);
        // Only a file that has the registry's services is kept; anything else counts as failed.
        if (registry.object().value(QLatin1String("services")).isArray()) {
            m_bootstrap.insert(int(registryFor(m_query)), registry);
            askService(serviceFor(registry, m_query));
            return;
        }
    }
    // The answer, or whatever kept the bootstrap file from being read (it is not kept, so
    // the next query fetches it again).
    m_outcome = m_stage == Stage::Bootstrap ? Outcome::BootstrapFailed : Outcome::Answer;
    show(shown(reply));
}

void Client::askService(const std::optional<QUrl> &service) {
    if (!service) {
        QByteArray line = notCovered(m_query).toUtf8();
        endLine(line);
        m_outcome = Outcome::NotCovered;
        end(line);
        return;
    }
    get(requestUrl(*service, m_query), Stage::Answer);
}

void Client::giveBody(qsizetype headSize) {
    if (headSize < 0 || std::exchange(m_bodyGiven, true))
        return;
    Q_EMIT answerBody(m_body, headSize);
}

void Client::end(const QByteArray &text, bool utf8, qsizetype headSize) {
    const quint64 started = m_started;
    giveBody(headSize);
    if (started != m_started)
        return; // aborted or restarted from answerBody
    abort();
    Q_EMIT finished(text, utf8);
}

Client::Shown Client::shown(QNetworkReply *reply) {
    Shown out;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // No HTTP answer at all (not resolved, refused, TLS, a redirect refused): Qt's word for it.
    if (!status.isValid() || error == QNetworkReply::InsecureRedirectError ||
        error == QNetworkReply::TooManyRedirectsError) {
        if (m_outcome == Outcome::Answer)
            m_outcome = Outcome::NoAnswer;
        out.text = (reply->errorString() + QLatin1Char('\n')).toUtf8();
        return out;
    }
    m_status = status.toInt();
    m_answeredBy = reply->url();

    out.text = "RDAP " + reply->url().toEncoded() + '\n';
    const int code = status.toInt();
    if (code != 200) {
        out.text +=
            statusLine(code,
                       reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray(),
                       reply->rawHeader("Retry-After"))
                .toUtf8();
    }
    // A cut body is no JSON to render.
    out.body = m_cut ? Shown::Body::AsSent : code == 200 ? Shown::Body::Answer : Shown::Body::Error;
    if (m_cut) {
        out.tail = "The rest of the answer was not read: it is larger than 64 MiB.\n";
    } else if (error > QNetworkReply::NoError &&
               error < QNetworkReply::ProxyConnectionRefusedError) {
        // The connection broke off during the answer: what came, then why the rest is missing.
        out.tail = (reply->errorString() + QLatin1Char('\n')).toUtf8();
    }
    return out;
}

namespace {
// The head, the body rendered (else as sent) and the tail; false when the body is as sent.
bool compose(QByteArray &text, const QByteArray &body, bool render, bool error,
             const QByteArray &tail, const Written &written = {}, const Written &links = {}) {
    // The text is rarely longer than the body: room for it up front, so it is not copied as it
    // grows.
    text.reserve(text.size() + body.size() + tail.size() + 256);
    const bool rendered = render && (error ? renderError(body, text, written)
                                           : renderAnswer(body, text, written, links));
    if (!rendered)
        text += body;
    if (!tail.isEmpty()) {
        endLine(text);
        text += tail;
    }
    return rendered;
}
} // namespace

void Client::show(Shown shown) {
    if (shown.body == Shown::Body::None) {
        end(shown.text);
        return;
    }
    const qsizetype head = m_stage == Stage::Answer ? shown.text.size() : -1;
    if (shown.body == Shown::Body::AsSent) {
        compose(shown.text, m_body, false, false, shown.tail);
        end(shown.text, false, head);
        return;
    }
    // Rendered on the render thread. Its pieces and then the whole text come back here by
    // the event loop, unless the query was aborted or restarted meanwhile.
    m_renderBeat.start();
    m_renderer->start([this, started = m_started, head, shown = std::move(shown), body = m_body] {
        const auto post = [this, started](auto f) {
            QMetaObject::invokeMethod(
                this,
                [this, started, f = std::move(f)] {
                    if (started == m_started)
                        f();
                },
                Qt::QueuedConnection);
        };
        qsizetype posted = 0;
        // Pieces only of an answer to the query, whose body is given before them.
        const Written written = [&](const QByteArray &text) {
            // The first flush at once, so the box has text to take while the rest is written.
            if (head < 0 || (posted > 0 && text.size() - posted < RenderPiece))
                return;
            post([this, head, piece = text.mid(posted)] {
                giveBody(head);
                Q_EMIT rendering(piece);
            });
            posted = text.size();
        };
        Written links;
        if (head >= 0 && shown.body == Shown::Body::Answer)
            links = [&](const QByteArray &lines) {
                post([this, lines] { Q_EMIT ownLinks(lines); });
            };
        QByteArray text = shown.text;
        const bool rendered =
            compose(text, body, true, shown.body == Shown::Body::Error, shown.tail, written, links);
        post([this, head, rendered, text = std::move(text)] { end(text, rendered, head); });
    });
}

} // namespace rdap
