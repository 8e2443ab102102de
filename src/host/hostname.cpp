#include "hostname.h"

#include <QHostAddress>

namespace host {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isLdh(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || isAsciiDigit(c) || u == u'-';
}

} // namespace

bool isHostName(QStringView text) {
    if (text.isEmpty() || text.size() > 253)
        return false;
    int labels = 0;
    bool lastAllDigits = false;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('.'), start);
        if (end < 0)
            end = text.size();
        const QStringView label = text.sliced(start, end - start);
        if (label.isEmpty() || label.size() > 63 || label.front() == QLatin1Char('-') ||
            label.back() == QLatin1Char('-'))
            return false;
        lastAllDigits = true;
        for (const QChar c : label) {
            if (!isLdh(c))
                return false;
            lastAllDigits = lastAllDigits && isAsciiDigit(c);
        }
        ++labels;
        start = end + 1;
    }
    return labels >= 2 && !lastAllDigits;
}

bool isIpAddress(QStringView text) {
    if (text.contains(QLatin1Char(':'))) {
        // QHostAddress alone would also take a zone ("%eth0"); only hex digits, colons and the
        // dots of an embedded IPv4 part are let through to it.
        for (const QChar c : text) {
            if (!(isAsciiDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
                  (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char(':') ||
                  c == QLatin1Char('.')))
                return false;
        }
        QHostAddress address;
        return address.setAddress(text.toString()) &&
               address.protocol() == QAbstractSocket::IPv6Protocol;
    }
    int parts = 0;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf(QLatin1Char('.'), start);
        if (end < 0)
            end = text.size();
        const QStringView part = text.sliced(start, end - start);
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0'))
            return false;
        int value = 0;
        for (const QChar c : part) {
            if (!isAsciiDigit(c))
                return false;
            value = value * 10 + (c.unicode() - u'0');
        }
        if (value > 255 || ++parts > 4)
            return false;
        start = end + 1;
    }
    return parts == 4;
}

} // namespace host
