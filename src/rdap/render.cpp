#include "rdap.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <QtAlgorithms>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace rdap {

namespace {

// Deeper levels are written at this one: indentation that grew with hostile nesting would make
// the text quadratic in the answer's size.
constexpr int MaxLevel = 32;
// A label longer than this is written once, above its lines, rather than before each of them.
constexpr qsizetype LongLabel = 80;

QString numberText(double number) {
    // Integers whole, without ".0" or an exponent, as far as a double holds them exactly.
    if (std::trunc(number) == number && std::fabs(number) < 1e21)
        return QString::number(number, 'f', 0);
    return QString::number(number, 'g', QLocale::FloatingPointShortest);
}

QString scalarText(const QJsonValue &value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Double:
        return numberText(value.toDouble());
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    default:
        return QStringLiteral("null");
    }
}

bool isScalar(const QJsonValue &value) {
    return !value.isArray() && !value.isObject();
}

QString upperFirst(QString text) {
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

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

// The members an RDAP object is read by, in the order they are written: the head first (what a
// user reads first), then every other member in name order, then the tail.
enum class Phase { Head, Rest, Tail };
enum class Form {
    Field, // label: value
    List,  // label: value, a line per element
    AddressRange,
    AutnumRange,
    Events,
    Entities,
    Nameservers,
    SecureDns,
    IpAddresses,
    PublicIds,
    Vcard,
    Roles,
    Links,
    Remarks,
    Notices,
};
struct Member {
    QStringView name;
    QStringView label;
    Form form;
    Phase phase;
};
const std::array<Member, 29> Members = {{
    {u"objectClassName", u"Object class", Form::Field, Phase::Head},
    {u"ldhName", u"Name", Form::Field, Phase::Head},
    {u"unicodeName", u"Unicode name", Form::Field, Phase::Head},
    {u"handle", u"Handle", Form::Field, Phase::Head},
    {u"name", u"Name", Form::Field, Phase::Head},
    {u"startAddress", u"Address range", Form::AddressRange, Phase::Head},
    {u"endAddress", u"End address", Form::Field, Phase::Head},
    {u"ipVersion", u"IP version", Form::Field, Phase::Head},
    {u"startAutnum", u"AS range", Form::AutnumRange, Phase::Head},
    {u"endAutnum", u"End AS number", Form::Field, Phase::Head},
    {u"type", u"Type", Form::Field, Phase::Head},
    {u"country", u"Country", Form::Field, Phase::Head},
    {u"parentHandle", u"Parent handle", Form::Field, Phase::Head},
    {u"status", u"Status", Form::List, Phase::Head},
    {u"eventActor", u"Actor", Form::Field, Phase::Head},
    {u"events", u"", Form::Events, Phase::Head},
    {u"asEventActor", u"", Form::Events, Phase::Head},
    {u"roles", u"Roles", Form::Roles, Phase::Head},
    {u"vcardArray", u"", Form::Vcard, Phase::Head},
    {u"publicIds", u"", Form::PublicIds, Phase::Head},
    // "Whois Server:" is the label the referral rules read: it offers the port 43 server.
    {u"port43", u"Whois Server", Form::Field, Phase::Head},
    {u"entities", u"", Form::Entities, Phase::Head},
    {u"nameservers", u"", Form::Nameservers, Phase::Head},
    {u"ipAddresses", u"", Form::IpAddresses, Phase::Head},
    {u"secureDNS", u"", Form::SecureDns, Phase::Head},
    {u"secureDns", u"", Form::SecureDns, Phase::Head},
    {u"links", u"", Form::Links, Phase::Rest},
    {u"remarks", u"Remark", Form::Remarks, Phase::Rest},
    {u"notices", u"Notice", Form::Notices, Phase::Tail},
}};
// rdapConformance comes last of all, after the notices.
constexpr QStringView Conformance(u"rdapConformance");

int memberIndex(QStringView name) {
    for (int i = 0; i < int(Members.size()); ++i) {
        const QStringView known = Members[std::size_t(i)].name;
        // The sizes first: comparing them is inline, comparing the texts a call.
        if (name.size() == known.size() && name == known)
            return i;
    }
    return -1;
}

// Members of an object written elsewhere already (in its heading line): by their index in
// Members or by name, and the vCard's first "fn" when it named an entity. Skipping them beats
// copying the object without them, which costs an allocation per object.
struct Skip {
    std::uint64_t members = 0;
    bool firstFn = false;
    std::array<QStringView, 6> names{};
    std::size_t nameCount = 0;
    Skip &with(QStringView name) {
        const int i = memberIndex(name);
        if (i >= 0)
            members |= std::uint64_t(1) << i;
        else if (nameCount < names.size())
            names[nameCount++] = name;
        return *this;
    }
    bool skips(QStringView key) const {
        for (std::size_t i = 0; i < nameCount; ++i) {
            if (names[i] == key)
                return true;
        }
        return false;
    }
};

// Writes the text a line at a time into a small buffer of UTF-16 that goes on, as UTF-8, into
// the caller's text whenever it is full: the whole answer never stands twice in memory, once
// in each form.
class Renderer {
public:
    explicit Renderer(QByteArray &text)
        : m_text(text) {
        out.reserve(FlushAt + LongLabel + 2 * MaxLevel + 2);
    }
    ~Renderer() { flush(); }
    Renderer(const Renderer &) = delete;
    Renderer &operator=(const Renderer &) = delete;

    void object(int level, const QJsonObject &object, Skip skip = {});
    void generic(int level, QStringView label, const QJsonValue &value);
    // label: value, a line for each line of the value (CR LF, CR or LF end one).
    void field(int level, QStringView label, QStringView value);
    void heading(int level, QStringView label) {
        indent(level);
        out += label;
        out += QLatin1Char(':');
        endLine();
    }
    void endLine() {
        out += QLatin1Char('\n');
        if (out.size() >= FlushAt)
            flush();
    }

private:
    static constexpr qsizetype FlushAt = 16 * 1024;

    void flush() {
        const qsizetype had = m_text.size();
        m_text.resize(had + m_utf8.requiredSpace(out.size()));
        const char *end = m_utf8.appendToBuffer(m_text.data() + had, out);
        m_text.truncate(end - m_text.constData());
        out.resize(0); // keeps its capacity for the next lines
    }
    void indent(int level) {
        static const QString spaces(2 * MaxLevel, QLatin1Char(' '));
        out += QStringView(spaces).first(2 * std::min(level, MaxLevel));
    }
    bool member(int level, const QJsonObject &object, const Member &m, const QJsonValue &value,
                Skip &done, const Skip &skip);
    void event(int level, const QJsonObject &event);
    void entity(int level, const QJsonObject &entity);
    void nameserver(int level, const QJsonObject &nameserver);
    void secureDns(int level, const QJsonObject &dns);
    void link(int level, const QJsonObject &link);
    void notice(int level, QStringView label, const QJsonObject &notice);
    bool vcard(int level, const QJsonValue &value, bool skipFirstFn);
    void vcardProperty(int level, const QJsonArray &property);
    // f for each object of an array; anything else generically under the label (written once
    // above them when it is long).
    template <typename F>
    void eachObject(int level, QStringView label, const QJsonValue &value, F f) {
        if (!value.isArray()) {
            generic(level, label, value);
            return;
        }
        bool headed = false;
        for (const QJsonValue &element : value.toArray()) {
            if (element.isObject()) {
                f(element.toObject());
            } else if (label.size() <= LongLabel) {
                generic(level, label, element);
            } else {
                if (!headed)
                    heading(level, label);
                headed = true;
                generic(level + 1, QStringView(), element);
            }
        }
    }

    QByteArray &m_text;
    QStringEncoder m_utf8{QStringEncoder::Utf8};
    QString out;    // the lines not yet in m_text
    QString m_line; // a link's line, kept from link to link
};

void Renderer::field(int level, QStringView label, QStringView value) {
    const auto lineEnd = [&value](qsizetype from) {
        while (from < value.size() && value[from] != QLatin1Char('\n') &&
               value[from] != QLatin1Char('\r'))
            ++from;
        return from;
    };
    qsizetype stop = lineEnd(0);
    if (stop < value.size() && label.size() > LongLabel) {
        heading(level, label);
        label = QStringView();
        ++level;
    }
    for (qsizetype start = 0;;) {
        indent(level);
        if (!label.isEmpty()) {
            out += label;
            out += stop > start ? QLatin1String(": ") : QLatin1String(":");
        }
        out += value.sliced(start, stop - start);
        endLine();
        if (stop >= value.size())
            break;
        // CR LF, CR or LF ends a line; one at the very end starts no further line.
        start = stop + (value[stop] == QLatin1Char('\r') && stop + 1 < value.size() &&
                                value[stop + 1] == QLatin1Char('\n')
                            ? 2
                            : 1);
        if (start >= value.size())
            break;
        stop = lineEnd(start);
    }
}

void Renderer::generic(int level, QStringView label, const QJsonValue &value) {
    if (value.isObject()) {
        const QJsonObject members = value.toObject();
        if (members.isEmpty())
            return;
        if (!label.isEmpty()) {
            heading(level, label);
            ++level;
        }
        object(level, members);
    } else if (value.isArray()) {
        const QJsonArray elements = value.toArray();
        if (elements.isEmpty())
            return;
        if (label.size() > LongLabel && elements.size() > 1) {
            heading(level, label);
            label = QStringView();
            ++level;
        }
        for (const QJsonValue &element : elements)
            generic(level, label, element);
    } else {
        field(level, label, scalarText(value));
    }
}

void Renderer::object(int level, const QJsonObject &object, Skip skip) {
    // One pass sorts the members into known ones (by index), rdapConformance (-2), search
    // results (-3) and the rest (-1); the writing passes then look up nothing.
    constexpr signed char Other = -1, Conforms = -2, Results = -3, Skipped = -4;
    std::array<QJsonObject::const_iterator, Members.size()> found{};
    std::uint64_t present = 0;
    QVarLengthArray<signed char, 32> kinds;
    // Each key is made once: a QString from the object's own storage costs an allocation.
    QVarLengthArray<QString, 32> keys;
    kinds.reserve(object.size());
    keys.reserve(object.size());
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        keys.push_back(it.key());
        const QString &key = keys.back();
        const int i = memberIndex(key);
        if (skip.nameCount > 0 && skip.skips(key)) {
            kinds.push_back(Skipped);
        } else if (i >= 0) {
            found[std::size_t(i)] = it;
            present |= std::uint64_t(1) << i;
            kinds.push_back(static_cast<signed char>(i));
        } else if (key == Conformance) {
            kinds.push_back(Conforms);
        } else if (it.value().isArray() && key.endsWith(QLatin1String("SearchResults"))) {
            kinds.push_back(Results);
        } else {
            kinds.push_back(Other);
        }
    }
    Skip done = skip;
    const auto run = [&](Phase phase) {
        // The members present, in the order of Members.
        for (std::uint64_t todo = present; todo != 0; todo &= todo - 1) {
            const std::size_t i = qCountTrailingZeroBits(todo);
            const Member &m = Members[i];
            if (m.phase != phase || ((done.members >> i) & 1))
                continue;
            if (member(level, object, m, found[i].value(), done, skip))
                done.members |= std::uint64_t(1) << i;
            else if (phase == Phase::Tail)
                generic(level, m.name, found[i].value());
        }
    };
    run(Phase::Head);
    qsizetype at = 0;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it, ++at) {
        const int kind = kinds[at];
        if (kind >= 0) {
            const Member &m = Members[std::size_t(kind)];
            if ((done.members >> kind) & 1 || m.phase == Phase::Tail)
                continue;
            if (m.phase == Phase::Rest && member(level, object, m, it.value(), done, skip)) {
                done.members |= std::uint64_t(1) << kind;
                continue;
            }
        } else if (kind == Conforms || kind == Skipped) {
            continue;
        } else if (kind == Results) {
            // A search's results are the answer itself: each at this level, a blank line before.
            eachObject(level, keys[at], it.value(), [&](const QJsonObject &result) {
                endLine();
                this->object(level, result);
            });
            continue;
        }
        generic(level, keys[at], it.value());
    }
    run(Phase::Tail);
    const auto conformance = object.constFind(Conformance);
    if (conformance != object.constEnd())
        generic(level, u"RDAP conformance", conformance.value());
}

// Writes one known member in its own form; false when its value has a shape that form cannot
// take, so that the caller writes it generically under its own name.
bool Renderer::member(int level, const QJsonObject &object, const Member &m,
                      const QJsonValue &value, Skip &done, const Skip &skip) {
    const QStringView label = m.label;
    switch (m.form) {
    case Form::Field:
        if (!isScalar(value))
            return false;
        field(level, label, scalarText(value));
        return true;
    case Form::List:
        if (!value.isArray())
            return false;
        generic(level, label, value);
        return true;
    case Form::AddressRange:
    case Form::AutnumRange: {
        const int end = memberIndex(m.form == Form::AddressRange ? u"endAddress" : u"endAutnum");
        const QJsonValue last = object.value(Members[std::size_t(end)].name);
        if (!isScalar(value) || !isScalar(last) || last.isUndefined() ||
            ((skip.members >> end) & 1))
            return false;
        field(level, label, scalarText(value) + QLatin1String(" - ") + scalarText(last));
        done.members |= std::uint64_t(1) << end;
        return true;
    }
    case Form::Events:
        eachObject(level, m.name, value, [&](const QJsonObject &e) { event(level, e); });
        return true;
    case Form::Entities: {
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
    case Form::Nameservers:
        eachObject(level, m.name, value, [&](const QJsonObject &ns) { nameserver(level, ns); });
        return true;
    case Form::SecureDns:
        if (!value.isObject())
            return false;
        secureDns(level, value.toObject());
        return true;
    case Form::IpAddresses: {
        if (!value.isObject())
            return false;
        const QJsonObject addresses = value.toObject();
        for (auto it = addresses.constBegin(); it != addresses.constEnd(); ++it) {
            const QString key = it.key();
            if (key == QLatin1String("v4") || key == QLatin1String("v6"))
                generic(level, key == QLatin1String("v4") ? u"IPv4 address" : u"IPv6 address",
                        it.value());
            else
                generic(level, key, it.value());
        }
        return true;
    }
    case Form::PublicIds:
        // "IANA Registrar ID: 292"
        eachObject(level, m.name, value, [&](const QJsonObject &id) {
            const QJsonValue type = id.value(QLatin1String("type"));
            const QJsonValue identifier = id.value(QLatin1String("identifier"));
            if (!type.isString() || !isScalar(identifier) || identifier.isUndefined()) {
                generic(level, m.name, id);
                return;
            }
            field(level, type.toString(), scalarText(identifier));
            this->object(level + 1, id, Skip().with(u"type").with(u"identifier"));
        });
        return true;
    case Form::Vcard:
        return vcard(level, value, skip.firstFn);
    case Form::Roles: {
        if (!value.isArray())
            return false;
        QStringList roles;
        for (const QJsonValue &role : value.toArray()) {
            if (!role.isString())
                return false;
            roles += role.toString();
        }
        field(level, label, roles.join(QLatin1String(", ")));
        return true;
    }
    case Form::Links:
        eachObject(level, m.name, value, [&](const QJsonObject &l) { link(level, l); });
        return true;
    case Form::Remarks:
    case Form::Notices:
        eachObject(level, m.name, value, [&](const QJsonObject &n) { notice(level, label, n); });
        return true;
    }
    return false;
}

// "Registration: 1997-09-15T04:00:00Z", the event's other members below it.
void Renderer::event(int level, const QJsonObject &event) {
    const QJsonValue action = event.value(QLatin1String("eventAction"));
    const QJsonValue date = event.value(QLatin1String("eventDate"));
    if (!action.isString() || !(date.isString() || date.isUndefined())) {
        generic(level, u"events", event);
        return;
    }
    const QString actionText = action.toString();
    field(level, actionLabel(actionText), date.toString());
    if (event.size() > 1 + !date.isUndefined())
        object(level + 1, event, Skip().with(u"eventAction").with(u"eventDate"));
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

void Renderer::nameserver(int level, const QJsonObject &nameserver) {
    const QJsonValue name = nameserver.value(QLatin1String("ldhName"));
    Skip skip;
    if (name.isString())
        skip.with(u"ldhName");
    // Its class is the label already.
    if (nameserver.value(QLatin1String("objectClassName")) == QLatin1String("nameserver"))
        skip.with(u"objectClassName");
    field(level, u"Nameserver", name.toString());
    object(level + 1, nameserver, skip);
}

// DNSSEC: the flags, and each DS and DNSKEY record in its DNS presentation form.
void Renderer::secureDns(int level, const QJsonObject &dns) {
    for (auto it = dns.constBegin(); it != dns.constEnd(); ++it) {
        const QString key = it.key();
        const bool ds = key == QLatin1String("dsData");
        if (!ds && key != QLatin1String("keyData")) {
            if (key == QLatin1String("zoneSigned") && isScalar(it.value()))
                field(level, u"DNSSEC zone signed", scalarText(it.value()));
            else if (key == QLatin1String("delegationSigned") && isScalar(it.value()))
                field(level, u"DNSSEC delegation signed", scalarText(it.value()));
            else if (key == QLatin1String("maxSigLife") && isScalar(it.value()))
                field(level, u"DNSSEC max signature life", scalarText(it.value()));
            else
                generic(level, key, it.value());
            continue;
        }
        static const std::array<QStringView, 4> dsParts = {u"keyTag", u"algorithm", u"digestType",
                                                           u"digest"};
        static const std::array<QStringView, 4> keyParts = {u"flags", u"protocol", u"algorithm",
                                                            u"publicKey"};
        const auto &parts = ds ? dsParts : keyParts;
        eachObject(level, key, it.value(), [&](const QJsonObject &record) {
            QString line;
            for (const QStringView part : parts) {
                const QJsonValue v = record.value(part);
                if (!v.isString() && !v.isDouble()) {
                    generic(level, key, record);
                    return;
                }
                if (!line.isEmpty())
                    line += QLatin1Char(' ');
                line += scalarText(v);
            }
            field(level, ds ? u"DS record" : u"DNSKEY record", line);
            Skip written;
            for (const QStringView part : parts)
                written.with(part);
            object(level + 1, record, written);
        });
    }
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
    field(level, u"Link", m_line);
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

std::optional<QJsonDocument> parse(QByteArrayView body) {
    QJsonParseError error{};
    QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), body.size()), &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return std::nullopt;
    return document;
}

void renderDocument(Renderer &renderer, const QJsonDocument &document, Skip skip = {}) {
    if (document.isObject()) {
        renderer.object(0, document.object(), skip);
        return;
    }
    bool first = true;
    for (const QJsonValue &element : document.array()) {
        if (!first && element.isObject())
            renderer.endLine();
        first = false;
        renderer.generic(0, QStringView(), element);
    }
}

} // namespace

namespace {

// HTTP/2 has no reason phrase, and Qt speaks it wherever a server offers it: the phrase of
// RFC 9110 for the codes an RDAP server gives.
QString standardReason(int status) {
    static const std::array<std::pair<int, const char *>, 22> reasons = {{
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {408, "Request Timeout"},
        {410, "Gone"},
        {415, "Unsupported Media Type"},
        {422, "Unprocessable Content"},
        {429, "Too Many Requests"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    }};
    for (const auto &[code, text] : reasons) {
        if (code == status)
            return QString::fromLatin1(text);
    }
    return QString();
}

} // namespace

bool renderAnswer(QByteArrayView body, QByteArray &text) {
    const std::optional<QJsonDocument> document = parse(body);
    if (!document)
        return false;
    Renderer renderer(text);
    renderDocument(renderer, *document);
    return true;
}

QString statusLine(int status, QByteArrayView reason, QByteArrayView retryAfter) {
    QString line = QStringLiteral("HTTP ") + QString::number(status);
    QString why = QString::fromLatin1(reason).trimmed();
    if (why.isEmpty())
        why = standardReason(status);
    if (!why.isEmpty())
        line += QLatin1Char(' ') + why;
    const QString after = QString::fromLatin1(retryAfter).trimmed();
    if (!after.isEmpty()) {
        bool seconds = false;
        after.toULongLong(&seconds);
        line += QLatin1String(", retry after ") + after;
        if (seconds)
            line += QLatin1String(" s");
    }
    // One line, whatever the server put in its header.
    for (QChar &c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    }
    return line + QLatin1Char('\n');
}

bool renderError(QByteArrayView body, QByteArray &text) {
    const std::optional<QJsonDocument> document = parse(body);
    if (!document)
        return false;
    Renderer renderer(text);
    if (!document->isObject()) {
        renderDocument(renderer, *document);
        return true;
    }
    // The title and the description lines first, as the server wrote them; then the rest.
    const QJsonObject error = document->object();
    const QJsonValue title = error.value(QLatin1String("title"));
    const QJsonValue description = error.value(QLatin1String("description"));
    Skip written;
    if (title.isString()) {
        renderer.field(0, QStringView(), title.toString());
        written.with(u"title");
    }
    const QJsonArray lines = description.toArray();
    if (description.isString()) {
        renderer.field(0, QStringView(), description.toString());
        written.with(u"description");
    } else if (description.isArray() &&
               std::all_of(lines.begin(), lines.end(),
                           [](const QJsonValue &line) { return line.isString(); })) {
        for (const QJsonValue &line : lines)
            renderer.field(0, QStringView(), line.toString());
        written.with(u"description");
    }
    renderer.object(0, error, written);
    return true;
}

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
    const QLatin1String prefix("Link: related ");
    if (!rest.startsWith(prefix))
        return QString();
    rest = rest.sliced(prefix.size());
    const qsizetype space = rest.indexOf(QLatin1Char(' '));
    const QStringView href = space < 0 ? rest : rest.first(space);
    const QStringView type = space < 0 ? QStringView() : rest.sliced(space + 1);
    const bool rdapType = type == QLatin1String("(application/rdap+json)");
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
