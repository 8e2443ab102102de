#include "host/hostname.h"
#include "rdap.h"

#include <QHostAddress>

namespace rdap {

namespace {

bool startsWithScheme(QStringView text) {
    return text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive);
}

bool allDigits(QStringView text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// "192.0.2.0", "2001:db8::/32": the address in Qt's canonical form with its prefix length, or
// nothing when the text is no address or the length does not fit its family.
std::optional<QString> ipKey(QStringView text) {
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    const QStringView address = slash < 0 ? text : text.first(slash);
    if (!host::isIpAddress(address))
        return std::nullopt;
    const QHostAddress parsed(address.toString());
    const bool v6 = parsed.protocol() == QAbstractSocket::IPv6Protocol;
    QString key = parsed.toString();
    if (slash < 0)
        return key;
    const QStringView length = text.sliced(slash + 1);
    // Three digits at most: a longer text could overflow before the range check.
    if (!allDigits(length) || length.size() > 3 || length.toInt() > (v6 ? 128 : 32))
        return std::nullopt;
    return key + QLatin1Char('/') + QString::number(length.toInt());
}

// The AS number of "AS123" (any case) or "123", 0 to 4294967295.
std::optional<QString> asKey(QStringView text) {
    if (text.startsWith(QLatin1String("AS"), Qt::CaseInsensitive))
        text = text.sliced(2);
    if (!allDigits(text))
        return std::nullopt;
    bool ok = false;
    const qulonglong number = text.toULongLong(&ok);
    if (!ok || number > 4294967295ULL)
        return std::nullopt;
    return QString::number(number);
}

} // namespace

ServerForm serverForm(QStringView server) {
    if (server.trimmed().compare(QLatin1String("rdap"), Qt::CaseInsensitive) == 0)
        return ServerForm::Bootstrap;
    return baseUrl(server) ? ServerForm::BaseUrl : ServerForm::None;
}

std::optional<QUrl> baseUrl(QStringView server) {
    const QStringView text = server.trimmed();
    if (!startsWithScheme(text))
        return std::nullopt;
    QUrl url(text.toString());
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    // A base URL is a path prefix: what follows "?" or "#" has no place in it.
    url.setQuery(QString());
    url.setFragment(QString());
    QString path = url.path(QUrl::FullyEncoded);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path + QLatin1Char('/'), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

Query queryFor(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (std::optional<QString> key = ipKey(trimmed))
        return {Kind::Ip, *key, QLatin1String("ip/") + *key};
    if (std::optional<QString> key = asKey(trimmed))
        return {Kind::Autnum, *key, QLatin1String("autnum/") + *key};
    QStringView name = trimmed;
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (host::isHostName(name)) {
        const QString key = name.toString().toLower();
        return {Kind::Domain, key, QLatin1String("domain/") + key};
    }
    const QString handle = trimmed.toString();
    return {Kind::Entity, handle,
            QLatin1String("entity/") + QString::fromLatin1(QUrl::toPercentEncoding(handle))};
}

QUrl requestUrl(const QUrl &base, const Query &query) {
    // Built as encoded text: QUrl's own path setters would decode "%2F" and "%3F" in a handle.
    QByteArray url = base.toEncoded(QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (!url.endsWith('/'))
        url += '/';
    return QUrl::fromEncoded(url + query.path.toLatin1(), QUrl::StrictMode);
}

} // namespace rdap
