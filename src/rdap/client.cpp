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

Client::Client(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_topLevelBase(QString(lookup::IanaRdap)) {}

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
        // From the event loop, as every other outcome: finished never comes inside start.
        m_stage = Stage::Bootstrap;
        QMetaObject::invokeMethod(
            this,
            [this, registry = *known, started = m_started] {
                if (started == m_started && m_stage == Stage::Bootstrap && !m_reply)
                    askService(registry);
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
        bool utf8 = true;
        qsizetype head = -1;
        const QByteArray text = answerText(m_reply, &utf8, &head);
        end(text, utf8, m_stage == Stage::Answer ? head : -1);
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
            askService(registry);
            return;
        }
    }
    // The answer, or whatever kept the bootstrap file from being read (it is not kept, so
    // the next query fetches it again).
    m_outcome = m_stage == Stage::Bootstrap ? Outcome::BootstrapFailed : Outcome::Answer;
    bool utf8 = true;
    qsizetype head = -1;
    const QByteArray text = answerText(reply, &utf8, &head);
    end(text, utf8, m_stage == Stage::Answer ? head : -1);
}

void Client::askService(const QJsonDocument &registry) {
    const std::optional<QUrl> service = serviceFor(registry, m_query);
    if (!service) {
        QByteArray line = notCovered(m_query).toUtf8();
        endLine(line);
        m_outcome = Outcome::NotCovered;
        end(line);
        return;
    }
    get(requestUrl(*service, m_query), Stage::Answer);
}

void Client::end(const QByteArray &text, bool utf8, qsizetype headSize) {
    const QByteArray body = headSize >= 0 ? m_body : QByteArray();
    abort();
    if (headSize >= 0)
        Q_EMIT answerBody(body, headSize);
    Q_EMIT finished(text, utf8);
}

QByteArray Client::answerText(QNetworkReply *reply, bool *utf8, qsizetype *headSize) {
    *utf8 = true;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    // No HTTP answer at all (not resolved, refused, TLS, a redirect refused): Qt's word for it.
    if (!status.isValid() || error == QNetworkReply::InsecureRedirectError ||
        error == QNetworkReply::TooManyRedirectsError) {
        if (m_outcome == Outcome::Answer)
            m_outcome = Outcome::NoAnswer;
        return (reply->errorString() + QLatin1Char('\n')).toUtf8();
    }
    m_status = status.toInt();
    m_answeredBy = reply->url();

    QByteArray text = "RDAP " + reply->url().toEncoded() + '\n';
    // The text is rarely longer than the body: room for it up front, so it is not copied as it
    // grows.
    text.reserve(text.size() + m_body.size() + 256);
    const int code = status.toInt();
    bool rendered = false;
    if (code != 200) {
        text +=
            statusLine(code,
                       reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray(),
                       reply->rawHeader("Retry-After"))
                .toUtf8();
    }
    *headSize = text.size();
    if (code != 200)
        rendered = !m_cut && renderError(m_body, text);
    else
        rendered = !m_cut && renderAnswer(m_body, text);
    if (!rendered) {
        text += m_body;
        *utf8 = false;
    }
    if (m_cut) {
        endLine(text);
        text += "The rest of the answer was not read: it is larger than 64 MiB.\n";
    } else if (error > QNetworkReply::NoError &&
               error < QNetworkReply::ProxyConnectionRefusedError) {
        // The connection broke off during the answer: what came, then why the rest is missing.
        endLine(text);
        text += (reply->errorString() + QLatin1Char('\n')).toUtf8();
    }
    return text;
}

} // namespace rdap
