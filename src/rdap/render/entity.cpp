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

// A card's plain "version" property: the card's form, not a fact of the entity.
bool isVersion(const QJsonArray &p) {
    return p.size() == 4 && p.at(0) == QLatin1String("version") && p.at(1).isObject() &&
           p.at(1).toObject().isEmpty() && p.at(2).isString() && p.at(3).isString();
}

// The first fn, when it is plain and empty; -1 otherwise.
qsizetype emptyFn(const QJsonArray &properties) {
    for (qsizetype i = 0; i < properties.size(); ++i) {
        const QJsonArray p = properties.at(i).toArray();
        if (!p.isEmpty() && p.at(0) == QLatin1String("fn"))
            return isPlainProperty(p) && p.at(3).toString().isEmpty() ? i : -1;
    }
    return -1;
}

// " (work, voice)": a vCard type parameter's text or texts after a label.
void appendTypes(QString &label, const QJsonValue &type) {
    label += QLatin1String(" (");
    if (type.isString()) {
        label += type.toString();
    } else {
        const QJsonArray types = type.toArray();
        for (qsizetype i = 0; i < types.size(); ++i)
            label += (i > 0 ? QLatin1String(", ") : QLatin1String()) + types.at(i).toString();
    }
    label += QLatin1Char(')');
}

const Taken *taken(const Taken *list, qsizetype entity) {
    for (; list; list = list->next) {
        if (list->entity == entity)
            return list;
    }
    return nullptr;
}

} // namespace

bool Renderer::entities(int level, const Member &m, const QJsonValue &value, const Skip &skip) {
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
        for (qsizetype i = 0; i < entities.size(); ++i) {
            const QJsonValue e = entities.at(i);
            if (isRegistrar(e) != registrars)
                continue;
            if (!e.isObject())
                generic(level, m.name, e);
            else
                entity(level, e.toObject(), taken(skip.taken, i));
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

// Its roles and its name in one line, "Registrar: MarkMonitor Inc.", the rest below it; its
// class ("entity") goes without saying. When a domain's head has written its name and its roles
// say no more than the head's label, the heading stands only above what is left, if anything.
void Renderer::entity(int level, const QJsonObject &entity, const Taken *taken) {
    Skip skip = taken ? taken->skip : Skip();
    if (entity.value(QLatin1String("objectClassName")) == QLatin1String("entity"))
        skip.with(u"objectClassName");
    QString label = QStringLiteral("Entity");
    bool onlyTheHeadsRole = false;
    const QJsonValue roles = entity.value(QLatin1String("roles"));
    if (roles.isArray() && !roles.toArray().isEmpty()) {
        const QJsonArray list = roles.toArray();
        QStringList names;
        for (const QJsonValue &role : list)
            names += role.toString();
        if (std::all_of(list.begin(), list.end(),
                        [](const QJsonValue &r) { return r.isString(); })) {
            label = upperFirst(names.join(QLatin1String(", ")));
            skip.with(u"roles");
            onlyTheHeadsRole = taken && list.size() == 1 && list.at(0).toString() == taken->role;
        }
    }
    QString name;
    bool named = taken && taken->nameTaken;
    const QJsonArray properties = vcardProperties(entity.value(QLatin1String("vcardArray")));
    if (!named) {
        // Its fn, else its org, when it can stand in a line; else its handle.
        const qsizetype at = nameProperty(properties);
        if (at >= 0) {
            const QJsonArray p = properties.at(at).toArray();
            label = withTypes(label, p);
            name = p.at(3).toString();
            skip.withProperty(at);
            named = true;
        }
    }
    // An empty name says nothing that the heading does not.
    const qsizetype emptyName = emptyFn(properties);
    if (emptyName >= 0)
        skip.withProperty(emptyName);
    const QJsonValue handle = entity.value(QLatin1String("handle"));
    if (!named && handle.isString()) {
        name = handle.toString();
        skip.with(u"handle");
    }
    if (name.isEmpty() && onlyTheHeadsRole) {
        pendingHeading(level, label);
        object(level + 1, entity, skip);
        endPending();
        return;
    }
    field(level, label, name);
    object(level + 1, entity, skip);
}

QJsonArray vcardProperties(const QJsonValue &value) {
    const QJsonArray card = value.toArray();
    if (card.size() < 2 || card.at(0) != QLatin1String("vcard"))
        return QJsonArray();
    return card.at(1).toArray();
}

bool isPlainProperty(const QJsonArray &p) {
    if (p.size() != 4 || !p.at(0).isString() || !p.at(1).isObject() || !p.at(2).isString() ||
        !p.at(3).isString())
        return false;
    const QJsonObject parameters = p.at(1).toObject();
    if (parameters.isEmpty())
        return true;
    if (parameters.size() > 1)
        return false;
    const auto type = parameters.constBegin();
    if (type.key().compare(QLatin1String("type"), Qt::CaseInsensitive) != 0)
        return false;
    if (type.value().isString())
        return true;
    const QJsonArray types = type.value().toArray();
    return !types.isEmpty() && std::all_of(types.begin(), types.end(),
                                           [](const QJsonValue &t) { return t.isString(); });
}

QString withTypes(QStringView label, const QJsonArray &property) {
    QString text = label.toString();
    // A plain property's one parameter, if any, is its type (in any case).
    const QJsonObject parameters = property.at(1).toObject();
    if (!parameters.isEmpty())
        appendTypes(text, parameters.constBegin().value());
    return text;
}

qsizetype plainProperty(const QJsonArray &properties, QLatin1String name) {
    for (qsizetype i = 0; i < properties.size(); ++i) {
        const QJsonArray p = properties.at(i).toArray();
        if (!p.isEmpty() && p.at(0) == name && isPlainProperty(p) && !p.at(3).toString().isEmpty())
            return i;
    }
    return -1;
}

qsizetype nameProperty(const QJsonArray &properties) {
    const qsizetype fn = plainProperty(properties, QLatin1String("fn"));
    return fn >= 0 ? fn : plainProperty(properties, QLatin1String("org"));
}

// jCard (RFC 7095): ["vcard", [[name, parameters, value type, value...], ...]].
bool Renderer::vcard(int level, const QJsonValue &value, const Skip &skip) {
    const QJsonArray card = value.toArray();
    if (card.size() < 2 || card.at(0) != QLatin1String("vcard") || !card.at(1).isArray())
        return false;
    const QJsonArray properties = card.at(1).toArray();
    for (qsizetype i = 0; i < properties.size(); ++i) {
        const QJsonArray p = properties.at(i).toArray();
        if (p.size() < 4 || !p.at(0).isString() || !p.at(1).isObject() || !p.at(2).isString()) {
            generic(level, u"vCard", properties.at(i));
            continue;
        }
        // In the heading line or the domain's head already; the version goes without saying.
        if (skip.skipsProperty(i) || isVersion(p))
            continue;
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
            appendTypes(label, v);
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
