// The labels of the RDAP text that a reader of it depends on: the renderer writes them and the
// readers (relatedBase here, the referral rules above) look for them. One constant each, so that
// writer and readers cannot drift apart.
#pragma once

#include <QStringView>

namespace rdap::labels {

// "Whois Server: whois.example.net": the port 43 server of the object, which the referral rules
// offer to search.
inline constexpr QStringView WhoisServer = u"Whois Server";
// A domain's port 43 server, in the words of a registry's WHOIS answer.
inline constexpr QStringView RegistrarWhoisServer = u"Registrar WHOIS Server";
// "Link: related https://rdap.example/rdap/domain/X (application/rdap+json)": a link line, its
// relation first, then the target, then its media type in parentheses.
inline constexpr QStringView Link = u"Link";
inline constexpr QStringView Related = u"related";
inline constexpr QStringView RdapJson = u"application/rdap+json";

} // namespace rdap::labels
