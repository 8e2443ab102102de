// Entities and their vCards: an entity's heading line (its roles and its name), the rest below.
#include "renderer.h"

#include <QStringList>

namespace rdap::render {

namespace {

QString upperFirst(QString text) {
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

} // namespace

bool Renderer::entities(int level, const Member &m, const QJsonValue &value) {
    if (!value.isArray())
        return false;
    // The registrar first: it is what a user looks for after the dates.
    const QJsonArray entities = value.toArray();
    const auto isRegistrar = [](const QJsonValue &e) {
        return e.toObject()
            .value(QLatin1String("roles"))
            .toArray()
            .contains(QLatin1String("registrar"));
    };
    for (const bool registrars : {true, false}) {
        for (const QJsonValue &e : entities) {
            if (isRegistrar(e) != registrars)
                continue;
            if (e.isObject())
                entity(level, e.toObject());
            else
                generic(level, m.name, e);
        }
    }
    return true;
}

bool Renderer::roles(int level, const Member &m, const QJsonValue &value) {
    if (!value.isArray())
        return false;
    QStringList roles;
    for (const QJsonValue &role : value.toArray()) {
        if (!role.isString())
            return false;
        roles += role.toString();
    }
    field(level, m.label, roles.join(QLatin1String(", ")));
    return true;
}

// Its roles and its name in one line, "Registrar: MarkMonitor Inc.", the rest below it.
void Renderer::entity(int level, const QJsonObject &entity) {
    Skip skip;
    QString label = QStringLiteral("Entity");
    const QJsonValue roles = entity.value(QLatin1String("roles"));
    if (roles.isArray() && !roles.toArray().isEmpty()) {
        QStringList names;
        for (const QJsonValue &role : roles.toArray())
            names += role.toString();
        if (std::all_of(roles.toArray().begin(), roles.toArray().end(),
                        [](const QJsonValue &r) { return r.isString(); })) {
            label = upperFirst(names.join(QLatin1String(", ")));
            skip.with(u"roles");
        }
    }
    QString name;
    const QJsonArray card = entity.value(QLatin1String("vcardArray")).toArray();
    if (card.size() >= 2 && card.at(0) == QLatin1String("vcard")) {
        // The first "fn" names it, when it is a plain text without parameters.
        for (const QJsonValue &property : card.at(1).toArray()) {
            const QJsonArray p = property.toArray();
            if (p.isEmpty() || p.at(0) != QLatin1String("fn"))
                continue;
            if (p.size() == 4 && p.at(1).isObject() && p.at(1).toObject().isEmpty() &&
                p.at(2).isString() && p.at(3).isString()) {
                name = p.at(3).toString();
                skip.firstFn = true;
            }
            break;
        }
    }
    const QJsonValue handle = entity.value(QLatin1String("handle"));
    if (!skip.firstFn && handle.isString()) {
        name = handle.toString();
        skip.with(u"handle");
    }
    field(level, label, name);
    object(level + 1, entity, skip);
}

// jCard (RFC 7095): ["vcard", [[name, parameters, value type, value...], ...]].
bool Renderer::vcard(int level, const QJsonValue &value, bool skipFirstFn) {
    const QJsonArray card = value.toArray();
    if (card.size() < 2 || card.at(0) != QLatin1String("vcard") || !card.at(1).isArray())
        return false;
    bool fnSkipped = !skipFirstFn;
    for (const QJsonValue &property : card.at(1).toArray()) {
        const QJsonArray p = property.toArray();
        if (p.size() < 4 || !p.at(0).isString() || !p.at(1).isObject() || !p.at(2).isString()) {
            generic(level, u"vCard", property);
            continue;
        }
        if (!fnSkipped && p.at(0) == QLatin1String("fn")) {
            fnSkipped = true; // in the entity's heading line
            continue;
        }
        vcardProperty(level, p);
    }
    for (qsizetype i = 2; i < card.size(); ++i)
        generic(level, u"vCard", card.at(i));
    return true;
}

void Renderer::vcardProperty(int level, const QJsonArray &property) {
    const QString name = property.at(0).toString();
    const QString lower = name.toLower();
    static const std::array<std::pair<QLatin1String, QLatin1String>, 11> labels = {{
        {QLatin1String("fn"), QLatin1String("Name")},
        {QLatin1String("n"), QLatin1String("Name parts")},
        {QLatin1String("org"), QLatin1String("Organization")},
        {QLatin1String("adr"), QLatin1String("Address")},
        {QLatin1String("email"), QLatin1String("Email")},
        {QLatin1String("tel"), QLatin1String("Phone")},
        {QLatin1String("url"), QLatin1String("URL")},
        {QLatin1String("kind"), QLatin1String("Kind")},
        {QLatin1String("title"), QLatin1String("Title")},
        {QLatin1String("role"), QLatin1String("Role")},
        {QLatin1String("lang"), QLatin1String("Language")},
    }};
    QString label = name;
    for (const auto &[vcardName, text] : labels) {
        if (lower == vcardName)
            label = text;
    }
    // Parameters: "type" joins the label ("Phone (voice)"), an address's "label" is its lines;
    // any other is written below the property.
    const QJsonObject parameters = property.at(1).toObject();
    const auto isType = [](const QString &key, const QJsonValue &v) {
        if (key.compare(QLatin1String("type"), Qt::CaseInsensitive) != 0)
            return false;
        if (v.isString())
            return true;
        const QJsonArray types = v.toArray();
        return !types.isEmpty() && std::all_of(types.begin(), types.end(),
                                               [](const QJsonValue &t) { return t.isString(); });
    };
    const bool address = lower == QLatin1String("adr");
    const auto isAddressLabel = [address](const QString &key, const QJsonValue &v) {
        return address && v.isString() &&
               key.compare(QLatin1String("label"), Qt::CaseInsensitive) == 0;
    };
    QString addressLabel;
    bool hasAddressLabel = false;
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        const QString key = it.key();
        const QJsonValue v = it.value();
        if (isType(key, v)) {
            label += QLatin1String(" (");
            if (v.isString()) {
                label += v.toString();
            } else {
                const QJsonArray types = v.toArray();
                for (qsizetype i = 0; i < types.size(); ++i)
                    label +=
                        (i > 0 ? QLatin1String(", ") : QLatin1String()) + types.at(i).toString();
            }
            label += QLatin1Char(')');
        } else if (isAddressLabel(key, v)) {
            addressLabel = v.toString();
            hasAddressLabel = true;
        }
    }
    if (hasAddressLabel)
        field(level, label, addressLabel);
    // Each piece of the value: a value, an element of it or an element of one of its elements.
    const auto eachPiece = [&property](const auto &f) {
        for (qsizetype i = 3; i < property.size(); ++i) {
            const QJsonValue v = property.at(i);
            if (!v.isArray()) {
                f(v);
                continue;
            }
            for (const QJsonValue &part : v.toArray()) {
                if (!part.isArray()) {
                    f(part);
                    continue;
                }
                for (const QJsonValue &piece : part.toArray())
                    f(piece);
            }
        }
    };
    // The value: its parts (an address's components, a name's) joined, empty parts left out;
    // what is no text or number is written below.
    QString value;
    bool odd = false;
    eachPiece([&](const QJsonValue &piece) {
        if (!isScalar(piece)) {
            odd = true;
        } else if (!(piece.isString() && piece.toString().isEmpty())) {
            if (!value.isEmpty())
                value += QLatin1String(", ");
            value += scalarText(piece);
        }
    });
    if (!value.isEmpty() || !hasAddressLabel)
        field(level, label, value);
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        const QString key = it.key();
        if (!isType(key, it.value()) && !isAddressLabel(key, it.value()))
            generic(level + 1, key, it.value());
    }
    // Objects or deeper arrays where text was due: each under the property's name.
    if (odd) {
        eachPiece([&](const QJsonValue &piece) {
            if (!isScalar(piece))
                generic(level + 1, name, piece);
        });
    }
}

} // namespace rdap::render
