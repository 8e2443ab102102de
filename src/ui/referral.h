#pragma once

#include <QString>
#include <QStringView>

// Whether a piece of an answer names a WHOIS server the user may ask next. The text comes from
// a server, so nothing here trusts it: a name is offered only in one of the plain forms below,
// and never with another scheme or port.
namespace referral {

// The selected text, blanks around it ignored, when it is a host name or an IP address (as
// rdap/hostname.h reads them); otherwise empty.
QString serverInSelection(QStringView selection);

// The server a referral line names: one of the labels "refer:", "whois:", "ReferralServer:",
// "Registrar WHOIS Server:" or "Whois Server:" (any case, blanks around), followed by a host
// name alone, as "whois://name" or as "whois://name:43". Empty for any other line, another
// scheme or port, or an empty value.
QString serverInLine(QStringView line);

// What the result box offers to search: the selection's server if it names one, else the
// line's.
QString serverToSearch(QStringView selection, QStringView line);

} // namespace referral
