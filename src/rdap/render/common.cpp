// The parts every object class has: events, public IDs, links, remarks and notices.
#include "renderer.h"

#include "rdap/labels.h"

namespace rdap::render {

namespace {

// An event's action as a label: the registered ones (RFC 9083 and the IANA registry) begin
// with a capital; any other action is written as the server did.
QStringView actionLabel(QStringView action) {
    static const std::array<std::pair<QLatin1String, QStringView>, 12> known = {{
        {QLatin1String("registration"), u"Registration"},
        {QLatin1String("reregistration"), u"Reregistration"},
        {QLatin1String("last changed"), u"Last changed"},
        {QLatin1String("expiration"), u"Expiration"},
        {QLatin1String("deletion"), u"Deletion"},
        {QLatin1String("reinstantiation"), u"Reinstantiation"},
        {QLatin1String("transfer"), u"Transfer"},
        {QLatin1String("locked"), u"Locked"},
        {QLatin1String("unlocked"), u"Unlocked"},
        {QLatin1String("last update of RDAP database"), u"Last update of RDAP database"},
        {QLatin1String("registrar expiration"), u"Registrar expiration"},
        {QLatin1String("enum validation expiration"), u"Enum validation expiration"},
    }};
    for (const auto &[name, label] : known) {
        if (action.size() == name.size() && action == name)
            return label;
    }
    return action;
}

} // namespace

void Renderer::events(int level, const Member &m, const QJsonValue &value, const Skip &skip) {
    eachObject(level, m.name, value, [&](const QJsonObject &e) {
        // The head writes those of "events" only, never those of "asEventActor".
        if (!skip.headEvents || m.name != u"events" || headEventLabel(e).isEmpty())
            event(level, e);
    });
}

// "Registration: 1997-09-15T04:00:00Z" (or under the label given), the event's other members
// below it.
void Renderer::event(int level, const QJsonObject &event, QStringView label) {
    const QJsonValue action = event.value(QLatin1String("eventAction"));
    const QJsonValue date = event.value(QLatin1String("eventDate"));
    if (!action.isString() || !(date.isString() || date.isUndefined())) {
        generic(level, u"events", event);
        return;
    }
    const QString actionText = action.toString();
    field(level, label.isEmpty() ? actionLabel(actionText) : label, date.toString());
    if (event.size() > 1 + !date.isUndefined())
        object(level + 1, event, Skip().with(u"eventAction").with(u"eventDate"));
}

// "IANA Registrar ID: 292"
void Renderer::publicIds(int level, const Member &m, const QJsonValue &value, const Skip &skip) {
    qsizetype at = -1;
    eachObject(level, m.name, value, [&](const QJsonObject &id) {
        if (++at == skip.publicId)
            return;
        const QJsonValue type = id.value(QLatin1String("type"));
        const QJsonValue identifier = id.value(QLatin1String("identifier"));
        if (!type.isString() || !isScalar(identifier) || identifier.isUndefined()) {
            generic(level, m.name, id);
            return;
        }
        publicId(level, type.toString(), id);
    });
}

void Renderer::publicId(int level, QStringView label, const QJsonObject &id) {
    field(level, label, scalarText(id.value(QLatin1String("identifier"))));
    object(level + 1, id, Skip().with(u"type").with(u"identifier"));
}

void Renderer::links(int level, const Member &m, const QJsonValue &value) {
    eachObject(level, m.name, value, [&](const QJsonObject &l) { link(level, l); });
}

// "Link: related https://rdap.example/domain/X (application/rdap+json)", then the title and
// value where they add to it.
void Renderer::link(int level, const QJsonObject &link) {
    const QJsonValue rel = link.value(QLatin1String("rel"));
    const QJsonValue href = link.value(QLatin1String("href"));
    const QJsonValue type = link.value(QLatin1String("type"));
    if (!href.isString() || !(rel.isString() || rel.isUndefined()) ||
        !(type.isString() || type.isUndefined())) {
        generic(level, u"links", link);
        return;
    }
    m_line.resize(0); // an answer can hold thousands of links

    m_line += rel.toString();
    if (!m_line.isEmpty())
        m_line += QLatin1Char(' ');
    const QString target = href.toString();
    m_line += target;
    if (type.isString()) {
        m_line += QLatin1String(" (");
        m_line += type.toString();
        m_line += QLatin1Char(')');
    }
    field(level, labels::Link, m_line);
    const QJsonValue title = link.value(QLatin1String("title"));
    const QJsonValue value = link.value(QLatin1String("value"));
    const auto repeatsHref = [&target](const QJsonValue &v) {
        return v.isString() && v.toString() == target;
    };
    const qsizetype count =
        1 + !rel.isUndefined() + !type.isUndefined() + !title.isUndefined() + !value.isUndefined();
    if (link.size() == count) {
        // The usual link: nothing more than a title and a value, each below it unless it only
        // repeats the href (in the members' order, as the general walk would write them).
        if (!title.isUndefined() && !repeatsHref(title))
            generic(level + 1, u"title", title);
        if (!value.isUndefined() && !repeatsHref(value))
            generic(level + 1, u"value", value);
        return;
    }
    Skip written;
    written.with(u"rel").with(u"href").with(u"type");
    if (repeatsHref(title))
        written.with(u"title");
    if (repeatsHref(value))
        written.with(u"value");
    object(level + 1, link, written);
}

void Renderer::notices(int level, const Member &m, const QJsonValue &value) {
    eachObject(level, m.name, value, [&](const QJsonObject &n) { notice(level, m.label, n); });
}

// The title in the heading line, each description line below it, then any other member.
void Renderer::notice(int level, QStringView label, const QJsonObject &notice) {
    const QJsonValue title = notice.value(QLatin1String("title"));
    Skip written;
    if (title.isString()) {
        field(level, label, title.toString());
        written.with(u"title");
    } else {
        heading(level, label);
    }
    const QJsonValue description = notice.value(QLatin1String("description"));
    if (description.isArray() || description.isString()) {
        written.with(u"description");
        const QJsonArray lines =
            description.isArray() ? description.toArray() : QJsonArray{description};
        for (const QJsonValue &line : lines) {
            if (line.isString())
                field(level + 1, QStringView(), line.toString());
            else
                generic(level + 1, u"description", line);
        }
    }
    object(level + 1, notice, written);
}

void Renderer::redactions(int level, const Member &m, const QJsonValue &value) {
    eachObject(level, m.name, value, [&](const QJsonObject &r) { redaction(level, r); });
}

// RFC 9537: "Redacted: Registrant Name (emptyValue; Server policy)", each path below under its
// own name with its language, then anything else of it. Paths are shown, never followed.
void Renderer::redaction(int level, const QJsonObject &redaction) {
    // A name or reason: its type, else its description.
    const auto text = [](const QJsonValue &v) -> QStringView {
        const QJsonObject o = v.toObject();
        if (o.value(QLatin1String("type")).isString())
            return u"type";
        if (o.value(QLatin1String("description")).isString())
            return u"description";
        return {};
    };
    const QJsonValue name = redaction.value(QLatin1String("name"));
    const QJsonValue method = redaction.value(QLatin1String("method"));
    const QJsonValue reason = redaction.value(QLatin1String("reason"));
    const QStringView nameKey = text(name);
    if (nameKey.isEmpty() || !(method.isString() || method.isUndefined())) {
        generic(level, u"redacted", redaction);
        return;
    }
    const QStringView reasonKey = text(reason);
    QString line = name.toObject().value(nameKey).toString();
    line += QLatin1String(" (");
    line += method.isString() ? method.toString() : QStringLiteral("removal");
    if (!reasonKey.isEmpty()) {
        line += QLatin1String("; ");
        line += reason.toObject().value(reasonKey).toString();
    }
    line += QLatin1Char(')');
    field(level, u"Redacted", line);

    Skip written;
    written.with(u"name").with(u"method");
    object(level + 1, name.toObject(), Skip().with(nameKey));
    if (!reasonKey.isEmpty()) {
        written.with(u"reason");
        object(level + 1, reason.toObject(), Skip().with(reasonKey));
    }
    const QJsonValue language = redaction.value(QLatin1String("pathLang"));
    bool languageShown = false;
    for (const QStringView path : {u"prePath", u"postPath", u"replacementPath"}) {
        const QJsonValue v = redaction.value(path);
        if (!v.isString())
            continue;
        written.with(path);
        if (language.isString()) {
            field(level + 1, path,
                  v.toString() + QLatin1String(" (") + language.toString() + QLatin1Char(')'));
            languageShown = true;
        } else {
            field(level + 1, path, v.toString());
        }
    }
    if (languageShown)
        written.with(u"pathLang");
    object(level + 1, redaction, written);
}

} // namespace rdap::render
