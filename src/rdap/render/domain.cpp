// A domain's parts: its nameservers, their addresses, DNSSEC.
#include "renderer.h"

namespace rdap::render {

void Renderer::nameservers(int level, const Member &m, const QJsonValue &value) {
    eachObject(level, m.name, value, [&](const QJsonObject &ns) { nameserver(level, ns); });
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
bool Renderer::secureDns(int level, const QJsonValue &value) {
    if (!value.isObject())
        return false;
    const QJsonObject dns = value.toObject();
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
    return true;
}

} // namespace rdap::render
