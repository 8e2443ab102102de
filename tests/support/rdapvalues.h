// What a rendered RDAP answer must hold: every string and number of the answer, for the
// rendering tests and the RDAP fuzz target alike. Header only.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLocale>
#include <QString>
#include <QStringEncoder>
#include <QStringList>

#include <QByteArray>
#include <QByteArrayView>

#include <cmath>
#include <optional>

namespace rdapvalues {

// A domain's head names some values by its labels, as a registry's WHOIS answer does: the event
// actions it holds and the type of the registrar's IANA ID.
inline bool toldByHead(const QString &value, const QString &text) {
    static const char *const labels[][2] = {
        {"last changed", "Updated Date:"},
        {"registration", "Creation Date:"},
        {"expiration", "Registry Expiry Date:"},
        {"registrar expiration", "Registrar Registration Expiration Date:"},
        {"IANA Registrar ID", "Registrar IANA ID:"},
    };
    for (const auto &label : labels) {
        if (value == QLatin1String(label[0]))
            return text.contains(QLatin1String(label[1]));
    }
    return false;
}

// Every string and number of the value missing from text, a line of a multi-line string at a
// time. Event actions and roles may begin with a capital there; a vCard's "vcard" marker,
// property names and value types are its form, shown by the labels. Two values go without
// saying, told by a heading: the class of an object in an "entities" or "nameservers" array
// when it is "entity" or "nameserver", and a vCard's version.
inline void collectMissing(const QJsonValue &value, const QString &text, QStringList *missing,
                           const QString &impliedClass = QString()) {
    if (value.isString()) {
        // As UTF-8 text can hold it: a lone surrogate becomes U+FFFD.
        const QString s = QString::fromUtf8(
            QStringEncoder(QStringEncoder::Utf8, QStringConverter::Flag::Stateless)
                .encode(value.toString()));
        qsizetype start = 0;
        for (qsizetype i = 0; i <= s.size(); ++i) {
            if (i < s.size() && s[i] != QLatin1Char('\n') && s[i] != QLatin1Char('\r'))
                continue;
            const QString line = s.sliced(start, i - start);
            start = i + 1;
            QString upper = line;
            if (!upper.isEmpty())
                upper[0] = upper.at(0).toUpper();
            if (!text.contains(line) && !text.contains(upper) && !toldByHead(line, text))
                *missing += line;
        }
    } else if (value.isDouble()) {
        const double d = value.toDouble();
        const QString shown = std::trunc(d) == d && std::fabs(d) < 1e21
                                  ? QString::number(d, 'f', 0)
                                  : QString::number(d, 'g', QLocale::FloatingPointShortest);
        if (!text.contains(shown))
            *missing += shown;
    } else if (value.isArray()) {
        for (const QJsonValue &element : value.toArray())
            collectMissing(element, text, missing, element.isObject() ? impliedClass : QString());
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() == QLatin1String("objectClassName") && !impliedClass.isEmpty() &&
                it.value() == impliedClass)
                continue;
            QString implied;
            if (it.value().isArray() && it.key() == QLatin1String("entities"))
                implied = QStringLiteral("entity");
            else if (it.value().isArray() && it.key() == QLatin1String("nameservers"))
                implied = QStringLiteral("nameserver");
            const QJsonArray card = it.value().toArray();
            if (it.key() != QLatin1String("vcardArray") || card.size() < 2 ||
                card.at(0) != QLatin1String("vcard") || !card.at(1).isArray()) {
                collectMissing(it.value(), text, missing, implied);
                continue;
            }
            for (const QJsonValue &property : card.at(1).toArray()) {
                const QJsonArray p = property.toArray();
                if (p.size() < 4 || !p.at(0).isString() || !p.at(1).isObject() ||
                    !p.at(2).isString()) {
                    collectMissing(property, text, missing);
                    continue;
                }
                if (p.size() == 4 && p.at(0) == QLatin1String("version") &&
                    p.at(1).toObject().isEmpty() && p.at(3).isString())
                    continue;
                collectMissing(p.at(1), text, missing);
                for (qsizetype i = 3; i < p.size(); ++i)
                    collectMissing(p.at(i), text, missing);
            }
            for (qsizetype i = 2; i < card.size(); ++i)
                collectMissing(card.at(i), text, missing);
        }
    }
}

// The same over a whole parsed answer.
inline QStringList missing(const QJsonDocument &document, const QString &text) {
    QStringList out;
    collectMissing(document.isObject() ? QJsonValue(document.object())
                                       : QJsonValue(document.array()),
                   text, &out);
    return out;
}

// A renderer's text (rdap::renderAnswer or rdap::renderError) as a string; nullopt when it
// refused the body.
template <typename... Hooks>
std::optional<QString> textOf(bool (*render)(QByteArrayView, QByteArray &, const Hooks &...),
                              QByteArrayView body) {
    QByteArray text;
    if (!render(body, text, Hooks()...))
        return std::nullopt;
    return QString::fromUtf8(text);
}

} // namespace rdapvalues
