#include "wiretext.h"

#include <unicode/utf8.h>

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

QByteArray WireText::queryBytes(QStringView text) {
    QByteArray bytes;
    if (toWindows1252(text, &bytes))
        return bytes;
    return text.toUtf8();
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
