#include "exchange.h"

#include "rdap/client.h"

#include <utility>

namespace {
const QString CrLf = QStringLiteral("\r\n");
} // namespace

LookupExchange::LookupExchange(ExchangeSetup &setup, QObject *parent)
    : Exchange(parent)
    , m_setup(setup) {}

LookupExchange::~LookupExchange() {
    abort();
}

void LookupExchange::abort() {
    if (m_current)
        m_current->abort();
    dropStep();
    dropAhead();
}

bool LookupExchange::open() {
    // Each step connects on its own: the lookup itself is open at once.
    QMetaObject::invokeMethod(this, &Exchange::opened, Qt::QueuedConnection);
    return true;
}

void LookupExchange::send(const QString &data) {
    if (m_started)
        return;
    m_started = true;
    QStringView typed(data);
    if (typed.endsWith(u"\r\n"))
        typed.chop(2);
    m_typed = typed.toString();
    m_ace = WireText::aceNames(typed);
    m_query = rdap::queryFor(m_ace);
    askRdap(Step::Bootstrap, QStringLiteral("rdap"));
}

void LookupExchange::dropStep() {
    if (!m_current)
        return;
    Exchange *step = std::exchange(m_current, nullptr);
    step->disconnect(this);
    // Deleted later: this may run inside one of the step's own signals.
    step->deleteLater();
}

RdapExchange *LookupExchange::askRdap(Step step, const QString &server, bool ahead) {
    if (!ahead) {
        dropStep();
        m_step = step;
    }
    auto *rdap = new RdapExchange(server, m_setup, this, ahead ? m_setup.rdapAhead() : nullptr);
    if (!ahead)
        m_current = rdap;
    connect(rdap, &Exchange::status, this, &Exchange::status);
    connect(rdap, &Exchange::arrived, this, [this, rdap](qint64 n) {
        if (n == 0) {
            Q_EMIT arrived(0); // each piece of a step is a sign of life
            return;
        }
        // A rendering goes up as it is written (the registrar's once it is the step); the rest
        // of the step's text comes at its end.
        if (rdap == m_current && !rdap->answerComplete())
            handOn(rdap, false);
    });
    connect(rdap, &Exchange::finished, this, [this, rdap] {
        if (rdap == m_current)
            onStepEnded();
    });
    if (step != Step::Registrar)
        connect(rdap, &RdapExchange::ownLinks, this,
                [this, rdap](const QByteArray &links) { askAhead(rdap, links); });
    rdap->ask(m_ace);
    return rdap;
}

void LookupExchange::askAhead(RdapExchange *registry, const QByteArray &links) {
    if (registry != m_current || m_ahead)
        return;
    lookup::Ask asked;
    asked.way = lookup::Ask::Way::Rdap;
    asked.base = registry->client()->answeredBy();
    QStringList known = m_asked;
    if (asked.base.isValid())
        known << lookup::serverKey(asked);
    const lookup::Ask next =
        lookup::registrar(m_query, m_typed, asked, asked.base, QString::fromUtf8(links), known);
    if (next.way != lookup::Ask::Way::Rdap)
        return;
    m_aheadBase = next.base;
    m_ahead = askRdap(Step::Registrar, next.base.toString(), true);
}

void LookupExchange::dropAhead() {
    if (!m_ahead)
        return;
    RdapExchange *ahead = std::exchange(m_ahead, nullptr);
    ahead->abort();
    ahead->disconnect(this);
    ahead->deleteLater();
}

void LookupExchange::askWhois(Step step, const lookup::Ask &ask) {
    dropStep();
    m_step = step;
    m_collected.clear();
    m_asked << lookup::serverKey(ask);
    auto *tcp = new TcpExchange(ask.server, 43, m_setup, this);
    m_current = tcp;
    connect(tcp, &Exchange::status, this, &Exchange::status);
    connect(tcp, &Exchange::opened, this, [this, tcp, query = ask.query] {
        tcp->send(query + CrLf);
        Q_EMIT arrived(0);
    });
    connect(tcp, &Exchange::arrived, this, [this, tcp] {
        while (tcp->waiting() > 0)
            m_collected += tcp->read(tcp->waiting());
        Q_EMIT arrived(0);
    });
    connect(tcp, &Exchange::finished, this, &LookupExchange::onStepEnded);
    // A server that cannot be asked ends like one that stays silent: by the timeout.
    tcp->open();
}

void LookupExchange::onStepEnded() {
    if (auto *rdap = qobject_cast<RdapExchange *>(m_current)) {
        afterRdap(rdap);
        return;
    }
    auto *tcp = qobject_cast<TcpExchange *>(m_current);
    if (!tcp)
        return;
    while (tcp->waiting() > 0)
        m_collected += tcp->read(tcp->waiting());
    afterWhois(std::exchange(m_collected, QByteArray()));
}

void LookupExchange::afterRdap(RdapExchange *rdap) {
    const rdap::Client *client = rdap->client();
    const QByteArray text = rdap->text();
    const rdap::Client::Outcome outcome = client->outcome();
    if (m_step == Step::Bootstrap && (outcome == rdap::Client::Outcome::NotCovered ||
                                      outcome == rdap::Client::Outcome::BootstrapFailed)) {
        // IANA's bootstrap names no service (or could not be had): shown at once, and the lookup
        // goes on.
        handOn(rdap, true);
        const lookup::Ask next = lookup::withoutBootstrap(m_query, m_typed);
        if (next.way == lookup::Ask::Way::Rdap) {
            m_asked << lookup::serverKey(next);
            askRdap(Step::Registry, next.base.toString());
        } else {
            askWhois(Step::Iana, next);
        }
        return;
    }
    lookup::Ask asked;
    asked.way = lookup::Ask::Way::Rdap;
    asked.base = client->answeredBy();
    if (asked.base.isValid())
        m_asked << lookup::serverKey(asked);
    const bool answered = outcome == rdap::Client::Outcome::Answer && client->status() == 200;
    const QUrl answeredBy = client->answeredBy();
    const bool registrar = m_step == Step::Registrar;
    handOn(rdap, true);
    if (registrar) {
        finish();
        return;
    }
    if (answered)
        registrarStep(asked, answeredBy, QString::fromUtf8(text));
    else
        finish();
}

void LookupExchange::afterWhois(const QByteArray &bytes) {
    const auto *tcp = qobject_cast<TcpExchange *>(m_current);
    const QString server = tcp ? tcp->answerServer() : QString();
    const QString cut = tcp ? tcp->cutText() : QString();
    if (m_step == Step::Iana) {
        // IANA's answer is not shown, as the bootstrap files are not: only where it points.
        AnswerDecoder decoder;
        decoder.reset(server);
        const QString answer = decoder.take(bytes) + decoder.finish();
        const lookup::Ask next = lookup::referredByIana(m_query, m_typed, answer);
        if (next.way == lookup::Ask::Way::None) {
            hand(QString(), false, next.line.toUtf8() + '\n', QString(), false);
            finish();
            return;
        }
        m_registry = next;
        askWhois(Step::Registry, next);
        return;
    }
    const QByteArray line = "WHOIS " + server.toUtf8() + '\n';
    if (m_step == Step::Registrar) {
        hand(server, false, line + bytes, cut, true);
        finish();
        return;
    }
    hand(server, false, line + bytes, cut, false);
    AnswerDecoder decoder;
    decoder.reset(server);
    registrarStep(m_registry, QUrl(), decoder.take(bytes) + decoder.finish());
}

void LookupExchange::registrarStep(const lookup::Ask &registry, const QUrl &answeredBy,
                                   const QString &registryText) {
    const lookup::Ask next =
        lookup::registrar(m_query, m_typed, registry, answeredBy, registryText, m_asked);
    switch (next.way) {
    case lookup::Ask::Way::None:
        finish();
        return;
    case lookup::Ask::Way::Rdap:
        m_asked << lookup::serverKey(next);
        if (m_ahead && m_aheadBase == next.base) {
            // Asked ahead already: it is the step, with what it has brought so far.
            dropStep();
            m_step = Step::Registrar;
            RdapExchange *rdap = std::exchange(m_ahead, nullptr);
            m_current = rdap;
            if (rdap->answerComplete())
                onStepEnded();
            else if (rdap->waiting() > 0)
                handOn(rdap, false);
            return;
        }
        dropAhead();
        askRdap(Step::Registrar, next.base.toString());
        return;
    case lookup::Ask::Way::Whois:
        dropAhead();
        askWhois(Step::Registrar, next);
        return;
    }
}

void LookupExchange::handOn(RdapExchange *rdap, bool complete) {
    if (!m_streaming) {
        // The step's first text: its answer begins, after the one before.
        m_streaming = true;
        hand(QString(), rdap->utf8Text(), QByteArray(), QString(), m_step == Step::Registrar,
             rdap->body(), rdap->headSize(), false);
    }
    Answer &answer = m_answers.back();
    answer.bytes += rdap->read(rdap->waiting());
    if (complete) {
        answer.complete = true;
        m_streaming = false;
    }
    Q_EMIT arrived(answer.bytes.size() - answer.read);
}

void LookupExchange::hand(const QString &server, bool utf8Text, QByteArray bytes,
                          const QString &added, bool afterEmptyLine, const QByteArray &body,
                          qsizetype headSize, bool complete) {
    if (!m_answers.empty()) {
        // Each answer starts a line of its own; the registrar's follows the registry's after
        // one empty line.
        const Answer &before = m_answers.back();
        const bool ended = before.added.isEmpty()
                               ? before.bytes.isEmpty() || before.bytes.endsWith('\n')
                               : before.added.endsWith(QLatin1Char('\n'));
        const QByteArray lead = QByteArray(ended ? "" : "\n") + (afterEmptyLine ? "\n" : "");
        bytes.prepend(lead);
        if (headSize >= 0)
            headSize += lead.size();
    } else {
        readBy(server, utf8Text, added, body, headSize);
    }
    m_answers.push_back({server, utf8Text, std::move(bytes), added, 0, body, headSize, complete});
    // Waiting, though perhaps behind the answer being taken.
    if (!m_answers.back().bytes.isEmpty())
        Q_EMIT arrived(m_answers.back().bytes.size());
}

void LookupExchange::finish() {
    dropStep();
    dropAhead();
    m_step = Step::Done;
    m_done = true;
    Q_EMIT finished();
}

qint64 LookupExchange::waiting() const {
    if (m_answers.empty())
        return 0;
    const Answer &answer = m_answers.front();
    return answer.bytes.size() - answer.read;
}

QByteArray LookupExchange::read(qint64 maxLen) {
    if (m_answers.empty())
        return {};
    Answer &answer = m_answers.front();
    const QByteArray bytes = answer.bytes.mid(answer.read, maxLen);
    answer.read += bytes.size();
    return bytes;
}

bool LookupExchange::answerComplete() const {
    return !m_answers.empty() && m_answers.front().complete;
}

bool LookupExchange::nextAnswer() {
    if (m_answers.size() < 2 || waiting() > 0 || !m_answers.front().complete)
        return false;
    m_answers.pop_front();
    const Answer &next = m_answers.front();
    readBy(next.server, next.utf8Text, next.added, next.body, next.headSize);
    return true;
}

bool LookupExchange::ended() const {
    return m_done && m_answers.size() <= 1;
}
