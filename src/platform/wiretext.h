#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Text on the wire. A WHOIS answer does not say how its bytes are encoded; today's servers
// send UTF-8 or a Western single-byte code page. So an answer is read as UTF-8 for as long as
// its bytes are valid UTF-8 and, from the first byte that is not, as Windows-1252 to the end
// of the connection. Every byte becomes a character that turns back into that byte: nothing
// is dropped or replaced.
namespace WireText {
// One character per byte. The five bytes Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the control characters of the same number.
QString fromWindows1252(QByteArrayView bytes);
// False (bytes unspecified) when a character has no byte in Windows-1252.
bool toWindows1252(QStringView text, QByteArray *bytes);
// A query's bytes as the given server (RemoteHost's text) reads them. Each blank-separated
// word that is an internationalised domain name goes out in its ASCII (punycode) form, which
// registries look names up by; then the whole text goes out in Windows-1252 when that holds
// every character, else in UTF-8, so that no character is ever replaced. A few servers want
// names in their Unicode form and text in UTF-8 (see the table in wiretext.cpp). A query of
// ASCII characters alone goes out unchanged everywhere.
QByteArray queryBytes(QStringView text, QStringView server = {});
// The text with each blank-separated word that is an internationalised domain name in its
// ASCII (punycode) form, by the same rule as queryBytes; everything else as it was.
QString aceNames(QStringView text);
} // namespace WireText

// Reads the bytes of one connection as text, piece by piece.
class AnswerDecoder {
public:
    // The text of the next received bytes. A UTF-8 sequence that the piece leaves unfinished is
    // held back until the rest of it comes.
    QString take(QByteArrayView bytes);
    // The held-back bytes, as Windows-1252, once the connection has ended; empty if none.
    QString finish();
    // Ready for a new connection: UTF-8 again, nothing held.
    void reset();

    qsizetype held() const { return m_held.size(); }
    // How many characters were handed out as UTF-8 before the switch to Windows-1252, or -1
    // while the answer is still read as UTF-8.
    qsizetype switchedAt() const { return m_readingUtf8 ? -1 : m_utf8Chars; }

private:
    QString fromUtf8(QByteArrayView valid);
    QString switchAt(QByteArrayView bytes, qsizetype at);

    // A byte-order mark is part of what the server sent, so it is kept as a character.
    QStringDecoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                      QStringConverter::Flag::ConvertInitialBom};
    QByteArray m_held;
    bool m_readingUtf8 = true;
    qsizetype m_utf8Chars = 0;
};
