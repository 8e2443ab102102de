#include "renderer.h"

#include "rdap/labels.h"
#include "rdap/rdap.h"

#include <QJsonParseError>
#include <QVarLengthArray>
#include <QtAlgorithms>

namespace rdap::render {

const std::array<Member, 30> Members = {{
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
    {u"port43", labels::WhoisServer, Form::Field, Phase::Head},
    {u"entities", u"", Form::Entities, Phase::Head},
    {u"nameservers", u"", Form::Nameservers, Phase::Head},
    {u"ipAddresses", u"", Form::IpAddresses, Phase::Head},
    {u"secureDNS", u"", Form::SecureDns, Phase::Head},
    {u"secureDns", u"", Form::SecureDns, Phase::Head},
    {u"links", u"", Form::Links, Phase::Rest},
    {u"remarks", u"Remark", Form::Remarks, Phase::Rest},
    {u"redacted", u"Redacted", Form::Redacted, Phase::Tail},
    {u"notices", u"Notice", Form::Notices, Phase::Tail},
}};

namespace {
// rdapConformance comes last of all, after the notices.
constexpr QStringView Conformance(u"rdapConformance");
} // namespace

int memberIndex(QStringView name) {
    for (int i = 0; i < int(Members.size()); ++i) {
        const QStringView known = Members[std::size_t(i)].name;
        // The sizes first: comparing them is inline, comparing the texts a call.
        if (name.size() == known.size() && name == known)
            return i;
    }
    return -1;
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
    // A domain reads first as a registry's WHOIS answer does; its head writes the rest of it.
    if (!skip.domainHead && (present & 1) && found[0].value() == QLatin1String("domain")) {
        domain(level, object);
        return;
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
    switch (m.form) {
    case Form::Field:
        if (!isScalar(value))
            return false;
        field(level, m.label, scalarText(value));
        return true;
    case Form::List:
        if (!value.isArray())
            return false;
        generic(level, m.label, value);
        return true;
    case Form::AddressRange:
    case Form::AutnumRange:
        return range(level, object, m, value, done, skip);
    case Form::Events:
        events(level, m, value, skip);
        return true;
    case Form::Entities:
        return entities(level, m, value, skip);
    case Form::Nameservers:
        nameservers(level, m, value);
        return true;
    case Form::SecureDns:
        return secureDns(level, m, value, skip);
    case Form::IpAddresses:
        return ipAddresses(level, value);
    case Form::PublicIds:
        publicIds(level, m, value, skip);
        return true;
    case Form::Vcard:
        return vcard(level, value, skip);
    case Form::Roles:
        return roles(level, m, value);
    case Form::Links:
        links(level, m, value);
        return true;
    case Form::Remarks:
    case Form::Notices:
        notices(level, m, value);
        return true;
    case Form::Redacted:
        redactions(level, m, value);
        return true;
    }
    return false;
}

void Renderer::document(const QJsonDocument &document) {
    if (document.isObject()) {
        object(0, document.object());
        return;
    }
    bool first = true;
    for (const QJsonValue &element : document.array()) {
        if (!first && element.isObject())
            endLine();
        first = false;
        generic(0, QStringView(), element);
    }
}

void Renderer::ownLinks(const QJsonDocument &document) {
    const QJsonValue links = document.object().value(QLatin1String("links"));
    if (!links.isUndefined())
        this->links(0, Members[std::size_t(memberIndex(u"links"))], links);
}

std::optional<QJsonDocument> parse(QByteArrayView body) {
    QJsonParseError error{};
    QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(body.data(), body.size()), &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return std::nullopt;
    return document;
}

} // namespace rdap::render

namespace rdap {

bool renderAnswer(QByteArrayView body, QByteArray &text, const Written &written,
                  const Written &ownLinks) {
    const std::optional<QJsonDocument> document = render::parse(body);
    if (!document)
        return false;
    if (ownLinks) {
        QByteArray links;
        render::Renderer(links).ownLinks(*document);
        ownLinks(links);
    }
    render::Renderer renderer(text, &written);
    renderer.document(*document);
    return true;
}

} // namespace rdap
