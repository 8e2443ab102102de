// A domain: its head in the labels of a gTLD registry's WHOIS answer, its nameservers, their
// addresses, DNSSEC.
#include "renderer.h"

#include "rdap/labels.h"

namespace rdap::render {

namespace {

struct HeadEvent {
    QLatin1String action;
    QStringView label;
};
// In the order the head writes them.
const std::array<HeadEvent, 4> HeadEvents = {{
    {QLatin1String("last changed"), u"Updated Date"},
    {QLatin1String("registration"), u"Creation Date"},
    {QLatin1String("expiration"), u"Registry Expiry Date"},
    {QLatin1String("registrar expiration"), u"Registrar Registration Expiration Date"},
}};

bool hasRole(const QJsonValue &entity, QLatin1String role) {
    return entity.toObject().value(QLatin1String("roles")).toArray().contains(role);
}

// The first entity of the array with the role, -1 when none has it.
qsizetype withRole(const QJsonArray &entities, QLatin1String role) {
    for (qsizetype i = 0; i < entities.size(); ++i) {
        if (entities.at(i).isObject() && hasRole(entities.at(i), role))
            return i;
    }
    return -1;
}

} // namespace

QStringView headEventLabel(const QJsonValue &event) {
    const QJsonObject e = event.toObject();
    const QJsonValue action = e.value(QLatin1String("eventAction"));
    const QJsonValue date = e.value(QLatin1String("eventDate"));
    if (!action.isString() || !(date.isString() || date.isUndefined()))
        return {};
    const QString text = action.toString();
    for (const HeadEvent &known : HeadEvents) {
        if (text == known.action)
            return known.label;
    }
    return {};
}

// The facts first, one a line, as a registry's WHOIS answer gives them; then the contacts; then
// everything else, as any object. Each value the head writes is skipped after it.
void Renderer::domain(int level, const QJsonObject &domain) {
    Skip rest;
    rest.domainHead = true;
    const auto scalar = [&](QStringView name, QStringView label) {
        const QJsonValue v = domain.value(name);
        if (v.isUndefined() || !isScalar(v))
            return;
        field(level, label, scalarText(v));
        rest.with(name);
    };
    const QJsonValue ldhName = domain.value(QLatin1String("ldhName"));
    const QJsonValue unicodeName = domain.value(QLatin1String("unicodeName"));
    scalar(u"ldhName", u"Domain Name");
    if (unicodeName.isString() && ldhName.isString() && unicodeName == ldhName)
        rest.with(u"unicodeName");
    else
        scalar(u"unicodeName", u"Unicode Name");
    scalar(u"handle", u"Registry Domain ID");
    scalar(u"port43", labels::RegistrarWhoisServer);

    // The registrar's facts, from its entity, and its abuse contact's.
    const QJsonValue entitiesValue = domain.value(QLatin1String("entities"));
    const QJsonArray entities = entitiesValue.toArray();
    const qsizetype registrarAt = withRole(entities, QLatin1String("registrar"));
    const QJsonObject registrar =
        registrarAt >= 0 ? entities.at(registrarAt).toObject() : QJsonObject();
    const QJsonArray card = vcardProperties(registrar.value(QLatin1String("vcardArray")));
    Taken registrarTaken;
    registrarTaken.entity = registrarAt;
    // Each line the head writes of an entity names its role: only then may its heading go.
    const auto property = [&](const QJsonArray &properties, QLatin1String name, QStringView label,
                              Taken &taken, QStringView role) {
        const qsizetype at = plainProperty(properties, name);
        if (at < 0)
            return;
        const QJsonArray p = properties.at(at).toArray();
        field(level, withTypes(label, p), p.at(3).toString());
        taken.skip.withProperty(at);
        taken.role = role;
    };
    property(card, QLatin1String("url"), u"Registrar URL", registrarTaken, u"registrar");

    const QJsonValue events = domain.value(QLatin1String("events"));
    if (events.isArray()) {
        const QJsonArray list = events.toArray();
        for (const HeadEvent &known : HeadEvents) {
            for (const QJsonValue &e : list) {
                if (headEventLabel(e) == known.label)
                    event(level, e.toObject(), known.label);
            }
        }
        rest.headEvents = true;
    }

    if (registrarAt >= 0) {
        const qsizetype nameAt = nameProperty(card);
        const QJsonValue handle = registrar.value(QLatin1String("handle"));
        if (nameAt >= 0) {
            property(card,
                     card.at(nameAt).toArray().at(0).toString() == QLatin1String("fn")
                         ? QLatin1String("fn")
                         : QLatin1String("org"),
                     u"Registrar", registrarTaken, u"registrar");
            registrarTaken.nameTaken = true;
        } else if (handle.isString()) {
            field(level, u"Registrar", handle.toString());
            registrarTaken.skip.with(u"handle");
            registrarTaken.nameTaken = true;
            registrarTaken.role = u"registrar";
        }
        const QJsonArray ids = registrar.value(QLatin1String("publicIds")).toArray();
        for (qsizetype i = 0; i < ids.size(); ++i) {
            const QJsonObject id = ids.at(i).toObject();
            const QJsonValue identifier = id.value(QLatin1String("identifier"));
            if (id.value(QLatin1String("type")) == QLatin1String("IANA Registrar ID") &&
                isScalar(identifier) && !identifier.isUndefined()) {
                publicId(level, u"Registrar IANA ID", id);
                registrarTaken.skip.publicId = i;
                registrarTaken.role = u"registrar";
                break;
            }
        }
    }
    // The abuse contact: the registrar's, else the domain's own.
    Taken abuseTaken;
    const QJsonArray registrarEntities = registrar.value(QLatin1String("entities")).toArray();
    abuseTaken.entity = withRole(registrarEntities, QLatin1String("abuse"));
    const bool ownAbuse = abuseTaken.entity < 0 && registrarAt >= 0;
    if (ownAbuse)
        abuseTaken.entity = withRole(entities, QLatin1String("abuse"));
    const QJsonArray &abuseIn = ownAbuse ? entities : registrarEntities;
    if (abuseTaken.entity >= 0 && !(ownAbuse && abuseTaken.entity == registrarAt)) {
        const QJsonArray abuseCard = vcardProperties(
            abuseIn.at(abuseTaken.entity).toObject().value(QLatin1String("vcardArray")));
        property(abuseCard, QLatin1String("email"), u"Registrar Abuse Contact Email", abuseTaken,
                 u"abuse");
        property(abuseCard, QLatin1String("tel"), u"Registrar Abuse Contact Phone", abuseTaken,
                 u"abuse");
        if (ownAbuse)
            registrarTaken.next = &abuseTaken;
        else
            registrarTaken.skip.taken = &abuseTaken;
    }

    const QJsonValue status = domain.value(QLatin1String("status"));
    if (status.isArray()) {
        generic(level, u"Domain Status", status);
        rest.with(u"status");
    }
    const QJsonValue nameservers = domain.value(QLatin1String("nameservers"));
    if (!nameservers.isUndefined()) {
        this->nameservers(level, Members[std::size_t(memberIndex(u"nameservers"))], nameservers,
                          u"Name Server");
        rest.with(u"nameservers");
    }
    for (const QStringView name : {u"secureDNS", u"secureDns"}) {
        const QJsonValue signedDelegation =
            domain.value(name).toObject().value(QLatin1String("delegationSigned"));
        if (signedDelegation.isBool()) {
            field(level, u"DNSSEC", signedDelegation.toBool() ? u"signedDelegation" : u"unsigned");
            rest.delegationSignedIn = name;
            break;
        }
    }

    // The contacts, the registrar first, then the rest of the domain.
    if (entitiesValue.isArray()) {
        Skip contacts;
        contacts.taken = registrarAt >= 0 ? &registrarTaken : nullptr;
        this->entities(level, Members[std::size_t(memberIndex(u"entities"))], entitiesValue,
                       contacts);
        rest.with(u"entities");
    }
    object(level, domain, rest);
}

void Renderer::nameservers(int level, const Member &m, const QJsonValue &value, QStringView label) {
    eachObject(level, m.name, value, [&](const QJsonObject &ns) { nameserver(level, ns, label); });
}

bool Renderer::ipAddresses(int level, const QJsonValue &value) {
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

void Renderer::nameserver(int level, const QJsonObject &nameserver, QStringView label) {
    const QJsonValue name = nameserver.value(QLatin1String("ldhName"));
    Skip skip;
    qsizetype skipped = 0;
    if (name.isString()) {
        skip.with(u"ldhName");
        ++skipped;
    }
    if (name.isString() && nameserver.value(QLatin1String("unicodeName")) == name) {
        skip.with(u"unicodeName"); // the same name once is enough
        ++skipped;
    }
    // Its class is the label already.
    if (nameserver.value(QLatin1String("objectClassName")) == QLatin1String("nameserver")) {
        skip.with(u"objectClassName");
        ++skipped;
    }
    field(level, label, name.toString());
    // Most name servers are their name and class alone: nothing is left to write of them.
    if (nameserver.size() > skipped)
        object(level + 1, nameserver, skip);
}

// DNSSEC: the flags, and each DS and DNSKEY record in its DNS presentation form.
bool Renderer::secureDns(int level, const Member &m, const QJsonValue &value, const Skip &skip) {
    if (!value.isObject())
        return false;
    const QJsonObject dns = value.toObject();
    for (auto it = dns.constBegin(); it != dns.constEnd(); ++it) {
        const QString key = it.key();
        const bool ds = key == QLatin1String("dsData");
        if (!ds && key != QLatin1String("keyData")) {
            if (skip.delegationSignedIn == m.name && key == QLatin1String("delegationSigned") &&
                it.value().isBool())
                continue; // in the domain's head
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
    return true;
}

} // namespace rdap::render
