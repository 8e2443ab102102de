// host: the bottom library, below every other. How a server may be named in text, as plain
// functions that every layer above asks: the query encoder, the RDAP library, the referral rules
// and the TCP control.
#pragma once

#include <QStringView>

// How a server may be named in text: a host name or an IP address. One check for the whole
// program, shared by what sends a query (is this word a domain name?) and what reads a
// referral (does this line name a server?).
namespace host {

// ASCII letters, digits and hyphens in dot-separated labels: at least two labels, none empty,
// none longer than 63 characters or beginning or ending with a hyphen, the last not all digits
// (so "2.0" or "10.1.2" is no name), 253 characters at most.
bool isHostName(QStringView text);
// An IPv4 address in dotted-decimal form (four numbers 0 to 255, no leading zeros) or an IPv6
// address without a zone.
bool isIpAddress(QStringView text);

} // namespace host
