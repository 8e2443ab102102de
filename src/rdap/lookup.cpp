#include "lookup.h"

#include "host/hostname.h"
#include "referral.h"

#include <QFile>
#include <QHostAddress>

#include <initializer_list>

namespace lookup {

namespace {

bool isAsciiLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// The server the first line with one of these labels names, by the referral rules; empty when
// no such line names one.
QString serverOnLabel(QStringView text, std::initializer_list<QLatin1StringView> labels) {
    for (const QStringView line : text.tokenize(QLatin1Char('\n'))) {
        const QStringView trimmed = line.trimmed();
        for (const QLatin1StringView label : labels) {
            if (!trimmed.startsWith(label, Qt::CaseInsensitive))
                continue;
            // The label as a whole word: "whois" is not the start of "whois server".
            const QStringView rest = trimmed.sliced(label.size()).trimmed();
            if (!rest.startsWith(QLatin1Char(':')))
                continue;
            const QString server = referral::serverInLine(trimmed);
            if (!server.isEmpty())
                return server;
        }
    }
    return QString();
}

// What a line that names the query says it for: ".io", 192.0.2.1, AS64496, "HANDLE".
QString named(const rdap::Query &query) {
    switch (query.kind) {
    case rdap::Kind::Domain:
        return QLatin1Char('"') + query.key.sliced(query.key.lastIndexOf(QLatin1Char('.'))) +
               QLatin1Char('"');
    case rdap::Kind::Ip:
        return query.key;
    case rdap::Kind::Autnum:
        return QLatin1String("AS") + query.key;
    case rdap::Kind::Entity:
        break;
    }
    return QLatin1Char('"') + query.key + QLatin1Char('"');
}

int defaultPort(const QUrl &url) {
    return url.port(url.scheme() == QLatin1String("http") ? 80 : 443);
}

// A host a server wrote that may be asked without the user: a host name or an address (not an
// unspecified one), as the referral rules take them.
bool ordinaryHost(const QString &host) {
    return !host.isEmpty() && referral::serverInSelection(host) == host;
}

Ask whoisAt(const QString &server, QStringView text) {
    Ask ask;
    ask.way = Ask::Way::Whois;
    ask.server = server;
    ask.query = text.toString();
    return ask;
}

} // namespace

bool isAuto(QStringView server) {
    return server.trimmed().compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0;
}

QString topLevelDomain(QStringView text) {
    QStringView label = text.trimmed();
    if (label.endsWith(QLatin1Char('.')))
        label.chop(1);
    if (label.isEmpty() || label.size() > 63)
        return QString();
    if (label.startsWith(QLatin1String("xn--"), Qt::CaseInsensitive)) {
        // A punycode label: letters, digits and hyphens after the prefix, not ending in one.
        const QStringView rest = label.sliced(4);
        if (rest.isEmpty() || rest.back() == QLatin1Char('-'))
            return QString();
        for (const QChar c : rest) {
            if (!isAsciiLetter(c) && !(c >= QLatin1Char('0') && c <= QLatin1Char('9')) &&
                c != QLatin1Char('-'))
                return QString();
        }
        return label.toString().toLower();
    }
    for (const QChar c : label) {
        if (!isAsciiLetter(c))
            return QString();
    }
    return label.toString().toLower();
}

const QJsonDocument &ownTable() {
    static const QJsonDocument table = [] {
        QFile file(QStringLiteral(":/rdap/own-dns.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll())
                                              : QJsonDocument();
    }();
    return table;
}

Ask withoutBootstrap(const rdap::Query &query, QStringView text) {
    if (query.kind == rdap::Kind::Domain) {
        if (std::optional<QUrl> base = rdap::serviceFor(ownTable(), query)) {
            Ask ask;
            ask.way = Ask::Way::Rdap;
            ask.base = *base;
            return ask;
        }
        const QString tld = query.key.sliced(query.key.lastIndexOf(QLatin1Char('.')) + 1);
        return whoisAt(IanaWhois, tld);
    }
    return whoisAt(IanaWhois, text.trimmed());
}

Ask referredByIana(const rdap::Query &query, QStringView text, QStringView ianaAnswer) {
    QString server = serverOnLabel(ianaAnswer, {QLatin1StringView("refer")});
    if (server.isEmpty())
        server = serverOnLabel(ianaAnswer, {QLatin1StringView("whois")});
    if (server.isEmpty() || server.compare(IanaWhois, Qt::CaseInsensitive) == 0) {
        Ask none;
        none.line = QStringLiteral("No WHOIS server for %1 in IANA's answer").arg(named(query));
        return none;
    }
    return whoisAt(server, text);
}

QString registrarBase(QStringView renderedAnswer) {
    for (const QStringView line : renderedAnswer.tokenize(QLatin1Char('\n'))) {
        // Indented lines belong to nested objects (contacts, nameservers), not to the domain.
        if (line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t')))
            continue;
        QString base = rdap::relatedBase(line);
        if (!base.isEmpty())
            return base;
    }
    return QString();
}

Ask registrar(const rdap::Query &query, QStringView text, const Ask &registry,
              const QUrl &answeredBy, QStringView registryText, const QStringList &asked) {
    Ask ask;
    if (query.kind != rdap::Kind::Domain)
        return ask;
    if (registry.way == Ask::Way::Rdap) {
        const QString base = registrarBase(registryText);
        const std::optional<QUrl> url = rdap::baseUrl(base);
        // Never from https down to http, nor to a host the referral rules would not offer.
        if (!url || !url->userInfo().isEmpty() || !ordinaryHost(url->host(QUrl::EncodeUnicode)) ||
            (answeredBy.scheme() == QLatin1String("https") &&
             url->scheme() != QLatin1String("https")))
            return ask;
        ask.way = Ask::Way::Rdap;
        ask.base = *url;
    } else if (registry.way == Ask::Way::Whois) {
        const QString server =
            serverOnLabel(registryText, {QLatin1StringView("Registrar WHOIS Server"),
                                         QLatin1StringView("Registrar Whois")});
        if (server.isEmpty())
            return ask;
        ask = whoisAt(server, text);
    } else {
        return ask;
    }
    return asked.contains(serverKey(ask)) ? Ask() : ask;
}

QString serverKey(const Ask &ask) {
    switch (ask.way) {
    case Ask::Way::Whois: {
        QString host = ask.server.trimmed().toLower();
        if (host.endsWith(QLatin1Char('.')))
            host.chop(1);
        // One spelling per address: "2001:DB8::1" and "2001:db8:0::1" are one server.
        const QHostAddress address(host);
        if (!address.isNull())
            host = address.toString();
        return host + QLatin1String(":43");
    }
    case Ask::Way::Rdap:
        return ask.base.host(QUrl::EncodeUnicode).toLower() + QLatin1Char(':') +
               QString::number(defaultPort(ask.base));
    case Ask::Way::None:
        break;
    }
    return QString();
}

} // namespace lookup
