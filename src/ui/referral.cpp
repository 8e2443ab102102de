#include "referral.h"

#include "rdap/hostname.h"

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

// The labels before the colon, as servers write them; compared without regard to case.
const std::array<QLatin1String, 5> Labels = {
    QLatin1String("refer"),          QLatin1String("whois"),
    QLatin1String("ReferralServer"), QLatin1String("Registrar WHOIS Server"),
    QLatin1String("Whois Server"),
};

const QLatin1String WhoisScheme("whois://");
const QLatin1String WhoisPort(":43");

// The value after a referral label and its colon, or nothing when the line has no such label.
std::optional<QStringView> labelledValue(QStringView line) {
    for (const QLatin1String label : Labels) {
        if (!line.startsWith(label, Qt::CaseInsensitive))
            continue;
        const QStringView rest = skipBlanks(line.sliced(label.size()));
        if (rest.startsWith(QLatin1Char(':')))
            return rest.sliced(1);
    }
    return std::nullopt;
}

} // namespace

QString serverInSelection(QStringView selection) {
    const QStringView text = selection.trimmed();
    if (isHostName(text))
        return text.toString();
    if (!isIpAddress(text))
        return {};
    const QHostAddress address(text.toString());
    const bool unspecified =
        address.isEqual(QHostAddress::AnyIPv4, QHostAddress::ConvertV4MappedToIPv4) ||
        address.isEqual(QHostAddress::AnyIPv6);
    return unspecified ? QString() : text.toString();
}

QString serverInLine(QStringView line) {
    const std::optional<QStringView> labelled = labelledValue(line.trimmed());
    if (!labelled)
        return {};
    QStringView value = labelled->trimmed();
    if (value.startsWith(WhoisScheme, Qt::CaseInsensitive)) {
        value = value.sliced(WhoisScheme.size());
        if (value.endsWith(WhoisPort))
            value.chop(WhoisPort.size());
    }
    return isHostName(value) ? value.toString() : QString();
}

QString serverToSearch(QStringView selection, bool onSelection, QStringView line) {
    const QString selected = onSelection ? serverInSelection(selection) : QString();
    return selected.isEmpty() ? serverInLine(line) : selected;
}

} // namespace referral
