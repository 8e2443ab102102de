#pragma once

#include <QString>
#include <QStringView>

// Whether a piece of an answer names a WHOIS server (or an RDAP service) the user may ask next. The
// text comes from a server, so nothing here trusts it: a name is offered only in one of the plain
// forms below, and never with another scheme or port.
namespace referral {

// The server a selection names (blanks around it ignored): a host name or an IP address (as
// host/hostname.h reads them), also as "whois://server", with ":43", with one trailing dot,
// inside one pair of quotes, parentheses, brackets or angle brackets, or before one trailing
// comma, semicolon or full stop; otherwise empty. An unspecified address (0.0.0.0, ::) names
// no server, here and in a line; a loopback address does (a user may run a server of their own).
QString serverInSelection(QStringView selection);

// The server a referral line names: one of the labels "refer", "whois", "ReferralServer",
// "Registrar WHOIS Server", "Whois Server", "Registry WHOIS Server" or "Registrar Whois" (any
// case, blanks around) with one or two colons, or "Whois site at:" in a "remarks:" line,
// followed by a server in the forms of a selection without the punctuation around it. Empty
// for any other line, another scheme or port, or an empty value.
QString serverInLine(QStringView line);

// What the result box offers to search when its menu opens: the selection's server if the menu
// was opened on the selection and it names one, else the line's WHOIS server, else the RDAP
// base URL of the line's related link (rdap::relatedBase).
QString serverToSearch(QStringView selection, bool onSelection, QStringView line);

} // namespace referral
