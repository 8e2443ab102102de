// The reading of link lines: what a "related" link of the text offers to search on.
#include "rdap/labels.h"
#include "rdap/rdap.h"

#include <QUrl>

#include <array>

namespace rdap {

namespace {

// The object classes an RDAP path names (RFC 9082), each followed by the object's key.
const std::array<QLatin1String, 5> ObjectSegments = {
    QLatin1String("domain/"), QLatin1String("ip/"), QLatin1String("autnum/"),
    QLatin1String("entity/"), QLatin1String("nameserver/")};

} // namespace

QString relatedBase(QStringView line) {
    // "Link: related <href> (application/rdap+json)" or "Link: related <href>", as written
    // above, at any indentation.
    QStringView rest = line.trimmed();
    const auto take = [&rest](QStringView part) {
        if (!rest.startsWith(part))
            return false;
        rest = rest.sliced(part.size());
        return true;
    };
    if (!take(labels::Link) || !take(u": ") || !take(labels::Related) || !take(u" "))
        return QString();
    const qsizetype space = rest.indexOf(QLatin1Char(' '));
    const QStringView href = space < 0 ? rest : rest.first(space);
    const QStringView type = space < 0 ? QStringView() : rest.sliced(space + 1);
    const bool rdapType = type.size() == labels::RdapJson.size() + 2 && type.startsWith(u'(') &&
                          type.endsWith(u')') && type.sliced(1).startsWith(labels::RdapJson);
    if (!type.isEmpty() && !rdapType)
        return QString();
    if (!href.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) &&
        !href.startsWith(QLatin1String("http://"), Qt::CaseInsensitive))
        return QString();
    const QUrl url = QUrl::fromEncoded(href.toUtf8(), QUrl::StrictMode);
    // No user name: "https://rdap.example@elsewhere.example/" would pass for another host.
    if (!url.isValid() || url.host().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment() ||
        !(url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
        return QString();
    // The path's last segment is the object's key, the one before it its class.
    const QString path = url.path(QUrl::FullyEncoded);
    const qsizetype keyAt = path.lastIndexOf(QLatin1Char('/')) + 1;
    if (keyAt <= 0 || keyAt == path.size())
        return QString();
    const QStringView head = QStringView(path).first(keyAt);
    for (const QLatin1String segment : ObjectSegments) {
        if (!head.endsWith(segment))
            continue;
        const qsizetype cut = head.size() - segment.size();
        if (cut == 0 || head.at(cut - 1) != QLatin1Char('/'))
            return QString();
        // The base URL as written in the line: everything up to the object's class.
        const qsizetype pathAt = href.size() - path.size();
        if (pathAt < 0 || href.sliced(pathAt) != path)
            return QString();
        return href.first(pathAt + cut).toString();
    }
    return QString();
}

} // namespace rdap
