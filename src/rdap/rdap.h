// rdap: the Registration Data Access Protocol (JSON over HTTPS), below the platform layer.
//
//   query      what a query text asks (RFC 9082): its kind, and so its URL path
//   bootstrap  which service answers it, from IANA's bootstrap registries (RFC 9224, RFC 8521)
//   render     an answer as WHOIS-style text, one fact a line, every value of the answer shown
//              (render/, a file per concern; render/renderer.h names them); labels.h the
//              labels that readers of the text look for
//   Client     (client.h) fetches the bootstrap files and the answer with QNetworkAccessManager
//   referral   (referral.h) the WHOIS server or RDAP service a line of an answer names
//   lookup     (lookup.h) the rules of "auto": registry then registrar, over RDAP or WHOIS,
//              with the own table of RDAP services IANA's bootstrap lacks (own-dns.json)
//
// Host names and addresses are checked by host/hostname.h, the library below this one.
// Everything but Client is a plain function over Qt's JSON and URL types, testable without a
// network. Nothing here knows about the window or the TCP control that puts RDAP behind it.
#pragma once

#include <QByteArrayView>
#include <QJsonDocument>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <functional>
#include <optional>

namespace rdap {

// How the server field's text asks: by IANA's bootstrap ("rdap"), at a base URL, or not at all
// (anything else is a WHOIS server).
enum class ServerForm { None, Bootstrap, BaseUrl };
ServerForm serverForm(QStringView server);
// The base URL of an http or https server text, with exactly one trailing slash; nullopt for
// any other text.
std::optional<QUrl> baseUrl(QStringView server);

enum class Kind { Ip, Autnum, Domain, Entity };
struct Query {
    Kind kind = Kind::Entity;
    // What the registries are searched by: the address (with its prefix length, if given), the
    // AS number's digits, the domain name (ACE, lowercase, no trailing dot) or the handle.
    QString key;
    // The RFC 9082 path below the base URL, percent-encoded: "domain/google.com".
    QString path;
};
// What a query text asks. Blanks around it are ignored; internationalised domain names must
// already be in their ACE form (the caller's IDN rules apply).
Query queryFor(QStringView text);
// The request URL: the base URL (with or without a trailing slash) and the query's path.
QUrl requestUrl(const QUrl &base, const Query &query);

// IANA's bootstrap registries; the file names below https://data.iana.org/rdap/.
enum class Registry { Dns, Ipv4, Ipv6, Asn, ObjectTags };
Registry registryFor(const Query &query);
QString registryFile(Registry registry); // "dns.json", ...
// The base URL of the service that covers the query in the registry file's parsed form, an
// https one where the service lists several; nullopt when the registry does not cover it.
std::optional<QUrl> serviceFor(const QJsonDocument &registry, const Query &query);
// The one line that says a query is not covered, naming the file, without a line end (the
// caller adds it): No RDAP service for ".example" in IANA's dns.json
QString notCovered(const Query &query);

// An answer body with HTTP status 200 as WHOIS-style text (every line ending in LF): one fact
// a line as "Label: value", the facts a user reads first at the top (a domain's in the labels
// of a registry's WHOIS answer), nested objects indented under their heading line. Every string
// and number of the answer stands in the text once, whole (a multi-line one a line at a time),
// but for what a label or heading tells: the head's event actions, the class of a nested entity
// or nameserver, a vCard's version. Members without a form of their own, or of a type their
// form cannot take, under their own names. The text is appended to `text` in UTF-8. A body
// that is not JSON gives false and leaves `text` as it was: the caller shows its bytes as
// text. Linear in the body's size.
//
// `written`, when given, is called now and then while the text is written with `text` as it
// stands: what it holds by then is final, the text only grows at its end.
// `ownLinks`, when given, is called once the body is parsed, before anything is written, with
// the lines the text gives the answer's own links (those of its top object, unindented).
using Written = std::function<void(const QByteArray &text)>;
bool renderAnswer(QByteArrayView body, QByteArray &text, const Written &written = {},
                  const Written &ownLinks = {});
// The line for any other HTTP status, ending in LF: "HTTP 404 Not Found" (the standard phrase
// where the server sent none, as over HTTP/2), with ", retry after 30 s" when the server sent
// Retry-After in seconds, ", retry after <its text>" for a date.
QString statusLine(int status, QByteArrayView reason, QByteArrayView retryAfter);
// An error body's title and description lines (RFC 9083 section 6), appended to `text` in
// UTF-8; false when the body is not RDAP JSON: the caller shows its bytes as text.
bool renderError(QByteArrayView body, QByteArray &text, const Written &written = {});

// The base URL a link line of renderAnswer's text offers to search on, as
// "Link: related https://rdap.example/rdap/domain/X (application/rdap+json)" at any
// indentation: a "related" link to an RDAP object
// (type application/rdap+json, or with no type a path ending in domain/, ip/, autnum/, entity/
// or nameserver/ and one more segment), cut before that object segment. http and https only;
// empty for any other line.
QString relatedBase(QStringView line);

} // namespace rdap
