#include "rdap.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <utility>

namespace rdap {

namespace {

// The address and prefix length of "192.0.2.0/24" or "2001:db8::1" (a whole address).
std::optional<std::pair<QHostAddress, int>> prefix(const QString &text) {
    if (text.contains(QLatin1Char('/'))) {
        const std::pair<QHostAddress, int> subnet = QHostAddress::parseSubnet(text);
        if (subnet.first.isNull() || subnet.second < 0)
            return std::nullopt;
        return subnet;
    }
    const QHostAddress address(text);
    if (address.isNull())
        return std::nullopt;
    return std::pair{address, address.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
}

// The AS numbers "64496-64511" or "64496" stand for.
std::optional<std::pair<qulonglong, qulonglong>> asRange(QStringView text) {
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    bool firstOk = false;
    bool lastOk = false;
    const qulonglong first = (dash < 0 ? text : text.first(dash)).trimmed().toULongLong(&firstOk);
    const qulonglong last = dash < 0 ? first : text.sliced(dash + 1).trimmed().toULongLong(&lastOk);
    if (!firstOk || (dash >= 0 && !lastOk) || last < first)
        return std::nullopt;
    return std::pair{first, last};
}

// The tag of an object handle: what follows its last hyphen ("GOGL-ARIN" has "ARIN").
QStringView tagOf(QStringView handle) {
    const qsizetype dash = handle.lastIndexOf(QLatin1Char('-'));
    return dash < 0 ? QStringView() : handle.sliced(dash + 1);
}

// How well one registry entry covers the query: higher is a closer match, negative no match.
qlonglong matchScore(Kind kind, const QString &key, const QString &entry) {
    switch (kind) {
    case Kind::Domain: {
        // Label suffixes: "uk" covers "example.co.uk"; "" (the root) covers every name.
        QString suffix = entry.toLower();
        if (suffix.endsWith(QLatin1Char('.')))
            suffix.chop(1);
        if (suffix.isEmpty())
            return 0;
        if (key == suffix ||
            (key.endsWith(suffix) && key.at(key.size() - suffix.size() - 1) == QLatin1Char('.')))
            return suffix.size();
        return -1;
    }
    case Kind::Ip: {
        const auto query = prefix(key);
        const auto covering = prefix(entry);
        if (!query || !covering || query->first.protocol() != covering->first.protocol() ||
            covering->second > query->second || !query->first.isInSubnet(*covering))
            return -1;
        return covering->second;
    }
    case Kind::Autnum: {
        const qulonglong number = key.toULongLong();
        const auto range = asRange(entry);
        if (!range || number < range->first || number > range->second)
            return -1;
        // The narrowest range, should two ever overlap.
        const qulonglong width = std::min<qulonglong>(range->second - range->first, 1ULL << 32);
        return static_cast<qlonglong>((1ULL << 33) - width);
    }
    case Kind::Entity:
        return !tagOf(key).isEmpty() && tagOf(key).compare(entry, Qt::CaseInsensitive) == 0 ? 0
                                                                                            : -1;
    }
    return -1;
}

// A service's base URL: its first https one, else its first.
std::optional<QUrl> serviceUrl(const QJsonArray &urls) {
    std::optional<QUrl> first;
    for (const QJsonValue &value : urls) {
        const QString text = value.toString();
        std::optional<QUrl> url = baseUrl(text);
        if (!url)
            continue;
        if (url->scheme() == QLatin1String("https"))
            return url;
        if (!first)
            first = url;
    }
    return first;
}

} // namespace

Registry registryFor(const Query &query) {
    switch (query.kind) {
    case Kind::Ip:
        return query.key.contains(QLatin1Char(':')) ? Registry::Ipv6 : Registry::Ipv4;
    case Kind::Autnum:
        return Registry::Asn;
    case Kind::Domain:
        return Registry::Dns;
    case Kind::Entity:
        return Registry::ObjectTags;
    }
    return Registry::ObjectTags;
}

QString registryFile(Registry registry) {
    switch (registry) {
    case Registry::Dns:
        return QStringLiteral("dns.json");
    case Registry::Ipv4:
        return QStringLiteral("ipv4.json");
    case Registry::Ipv6:
        return QStringLiteral("ipv6.json");
    case Registry::Asn:
        return QStringLiteral("asn.json");
    case Registry::ObjectTags:
        return QStringLiteral("object-tags.json");
    }
    return QString();
}

std::optional<QUrl> serviceFor(const QJsonDocument &registry, const Query &query) {
    // RFC 9224 services are [entries, URLs]; RFC 8521's object tags [contacts, tags, URLs].
    const qsizetype entriesAt = query.kind == Kind::Entity ? 1 : 0;
    qlonglong best = -1;
    std::optional<QUrl> found;
    const QJsonArray services = registry.object().value(QLatin1String("services")).toArray();
    for (const QJsonValue &service : services) {
        const QJsonArray parts = service.toArray();
        if (parts.size() < entriesAt + 2)
            continue;
        qlonglong score = -1;
        for (const QJsonValue &entry : parts.at(entriesAt).toArray()) {
            if (entry.isString())
                score = std::max(score, matchScore(query.kind, query.key, entry.toString()));
        }
        if (score <= best)
            continue;
        if (std::optional<QUrl> url = serviceUrl(parts.at(entriesAt + 1).toArray())) {
            best = score;
            found = std::move(url);
        }
    }
    return found;
}

QString notCovered(const Query &query) {
    const QString file = registryFile(registryFor(query));
    QString what;
    switch (query.kind) {
    case Kind::Domain:
        what = QLatin1Char('"') + query.key.sliced(query.key.lastIndexOf(QLatin1Char('.'))) +
               QLatin1Char('"');
        break;
    case Kind::Ip:
        what = query.key;
        break;
    case Kind::Autnum:
        what = QLatin1String("AS") + query.key;
        break;
    case Kind::Entity:
        if (tagOf(query.key).isEmpty())
            return QStringLiteral("No RDAP service for \"%1\" in IANA's %2: a handle names its "
                                  "registry by a tag after a hyphen, as GOGL-ARIN")
                .arg(query.key, file);
        what = QLatin1String("the tag \"") + tagOf(query.key).toString() + QLatin1Char('"');
        break;
    }
    return QStringLiteral("No RDAP service for %1 in IANA's %2").arg(what, file);
}

} // namespace rdap
