#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>

#include <memory>

// Text on the wire. A WHOIS answer does not say how its bytes are encoded; most servers send
// UTF-8 or a Western single-byte code page. So an answer is read as UTF-8 for as long as its
// bytes are valid UTF-8 and, from the first byte that is not, as Windows-1252 to the end of
// the connection: every byte becomes a character that turns back into that byte. Two
// exceptions: a few servers are known to answer in a set of their own (the table in
// wiretext.cpp), and an answer that designates ISO-2022-JP's Japanese sets is read in
// ISO-2022-JP from there on. The user may also read an answer again in any set of readAsSets.
namespace WireText {
// One character per byte. The five bytes Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the control characters of the same number.
QString fromWindows1252(QByteArrayView bytes);
// False (bytes unspecified) when a character has no byte in Windows-1252.
bool toWindows1252(QStringView text, QByteArray *bytes);
// A query's bytes as the given server (RemoteHost's text) reads them. Each blank-separated
// word that is an internationalised domain name, and passes IDNA2008's checks (ICU's UTS #46),
// goes out in its ASCII (punycode) form, which registries look names up by, after a leading
// "=" where it has one; then the whole text goes out in Windows-1252 when that holds
// every character, else in UTF-8, so that no character is ever replaced. A few servers want
// names in their Unicode form and text in UTF-8 (see the table in wiretext.cpp). A query of
// ASCII characters alone goes out unchanged everywhere.
QByteArray queryBytes(QStringView text, QStringView server = {});
// The set a server of the table answers in (its ICU name), or empty for any other server.
QByteArray answerSet(QStringView server);
// The sets an answer can be read in again, in the order the user is offered them.
const QList<QByteArray> &readAsSets();
// The text with each blank-separated word that is an internationalised domain name in its
// ASCII (punycode) form, by the same rule as queryBytes; everything else as it was.
QString aceNames(QStringView text);
} // namespace WireText

class IcuReader;

// Reads the bytes of one connection as text, piece by piece.
class AnswerDecoder {
public:
    AnswerDecoder();
    ~AnswerDecoder();
    AnswerDecoder(AnswerDecoder &&other) noexcept;
    AnswerDecoder &operator=(AnswerDecoder &&other) noexcept;

    // The text of the next received bytes. A character that the piece leaves unfinished (or an
    // escape sequence that may designate ISO-2022-JP) is held back until the rest of it comes.
    QString take(QByteArrayView bytes);
    // The held-back bytes once the connection has ended, as Windows-1252 while reading UTF-8
    // and as U+FFFD in another set; empty if none.
    QString finish();
    // Ready for a new connection to the given server (RemoteHost's text): nothing held, its
    // own set when the table names one, else UTF-8 again.
    void reset(QStringView server = {});
    // Ready for a new connection whose answer is read in the given set alone (one of
    // readAsSets); bytes that do not fit it become U+FFFD.
    void readAs(const QByteArray &set);
    // Ready for text that is UTF-8 by definition (an RDAP answer as Lumbra renders it): read as
    // UTF-8 alone, with no server's set, no ISO-2022-JP designation and no switch to
    // Windows-1252; a bad sequence becomes U+FFFD.
    void readUtf8Text();
    // False once readAs has chosen a set: the user's choice, which the automatic rules keep.
    bool automatic() const { return !m_chosen; }

    qsizetype held() const;
    // How many characters were handed out as UTF-8 before the answer switched to another set,
    // or -1 while it is still read as UTF-8.
    qsizetype switchedAt() const;
    // The set the answer is read in now: "UTF-8", "windows-1252" after the switch, or another.
    QByteArray charset() const;

private:
    QString fromUtf8(QByteArrayView valid);
    QString switchAt(QByteArrayView bytes, qsizetype at);
    QString switchTo(const QByteArray &set, QByteArrayView bytes, qsizetype at);

    QString takeUtf8Text(QByteArrayView bytes);

    enum class Mode { Utf8, Windows1252, Other, Utf8Text };

    // A byte-order mark is part of what the server sent, so it is kept as a character.
    QStringDecoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                      QStringConverter::Flag::ConvertInitialBom};
    QByteArray m_held;
    Mode m_mode = Mode::Utf8;
    qsizetype m_utf8Chars = 0;
    bool m_chosen = false;
    std::unique_ptr<IcuReader> m_other;
};
