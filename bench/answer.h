// The answers the benchmark's servers send: WHOIS-like text, the same bytes on every run.
#pragma once

#include <QByteArray>
#include <QString>

namespace bench {

constexpr qsizetype MiB = 1024 * 1024;
constexpr qsizetype ChunkSize = 64 * 1024;

// Exactly `bytes` bytes of RIPE-style object lines (60 to 80 characters, LF line ends,
// printable ASCII), ending in LF.
QByteArray whoisAnswer(qsizetype bytes);

// What the result box holds after a query to `server` answered with `answer`.
QString expectedResult(const QString &server, const QByteArray &answer);

} // namespace bench
