#include "wiretext.h"

#include "rdap/hostname.h"

#include <QUrl>

#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Windows-1252 as the system's converter knows it, read once into a table: a lookup per byte
// is far cheaper than a converter call per piece of a long answer.
struct Windows1252 {
    std::array<char16_t, 256> toUnicode{};

    Windows1252() {
        QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
        for (int b = 0; b < 256; ++b) {
            // A byte without a character keeps its own number, so that it still turns back.
            char16_t u = char16_t(b);
            if (decoder.isValid()) {
                const char byte = char(b);
                const QString one = decoder.decode(QByteArrayView(&byte, 1));
                if (one.size() == 1 && one.at(0) != QChar::ReplacementCharacter)
                    u = one.at(0).unicode();
            }
            toUnicode[std::size_t(b)] = u;
        }
    }

    int byteOf(char16_t u) const {
        if (u < 0x100 && toUnicode[u] == u)
            return u;
        for (int b = 0; b < 256; ++b) {
            if (toUnicode[std::size_t(b)] == u)
                return b;
        }
        return -1;
    }
};

const Windows1252 &windows1252() {
    static const Windows1252 table;
    return table;
}

// How a server reads a query: domain names in ASCII or Unicode form; the rest of the text in
// Windows-1252 where it holds it, or always in UTF-8.
enum class Names { Ace, Unicode };
enum class Text { Windows1252OrUtf8, Utf8 };

struct ServerRule {
    QLatin1StringView host;
    Names names;
    Text text;
};

// Servers that read queries otherwise than most; a host missing here gets ACE names and the
// Western code page where possible.
constexpr ServerRule serverRules[] = {
    // DENIC documents UTF-8 as its character set and answers a bare ACE name "invalid".
    {QLatin1StringView("whois.denic.de"), Names::Unicode, Text::Utf8},
};

constexpr ServerRule defaultRule{QLatin1StringView(), Names::Ace, Text::Windows1252OrUtf8};

const ServerRule &ruleFor(QStringView server) {
    QStringView host = server.trimmed();
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    for (const ServerRule &rule : serverRules) {
        if (host.compare(rule.host, Qt::CaseInsensitive) == 0)
            return rule;
    }
    return defaultRule;
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// The ASCII form of a word that is an internationalised domain name (a host name once
// converted); empty for any other word.
QByteArray domainAce(QStringView word) {
    const QByteArray ace = QUrl::toAce(word.toString());
    return host::isHostName(QString::fromLatin1(ace)) ? ace : QByteArray();
}

// The text with each word that is an internationalised domain name in the form the server
// looks names up by. Blanks between words stay exactly as typed.
QString withDomainNames(QStringView text, Names form) {
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i;
        const bool blank = text.at(i).isSpace();
        while (end < text.size() && text.at(end).isSpace() == blank)
            ++end;
        const QStringView run = text.sliced(i, end - i);
        const QByteArray ace = blank || isAscii(run) ? QByteArray() : domainAce(run);
        if (ace.isEmpty())
            out += run;
        else if (form == Names::Ace)
            out += QString::fromLatin1(ace);
        else
            out += QUrl::fromAce(ace, QUrl::IgnoreIDNWhitelist);
        i = end;
    }
    return out;
}

} // namespace

QString WireText::fromWindows1252(QByteArrayView bytes) {
    const auto &table = windows1252().toUnicode;
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes)
        *out++ = QChar(table[static_cast<unsigned char>(byte)]);
    return text;
}

bool WireText::toWindows1252(QStringView text, QByteArray *bytes) {
    const Windows1252 &table = windows1252();
    bytes->resize(text.size());
    char *out = bytes->data();
    for (const QChar c : text) {
        const int b = table.byteOf(c.unicode());
        if (b < 0)
            return false;
        *out++ = char(b);
    }
    return true;
}

QByteArray WireText::queryBytes(QStringView text, QStringView server) {
    if (isAscii(text))
        return text.toLatin1();
    const ServerRule &rule = ruleFor(server);
    const QString query = withDomainNames(text, rule.names);
    QByteArray bytes;
    if (rule.text == Text::Windows1252OrUtf8 && toWindows1252(query, &bytes))
        return bytes;
    return query.toUtf8();
}

QString WireText::aceNames(QStringView text) {
    return withDomainNames(text, Names::Ace);
}

QString AnswerDecoder::take(QByteArrayView bytes) {
    if (!m_readingUtf8)
        return WireText::fromWindows1252(bytes);
    if (bytes.isEmpty())
        return {};

    QByteArray joined;
    if (!m_held.isEmpty()) {
        joined = m_held;
        joined.append(bytes);
        m_held.clear();
        bytes = joined;
    }
    const auto *s = reinterpret_cast<const uint8_t *>(bytes.data());
    const qsizetype length = bytes.size();
    qsizetype i = 0;
    while (i < length) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (c >= 0)
            continue;
        // The sequence stopped for want of bytes, not at a bad one: a valid lead whose valid
        // trail bytes run to the end of the piece. Its rest may come with the next piece.
        const bool unfinished = i == length && s[start] >= 0xC2 && s[start] <= 0xF4;
        if (unfinished) {
            m_held = bytes.sliced(start).toByteArray();
            return fromUtf8(bytes.first(start));
        }
        return switchAt(bytes, start);
    }
    return fromUtf8(bytes);
}

QString AnswerDecoder::finish() {
    if (m_held.isEmpty())
        return {};
    const QByteArray held = std::exchange(m_held, QByteArray());
    return switchAt(held, 0);
}

void AnswerDecoder::reset() {
    m_held.clear();
    m_readingUtf8 = true;
    m_utf8Chars = 0;
}

QString AnswerDecoder::fromUtf8(QByteArrayView valid) {
    QString text = m_utf8.decode(valid);
    m_utf8Chars += text.size();
    return text;
}

QString AnswerDecoder::switchAt(QByteArrayView bytes, qsizetype at) {
    QString text = fromUtf8(bytes.first(at));
    m_readingUtf8 = false;
    text += WireText::fromWindows1252(bytes.sliced(at));
    return text;
}
