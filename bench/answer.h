// The answers the benchmark's servers send: WHOIS-like text, the same bytes on every run.
#pragma once

#include <QByteArray>
#include <QString>

namespace bench {

constexpr qsizetype MiB = 1024 * 1024;
constexpr qsizetype ChunkSize = 64 * 1024;

// What an answer's values are written in: printable ASCII, UTF-8 in a mix of scripts (Latin
// with diacritics, Cyrillic, Greek, Arabic, Devanagari, Chinese, Japanese, Korean), or Japanese
// and ASCII in ISO-2022-JP (as JPNIC answers).
enum class AnswerText { Ascii, Utf8, Iso2022Jp };
// As a child process's argument: "ascii", "utf8" or "iso-2022-jp".
QString answerTextArg(AnswerText text);
AnswerText answerTextFromArg(const QString &arg);

// Exactly `bytes` bytes of RIPE-style object lines (60 to 80 characters, LF line ends), ending
// in LF; valid UTF-8 throughout, or valid ISO-2022-JP with each line ending in ASCII.
QByteArray whoisAnswer(qsizetype bytes, AnswerText text = AnswerText::Ascii);

// What the result box holds after a query to `server` answered with `answer`.
QString expectedResult(const QString &server, const QByteArray &answer,
                       AnswerText text = AnswerText::Ascii);

// An RDAP answer of at least `bytes` bytes: ARIN's recorded entity GOVI with its networks
// repeated, each with a handle of its own.
QByteArray rdapAnswer(qsizetype bytes);
// The path it is asked by, below the server's base URL.
inline constexpr char RdapPath[] = "entity/GOVI";
// What the result box holds after asking `base` (a base URL ending in "/") for that answer.
QString expectedRdapResult(const QString &base, const QByteArray &answer);

// "auto" on loopback: the query, and the answers of 1 MiB each its servers send. Over RDAP the
// registry's domain answer (Verisign's recorded google.com with its nameservers repeated) links
// to the registrar's; over WHOIS IANA's answer refers to the registry, whose answer names the
// registrar. The WHOIS servers are these names, on 127.0.0.1, .2 and .3 of one port.
inline constexpr char AutoRdapQuery[] = "example.com";
inline constexpr char AutoWhoisQuery[] = "example.example";
inline constexpr char AutoRegistryWhois[] = "whois.registry.example";
inline constexpr char AutoRegistrarWhois[] = "whois.registrar.example";
QByteArray rdapDomainAnswer(qsizetype bytes, const QByteArray &relatedHref);
// WHOIS-like text of exactly `bytes` bytes that begins with `first`.
QByteArray answerBeginning(const QByteArray &first, qsizetype bytes);
// The path of each answer below its server, and what the result box holds after the lookup.
inline constexpr char AutoRegistryPath[] = "reg/domain/example.com";
inline constexpr char AutoRegistrarPath[] = "rar/domain/example.com";
QString expectedAutoRdap(quint16 registryPort, quint16 registrarPort, qsizetype bytes);
QString expectedAutoWhois(qsizetype bytes);
QByteArray autoIanaAnswer(qsizetype bytes);
QByteArray autoRegistryAnswer(qsizetype bytes);
QByteArray autoRegistrarAnswer(qsizetype bytes);

} // namespace bench
