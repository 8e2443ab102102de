#include "wiretext.h"

#include "host/hostname.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/uidna.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

// Windows-1252 as the system's converter knows it, read once into a table: a lookup per byte
// is far cheaper than a converter call per piece of a long answer.
struct Windows1252 {
    std::array<char16_t, 256> toUnicode{};

    Windows1252() {
        QStringDecoder decoder("Windows-1252", QStringConverter::Flag::Stateless);
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

struct AnswerRule {
    QLatin1StringView host;
    const char *set;
};

// Servers whose answers are in a set of their own; any other answer is read by the rules of
// AnswerDecoder.
constexpr AnswerRule answerRules[] = {
    // JPNIC answers in ISO-2022-JP, the 7-bit Japanese set of mail and news.
    {QLatin1StringView("whois.nic.ad.jp"), "ISO-2022-JP"},
    // The Kyrgyz registry answers in the Cyrillic Windows code page.
    {QLatin1StringView("whois.kg"), "windows-1251"},
    // The Turkish registry answers in the Turkish Windows code page.
    {QLatin1StringView("whois.nic.tr"), "windows-1254"},
    // KISA's old server answers in EUC-KR, and names it so in its answers.
    {QLatin1StringView("oldwhois.kisa.or.kr"), "EUC-KR"},
};

// The server text as the tables name hosts: blanks and one trailing dot dropped.
QStringView tableHost(QStringView server) {
    QStringView host = server.trimmed();
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    return host;
}

const ServerRule &ruleFor(QStringView server) {
    const QStringView host = tableHost(server);
    for (const ServerRule &rule : serverRules) {
        if (host.compare(rule.host, Qt::CaseInsensitive) == 0)
            return rule;
    }
    return defaultRule;
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// UTS #46 as registries apply IDNA2008: non-transitional, with the BiDi and context checks and
// the STD3 rules. Opened once; null only if ICU lacks its data.
const UIDNA *uts46() {
    struct Close {
        void operator()(UIDNA *idna) const { uidna_close(idna); }
    };
    static const std::unique_ptr<UIDNA, Close> idna([] {
        UErrorCode error = U_ZERO_ERROR;
        UIDNA *opened = uidna_openUTS46(
            UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE | UIDNA_CHECK_BIDI |
                UIDNA_CHECK_CONTEXTJ | UIDNA_CHECK_CONTEXTO | UIDNA_USE_STD3_RULES,
            &error);
        return U_SUCCESS(error) ? opened : nullptr;
    }());
    return idna.get();
}

// One name through ICU's UTS #46, to its ASCII or Unicode form; empty when ICU finds anything
// wrong with it (a name no registry can hold).
QString idnaConvert(QStringView name, Names form) {
    const UIDNA *idna = uts46();
    if (!idna || name.size() > 1024)
        return {};
    char16_t out[1024];
    UIDNAInfo info = UIDNA_INFO_INITIALIZER;
    UErrorCode error = U_ZERO_ERROR;
    const auto convert = form == Names::Ace ? uidna_nameToASCII : uidna_nameToUnicode;
    const int32_t length = convert(idna, name.utf16(), int32_t(name.size()), out,
                                   int32_t(std::size(out)), &info, &error);
    if (U_FAILURE(error) || info.errors != 0 || length <= 0 || length > int32_t(std::size(out)))
        return {};
    return QString(reinterpret_cast<const QChar *>(out), length);
}

// A word that is an internationalised domain name (a host name once converted) in the given
// form; empty for any other word. A leading "=" (Verisign's exact-match flag) stays in front.
QString domainName(QStringView word, Names form) {
    const bool exact = word.startsWith(QLatin1Char('='));
    const QStringView name = exact ? word.sliced(1) : word;
    const QString ace = idnaConvert(name, Names::Ace);
    if (!host::isHostName(ace))
        return {};
    const QString converted = form == Names::Ace ? ace : idnaConvert(ace, Names::Unicode);
    if (converted.isEmpty())
        return {};
    return exact ? QLatin1Char('=') + converted : converted;
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
        const QString name = blank || isAscii(run) ? QString() : domainName(run, form);
        out += name.isEmpty() ? run : QStringView(name);
        i = end;
    }
    return out;
}

// Whether the bytes at `at` begin an escape sequence that designates one of ISO-2022-JP's
// Japanese sets (ESC $ B, ESC $ @, ESC ( J): 1 if so, 0 if not, -1 when the bytes end before
// that can be told.
int designatesIso2022Jp(const uint8_t *s, qsizetype at, qsizetype length) {
    static const char *const sequences[] = {"\x1b$B", "\x1b$@", "\x1b(J"};
    bool cutOff = false;
    for (const char *sequence : sequences) {
        qsizetype k = 0;
        while (k < 3 && at + k < length && s[at + k] == uint8_t(sequence[k]))
            ++k;
        if (k == 3)
            return 1;
        cutOff = cutOff || at + k == length;
    }
    return cutOff ? -1 : 0;
}

// ICU's converters write their own substitute (often U+001A) for a byte that does not fit;
// the program shows U+FFFD, the character that says so.
void toReplacementCharacter(const void *, UConverterToUnicodeArgs *args, const char *, int32_t,
                            UConverterCallbackReason reason, UErrorCode *error) {
    if (reason > UCNV_IRREGULAR)
        return;
    *error = U_ZERO_ERROR;
    const UChar replacement = 0xFFFD;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, error);
}

} // namespace

// One of ICU's converters, fed piece by piece: it keeps a character cut between pieces until
// it is whole, and turns what it still holds at the end into U+FFFD.
class IcuReader {
public:
    explicit IcuReader(const QByteArray &set)
        : m_set(set) {
        UErrorCode error = U_ZERO_ERROR;
        m_converter = ucnv_open(set.constData(), &error);
        if (U_FAILURE(error)) {
            m_converter = nullptr;
            return;
        }
        ucnv_setToUCallBack(m_converter, toReplacementCharacter, nullptr, nullptr, nullptr, &error);
    }
    ~IcuReader() {
        if (m_converter)
            ucnv_close(m_converter);
    }
    IcuReader(const IcuReader &) = delete;
    IcuReader &operator=(const IcuReader &) = delete;

    QString take(QByteArrayView bytes, bool flush = false) {
        if (!m_converter)
            return WireText::fromWindows1252(bytes); // a set ICU lacks: at least every byte
        // Two UTF-16 units per byte at most, and what was held from the last piece.
        QString text(2 * bytes.size() + 16, Qt::Uninitialized);
        const char *source = bytes.data();
        const char *const sourceEnd = source + bytes.size();
        qsizetype written = 0;
        for (;;) {
            auto *target = reinterpret_cast<UChar *>(text.data()) + written;
            auto *const targetEnd = reinterpret_cast<UChar *>(text.data()) + text.size();
            UErrorCode error = U_ZERO_ERROR;
            ucnv_toUnicode(m_converter, &target, targetEnd, &source, sourceEnd, nullptr, flush,
                           &error);
            written = target - reinterpret_cast<UChar *>(text.data());
            if (error != U_BUFFER_OVERFLOW_ERROR)
                break;
            text.resize(2 * text.size());
        }
        text.truncate(written);
        return text;
    }
    QString finish() {
        QString text = take({}, true);
        if (m_converter)
            ucnv_resetToUnicode(m_converter);
        return text;
    }
    qsizetype pending() const {
        if (!m_converter)
            return 0;
        UErrorCode error = U_ZERO_ERROR;
        const int32_t n = ucnv_toUCountPending(m_converter, &error);
        return U_SUCCESS(error) && n > 0 ? n : 0;
    }
    const QByteArray &set() const { return m_set; }

private:
    QByteArray m_set;
    UConverter *m_converter = nullptr;
};

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

QByteArray WireText::answerSet(QStringView server) {
    const QStringView host = tableHost(server);
    for (const AnswerRule &rule : answerRules) {
        if (host.compare(rule.host, Qt::CaseInsensitive) == 0)
            return QByteArray(rule.set);
    }
    return {};
}

const QList<QByteArray> &WireText::readAsSets() {
    static const QList<QByteArray> sets = {
        "UTF-8",        "Windows-1252", "ISO-8859-2",   "ISO-8859-15",  "Windows-1250",
        "Windows-1251", "KOI8-R",       "KOI8-U",       "Windows-1253", "Windows-1254",
        "Windows-1255", "Windows-1256", "Windows-1257", "ISO-2022-JP",  "Shift_JIS",
        "EUC-JP",       "EUC-KR",       "GB18030",      "Big5",         "TIS-620",
    };
    return sets;
}

AnswerDecoder::AnswerDecoder() = default;
AnswerDecoder::~AnswerDecoder() = default;
AnswerDecoder::AnswerDecoder(AnswerDecoder &&other) noexcept = default;
AnswerDecoder &AnswerDecoder::operator=(AnswerDecoder &&other) noexcept = default;

QString WireText::aceNames(QStringView text) {
    return withDomainNames(text, Names::Ace);
}

namespace {
// Eight bytes, none of them ESC or above 0x7F.
bool plainAscii8(const uint8_t *p) {
    quint64 word;
    std::memcpy(&word, p, sizeof word);
    constexpr quint64 ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
    const quint64 esc = word ^ (ones * 0x1B); // a zero byte where ESC was
    return ((word | ((esc - ones) & ~esc)) & highs) == 0;
}
} // namespace

QString AnswerDecoder::take(QByteArrayView bytes) {
    if (m_mode == Mode::Windows1252)
        return WireText::fromWindows1252(bytes);
    if (m_mode == Mode::Other)
        return m_other->take(bytes);
    if (m_mode == Mode::Utf8Text)
        return takeUtf8Text(bytes);
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
            if (s[i] == 0x1B) {
                // ISO-2022-JP is 7-bit, so it reads as UTF-8 up to its first designation.
                const int found = designatesIso2022Jp(s, i, length);
                if (found > 0)
                    return switchTo("ISO-2022-JP", bytes, i);
                if (found < 0) {
                    m_held = bytes.sliced(i).toByteArray();
                    return fromUtf8(bytes.first(i));
                }
            }
            ++i;
            // Most answers are ASCII: eight bytes at a time while none is ESC or above 0x7F.
            while (i + 8 <= length && plainAscii8(s + i))
                i += 8;
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

QString AnswerDecoder::takeUtf8Text(QByteArrayView bytes) {
    QByteArray joined;
    if (!m_held.isEmpty()) {
        joined = std::exchange(m_held, QByteArray());
        joined.append(bytes);
        bytes = joined;
    }
    // Only a sequence cut by the end of the piece waits for the next one: a lead byte among the
    // last three whose trail bytes run to the end, fewer than it needs.
    qsizetype keep = bytes.size();
    for (qsizetype i = bytes.size() - 1; i >= 0 && i >= bytes.size() - 3; --i) {
        const auto b = static_cast<uint8_t>(bytes[i]);
        if ((b & 0xC0) == 0x80)
            continue;
        if (b >= 0xC2 && b <= 0xF4 && bytes.size() - i <= U8_COUNT_TRAIL_BYTES(b))
            keep = i;
        break;
    }
    m_held = bytes.sliced(keep).toByteArray();
    return fromUtf8(bytes.first(keep));
}

QString AnswerDecoder::finish() {
    if (m_mode == Mode::Other)
        return m_other->finish();
    if (m_held.isEmpty())
        return {};
    const QByteArray held = std::exchange(m_held, QByteArray());
    if (m_mode == Mode::Utf8Text)
        return fromUtf8(held);
    // The start of an escape sequence is ASCII: still UTF-8.
    if (held.front() == '\x1b')
        return fromUtf8(held);
    return switchAt(held, 0);
}

void AnswerDecoder::reset(QStringView server) {
    m_held.clear();
    m_utf8Chars = 0;
    m_chosen = false;
    const QByteArray set = WireText::answerSet(server);
    m_mode = set.isEmpty() ? Mode::Utf8 : Mode::Other;
    m_other = set.isEmpty() ? nullptr : std::make_unique<IcuReader>(set);
}

void AnswerDecoder::readAs(const QByteArray &set) {
    reset();
    m_mode = Mode::Other;
    m_chosen = true;
    m_other = std::make_unique<IcuReader>(set);
}

void AnswerDecoder::readUtf8Text() {
    reset();
    m_mode = Mode::Utf8Text;
}

qsizetype AnswerDecoder::held() const {
    return m_mode == Mode::Other ? m_other->pending() : m_held.size();
}

qsizetype AnswerDecoder::switchedAt() const {
    return m_mode == Mode::Utf8 || m_mode == Mode::Utf8Text ? -1 : m_utf8Chars;
}

QByteArray AnswerDecoder::charset() const {
    switch (m_mode) {
    case Mode::Utf8:
    case Mode::Utf8Text:
        return "UTF-8";
    case Mode::Windows1252:
        return "windows-1252";
    case Mode::Other:
        break;
    }
    return m_other->set();
}

QString AnswerDecoder::fromUtf8(QByteArrayView valid) {
    QString text = m_utf8.decode(valid);
    m_utf8Chars += text.size();
    return text;
}

QString AnswerDecoder::switchAt(QByteArrayView bytes, qsizetype at) {
    QString text = fromUtf8(bytes.first(at));
    m_mode = Mode::Windows1252;
    text += WireText::fromWindows1252(bytes.sliced(at));
    return text;
}

QString AnswerDecoder::switchTo(const QByteArray &set, QByteArrayView bytes, qsizetype at) {
    QString text = fromUtf8(bytes.first(at));
    m_mode = Mode::Other;
    m_other = std::make_unique<IcuReader>(set);
    text += m_other->take(bytes.sliced(at));
    return text;
}
