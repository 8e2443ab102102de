#pragma once

#include <QString>
#include <QStringView>

// Whether a piece of an answer names a WHOIS server the user may ask next. The text comes from
// a server, so nothing here trusts it: a name is offered only in one of the plain forms below,
// and never with another scheme or port.
namespace referral {

// The selected text, blanks around it ignored, when it is a host name or an IP address (as
// rdap/hostname.h reads them) other than an unspecified one (0.0.0.0, ::), which names no
// server; otherwise empty. A loopback address is offered: a user may run a server of their own.
QString serverInSelection(QStringView selection);

// The server a referral line names: one of the labels "refer:", "whois:", "ReferralServer:",
// "Registrar WHOIS Server:" or "Whois Server:" (any case, blanks around), followed by a host
// name alone, as "whois://name" or as "whois://name:43". Empty for any other line, another
// scheme or port, or an empty value.
QString serverInLine(QStringView line);

// What the result box offers to search when its menu opens: the selection's server if the menu
// was opened on the selection and it names one, else the line's.
QString serverToSearch(QStringView selection, bool onSelection, QStringView line);

} // namespace referral
