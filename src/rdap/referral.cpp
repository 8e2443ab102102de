#include "referral.h"

#include "host/hostname.h"
#include "rdap/labels.h"
#include "rdap/rdap.h"

#include <QHostAddress>

#include <array>
#include <optional>

namespace referral {

using host::isHostName;
using host::isIpAddress;

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QStringView skipBlanks(QStringView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    return text;
}

// The labels before the colon, as servers write them; compared without regard to case. The
// RDAP text's own (rdap::labels) is one of them.
const std::array<QStringView, 7> Labels = {
    u"refer",
    u"whois",
    u"ReferralServer",
    rdap::labels::RegistrarWhoisServer,
    rdap::labels::WhoisServer,
    u"Registry WHOIS Server", // CoCCA's registries, with a doubled colon
    u"Registrar Whois",
};

const QLatin1String WhoisScheme("whois://");
const QLatin1String WhoisPort(":43");
// AFNIC's overseas registries name their server inside a remark.
const QLatin1String Remarks("remarks:");
const QLatin1String WhoisSiteAt("Whois site at:");

// The value after a referral label and its colon (or two), or nothing when the line has no
// such label.
std::optional<QStringView> labelledValue(QStringView line) {
    if (line.startsWith(Remarks, Qt::CaseInsensitive)) {
        const qsizetype at = line.indexOf(WhoisSiteAt, 0, Qt::CaseInsensitive);
        if (at >= 0)
            return line.sliced(at + WhoisSiteAt.size());
    }
    for (const QStringView label : Labels) {
        if (!line.startsWith(label, Qt::CaseInsensitive))
            continue;
        QStringView rest = skipBlanks(line.sliced(label.size()));
        if (!rest.startsWith(QLatin1Char(':')))
            continue;
        rest = rest.sliced(1);
        return rest.startsWith(QLatin1Char(':')) ? rest.sliced(1) : rest;
    }
    return std::nullopt;
}

// An address as a server: none for an unspecified one (0.0.0.0, ::), which names no server. A
// loopback address is kept: a user may run a server of their own.
QString serverAddress(QStringView text) {
    const QHostAddress address(text.toString());
    const bool unspecified =
        address.isEqual(QHostAddress::AnyIPv4, QHostAddress::ConvertV4MappedToIPv4) ||
        address.isEqual(QHostAddress::AnyIPv6);
    return unspecified ? QString() : text.toString();
}

// The server a value names: a host name or an IP address, alone or as "whois://server", with
// ":43" after a name or an IPv4 address (an IPv6 address takes it inside brackets), and one
// trailing dot on a name dropped. Empty for anything else.
QString serverInValue(QStringView value) {
    if (value.startsWith(WhoisScheme, Qt::CaseInsensitive))
        value = value.sliced(WhoisScheme.size());
    if (isIpAddress(value))
        return serverAddress(value);
    if (value.startsWith(QLatin1Char('['))) {
        const qsizetype close = value.indexOf(QLatin1Char(']'));
        const QStringView inside = close < 0 ? QStringView() : value.sliced(1, close - 1);
        const QStringView after = close < 0 ? QStringView() : value.sliced(close + 1);
        const bool portOk = after.isEmpty() || after == WhoisPort;
        return close > 0 && portOk && inside.contains(QLatin1Char(':')) && isIpAddress(inside)
                   ? serverAddress(inside)
                   : QString();
    }
    if (value.endsWith(WhoisPort))
        value.chop(WhoisPort.size());
    if (isIpAddress(value) && !value.contains(QLatin1Char(':')))
        return serverAddress(value);
    if (value.endsWith(QLatin1Char('.')))
        value.chop(1);
    return isHostName(value) ? value.toString() : QString();
}

// A selection without what often stands around a name in prose: one trailing comma or
// semicolon, one pair of quotes, parentheses, brackets or angle brackets.
QStringView unwrapped(QStringView text) {
    if (text.endsWith(QLatin1Char(',')) || text.endsWith(QLatin1Char(';')))
        text.chop(1);
    static const char16_t pairs[][2] = {
        {u'\'', u'\''}, {u'"', u'"'}, {u'(', u')'}, {u'[', u']'}, {u'<', u'>'}};
    for (const auto &pair : pairs) {
        if (text.size() >= 2 && text.front() == QChar(pair[0]) && text.back() == QChar(pair[1]))
            return text.sliced(1, text.size() - 2);
    }
    return text;
}

} // namespace

QString serverInSelection(QStringView selection) {
    const QStringView text = selection.trimmed();
    const QString whole = serverInValue(text);
    return whole.isEmpty() ? serverInValue(unwrapped(text)) : whole;
}

QString serverInLine(QStringView line) {
    const std::optional<QStringView> labelled = labelledValue(line.trimmed());
    return labelled ? serverInValue(labelled->trimmed()) : QString();
}

QString serverToSearch(QStringView selection, bool onSelection, QStringView line) {
    const QString selected = onSelection ? serverInSelection(selection) : QString();
    if (!selected.isEmpty())
        return selected;
    const QString whois = serverInLine(line);
    return whois.isEmpty() ? rdap::relatedBase(line) : whois;
}

} // namespace referral
