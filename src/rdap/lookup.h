#pragma once

#include "rdap.h"

#include <QJsonDocument>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <optional>

// The rules of the server field's "auto": where a query's registration data lives, registry
// and then registrar, over RDAP or WHOIS. Plain functions over the answers' text; the control
// that asks (platform's Winsock) runs the steps they name, one after the other.
//
//   registry   IANA's bootstrap first (rdap::Client does that part), else the project's own
//              table of RDAP services (own-dns.json, a resource), else WHOIS: whois.iana.org
//              names the registry's server
//   registrar  for a domain, once: the registry's RDAP "related" link, or its WHOIS answer's
//              "Registrar WHOIS Server:" line, as the referral rules read them
//
// Nothing a server wrote is followed unless it names an ordinary host (referral.h's rules),
// never the same server twice, never to another scheme than http or https, never from https
// to http.
namespace lookup {

// The server text "auto" (any case, blanks around).
bool isAuto(QStringView server);

// The label of a query that is a top-level domain itself (one label of ASCII letters, or an
// "xn--" label; blanks around and one trailing dot allowed), in lowercase: IANA's own RDAP
// service answers for it at IanaRdap + "domain/<label>". Empty for any other text.
QString topLevelDomain(QStringView text);
inline constexpr QLatin1StringView IanaRdap("https://rdap.iana.org/");

// The project's own table, in the format of IANA's dns.json, of RDAP services for top-level
// domains IANA's file lacks.
const QJsonDocument &ownTable();

// One query of the lookup.
struct Ask {
    enum class Way { None, Rdap, Whois };
    Way way = Way::None;
    // RDAP: the base URL (with its trailing slash) the query is asked at.
    QUrl base;
    // WHOIS: the host asked on port 43, and the text sent to it (without CR LF).
    QString server;
    QString query;
    // What the result shows before the step, or, with Way::None, the line that ends the lookup;
    // without a line end.
    QString line;
};

inline constexpr QLatin1StringView IanaWhois("whois.iana.org");

// Each step takes the query as rdap::queryFor reads it (IDN words in ACE form) and the text as
// typed, which a WHOIS server is sent (the sender applies that server's query rules).

// The registry's service when IANA's bootstrap names none: the own table's, for a domain;
// else WHOIS at whois.iana.org, asked the top-level domain of a domain or the text itself.
Ask withoutBootstrap(const rdap::Query &query, QStringView text);
// Where IANA's WHOIS answer points: the server on its "refer:" line, else on its "whois:"
// line, asked the text; Way::None with the line that says so when it names none (or names
// whois.iana.org itself).
Ask referredByIana(const rdap::Query &query, QStringView text, QStringView ianaAnswer);

// The registrar's step for a domain after the registry's answer: at the base URL of the
// answer's top-level RDAP "related" link (`registryText` as rdap::renderAnswer writes it,
// `answeredBy` the URL that answered), or at the server of a WHOIS answer's "Registrar WHOIS
// Server:" line. Way::None when there is none, the query is no domain, or the server is one of
// `asked` (serverKey's form).
Ask registrar(const rdap::Query &query, QStringView text, const Ask &registry,
              const QUrl &answeredBy, QStringView registryText, const QStringList &asked);

// The base URL an RDAP answer's own "related" link leads to (its unindented "Link:" lines, by
// rdap::relatedBase); empty when it has none.
QString registrarBase(QStringView renderedAnswer);

// One form for a server, whichever way it is asked: its host in lowercase and its port
// ("whois.iana.org:43", "rdap.example:443").
QString serverKey(const Ask &ask);

} // namespace lookup
