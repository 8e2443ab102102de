// Received bytes to result text. Each piece goes the way the data handler takes it: bytes to
// text (AnswerDecoder, as Winsock::GetData reads them), every LF to CR LF (QueryForm::lfToCrLf),
// appended to the result box (TextBox::AppendText) after the header a query starts with; the
// bytes still held at the end come last, as at the server's close.
//
// Input: byte 0 gives the number of size codes (1 to 8) that follow it (its low three bits) and
// the server (the next bits: an unknown one or one of the table's, which read their answers in
// a set of their own); the rest is what the server sends, cut into pieces by those codes in turn
// (see pieceSize).
//
// Checks: the text does not depend on the pieces. From an unknown server it turns back into the
// bytes that came (UTF-8 before the switch, Windows-1252 from it on) and switches at the first
// byte that cannot continue valid UTF-8, not later or earlier, or at a designation of
// ISO-2022-JP, from which on it reads as that set. The box holds exactly header + the converted
// text and shows the same as a fresh box given that whole text at once, also after the answer
// is read again in one of the sets of "Read as" (each of which reads any bytes, in any pieces, as
// it reads them whole), and as UTF-8 alone, as an RDAP rendering is. The referral rules read every
// received and every shown line, also as a selection: whatever server they name is a host name or
// an IP address that stands in that line. The rules of "auto" read the whole text as IANA's answer
// and as a registry's (WHOIS, and RDAP text): whatever they ask next is such a server, stands in
// the text, and is neither IANA's nor the registry's own.
#include "fuzzapp.h"

#include "host/hostname.h"
#include "platform/textbox.h"
#include "platform/wiretext.h"
#include "query/query.h"
#include "rdap/lookup.h"
#include "rdap/rdap.h"
#include "rdap/referral.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QTextBlock>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace {

const QString CrLf = QStringLiteral("\r\n");

// What StartQuery writes before the answer of a server.
QString queryHeader() {
    return CrLf + QString(56, QLatin1Char('-')) + CrLf +
           QStringLiteral("Search results of: whois.example.net") + CrLf + CrLf;
}

// The length of the next piece of rest for one size code:
//   0        up to and including the next CR (splits CR LF pairs), or all that is left
//   1        up to and including the next LF (line by line)
//   2..127   1 to 16 bytes
//   128..223 1 to 1616 bytes, in steps of 17
//   224..255 1 to 63489 bytes, in steps of 2048 (across the box's 4096-character shown lines)
const char *const Servers[] = {"whois.example.net", "whois.nic.ad.jp", "whois.kg", "whois.nic.tr",
                               "oldwhois.kisa.or.kr"};

qsizetype pieceSize(std::uint8_t code, QByteArrayView rest) {
    qsizetype n = 0;
    if (code <= 1) {
        const qsizetype at = rest.indexOf(code == 0 ? '\r' : '\n');
        n = at < 0 ? rest.size() : at + 1;
    } else if (code < 128) {
        n = (code - 2) % 16 + 1;
    } else if (code < 224) {
        n = (code - 128) * 17 + 1;
    } else {
        n = (code - 224) * 2048 + 1;
    }
    return std::min(n, rest.size());
}

constexpr std::size_t MaxPieces = 512;

void checkReferral(QStringView line) {
    const QString fromLine = referral::serverInLine(line);
    fuzzapp::check(fromLine.isEmpty() ||
                       ((host::isHostName(fromLine) || host::isIpAddress(fromLine)) &&
                        line.contains(fromLine)),
                   "a referral line names a host name or address it holds");
    // Without a server in the selection or the line, a related link's RDAP base URL is offered.
    const QString selected = referral::serverInSelection(line);
    const QString linked = rdap::relatedBase(line);
    const QString fromSelection = referral::serverToSearch(line, true, line);
    fuzzapp::check(fromSelection.isEmpty() || fromSelection == linked ||
                       ((host::isHostName(fromSelection) || host::isIpAddress(fromSelection)) &&
                        line.contains(fromSelection)),
                   "a selection names a host name or address it holds, or a link's base URL");
    fuzzapp::check(fromSelection == (!selected.isEmpty()   ? selected
                                     : !fromLine.isEmpty() ? fromLine
                                                           : linked),
                   "the selection comes before the line, the line before its link");
}

void checkNamed(const QString &server, QStringView text, const char *what) {
    fuzzapp::check((host::isHostName(server) || host::isIpAddress(server)) &&
                       text.contains(server, Qt::CaseInsensitive),
                   what);
}

void checkLookup(QStringView text) {
    const rdap::Query domain = rdap::queryFor(u"example.io");
    const lookup::Ask iana = lookup::referredByIana(domain, u"example.io", text);
    if (iana.way == lookup::Ask::Way::Whois) {
        checkNamed(iana.server, text, "IANA's answer names a server it holds");
        fuzzapp::check(iana.server.compare(lookup::IanaWhois, Qt::CaseInsensitive) != 0,
                       "IANA's answer never leads back to IANA");
    } else {
        fuzzapp::check(iana.way == lookup::Ask::Way::None && !iana.line.isEmpty(),
                       "IANA's answer naming no server ends the lookup with a line");
    }

    lookup::Ask registry;
    registry.way = lookup::Ask::Way::Whois;
    registry.server = QStringLiteral("whois.example.net");
    lookup::Ask ianaAsk;
    ianaAsk.way = lookup::Ask::Way::Whois;
    ianaAsk.server = QString(lookup::IanaWhois);
    const QStringList asked = {lookup::serverKey(ianaAsk), lookup::serverKey(registry)};
    const lookup::Ask byWhois =
        lookup::registrar(domain, u"example.io", registry, QUrl(), text, asked);
    if (byWhois.way != lookup::Ask::Way::None) {
        fuzzapp::check(byWhois.way == lookup::Ask::Way::Whois, "a WHOIS registry leads to WHOIS");
        checkNamed(byWhois.server, text, "the registry's answer names a server it holds");
        fuzzapp::check(!asked.contains(lookup::serverKey(byWhois)), "never the same server twice");
    }

    lookup::Ask rdapRegistry;
    rdapRegistry.way = lookup::Ask::Way::Rdap;
    rdapRegistry.base = QUrl(QStringLiteral("https://rdap.example.net/"));
    const lookup::Ask byRdap =
        lookup::registrar(domain, u"example.io", rdapRegistry,
                          QUrl(QStringLiteral("https://rdap.example.net/domain/example.io")), text,
                          {lookup::serverKey(rdapRegistry)});
    if (byRdap.way != lookup::Ask::Way::None) {
        fuzzapp::check(byRdap.way == lookup::Ask::Way::Rdap, "an RDAP registry leads to RDAP");
        fuzzapp::check(byRdap.base.scheme() == QLatin1String("https") &&
                           byRdap.base.userInfo().isEmpty() &&
                           text.contains(lookup::registrarBase(text)),
                       "an https answer leads to an https base URL it holds, without user info");
        checkNamed(byRdap.base.host(QUrl::EncodeUnicode), byRdap.base.toString(),
                   "the base URL's host is a host name or an address");
        fuzzapp::check(lookup::serverKey(byRdap) != lookup::serverKey(rdapRegistry),
                       "never the same server twice");
    }
}

// From an unknown server: UTF-8 up to the switch, then Windows-1252 (every byte back as it
// came) or ISO-2022-JP from its designation on.
void checkAutomatic(const AnswerDecoder &decoder, const QByteArray &bytes,
                    const QString &received) {
    const qsizetype k = decoder.switchedAt() < 0 ? received.size() : decoder.switchedAt();
    fuzzapp::check(k <= received.size(), "the switch lies inside the text");
    const QByteArray utf8Part = QStringView(received).first(k).toUtf8();
    fuzzapp::check(bytes.startsWith(utf8Part), "the text before the switch is the UTF-8 that came");
    const QByteArrayView after = QByteArrayView(bytes).sliced(utf8Part.size());
    if (decoder.charset() == "ISO-2022-JP") {
        fuzzapp::check(after.startsWith("\x1b$B") || after.startsWith("\x1b$@") ||
                           after.startsWith("\x1b(J"),
                       "ISO-2022-JP from a designation on");
        AnswerDecoder rest;
        rest.readAs("ISO-2022-JP");
        fuzzapp::check(rest.take(after) + rest.finish() == QStringView(received).sliced(k),
                       "after the designation, the text reads as ISO-2022-JP");
        return;
    }
    QByteArray rest;
    fuzzapp::check(WireText::toWindows1252(QStringView(received).sliced(k), &rest),
                   "the text after the switch has Windows-1252 bytes");
    fuzzapp::check(utf8Part + rest == bytes, "the text turns back into the bytes that came");
    if (decoder.switchedAt() >= 0) {
        // Where it switched, the bytes could not go on as UTF-8: Qt's own decoder finds a bad
        // or cut-off sequence there (U+FFFD not sent as such).
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                        QStringConverter::Flag::ConvertInitialBom);
        const QString tail = utf8.decode(after.first(std::min<qsizetype>(after.size(), 4)));
        fuzzapp::check(!tail.isEmpty() && tail.at(0) == QChar::ReplacementCharacter &&
                           !after.startsWith("\xEF\xBF\xBD"),
                       "the switch comes at the first byte that is not valid UTF-8");
    }
}

struct Boxes {
    TextBox pieces; // kept and reset per input: creating a box per input would cost more
    TextBox whole;
    QString header = queryHeader();
};
Boxes *boxes = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***argv) {
    fuzzapp::startApplication((*argv)[0]);
    boxes = new Boxes;
    // Shown, as in the window: appending then also lays out and scrolls.
    for (TextBox *box : {&boxes->pieces, &boxes->whole}) {
        box->resize(640, 400);
        box->show();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const auto codeCount = std::min<std::size_t>(data[0] % 8 + 1, size - 1);
    const std::uint8_t *codes = data + 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1 + codeCount),
                           static_cast<qsizetype>(size - 1 - codeCount));
    const QString server = QString::fromLatin1(Servers[(data[0] >> 3) % std::size(Servers)]);
    const bool unknownServer = WireText::answerSet(server).isEmpty();

    TextBox &box = boxes->pieces;
    box.SetText(boxes->header);
    AnswerDecoder decoder;
    decoder.reset(server);
    QString received;
    std::size_t next = 0;
    std::vector<qsizetype> cuts;
    for (qsizetype at = 0; at < bytes.size();) {
        const std::uint8_t code = codeCount == 0 ? 2 : codes[next++ % codeCount];
        // Past MaxPieces the rest comes as one piece: every piece lays out the shown line it
        // lands on again (up to TextBox::MaxShownLine characters), so tens of thousands of
        // tiny pieces on long lines would take a minute per input here.
        const qsizetype n = next > MaxPieces ? bytes.size() - at
                                             : pieceSize(code, QByteArrayView(bytes).sliced(at));
        const QString piece = decoder.take(QByteArrayView(bytes).sliced(at, n));
        received += piece;
        box.AppendText(QueryForm::lfToCrLf(piece));
        at += n;
        cuts.push_back(at);
    }
    const QString last = decoder.finish();
    received += last;
    box.AppendText(QueryForm::lfToCrLf(last));

    AnswerDecoder whole;
    whole.reset(server);
    fuzzapp::check(whole.take(bytes) + whole.finish() == received,
                   "the text does not depend on how the bytes were cut");
    if (unknownServer)
        checkAutomatic(decoder, bytes, received);

    const QString converted = QueryForm::lfToCrLf(received);
    fuzzapp::check(converted.size() == received.size() + received.count(QLatin1Char('\n')),
                   "lfToCrLf adds one CR per LF");
    fuzzapp::check(QString(converted).replace(CrLf, QStringLiteral("\n")) == received,
                   "lfToCrLf changes nothing but LF");

    for (const QStringView line : QStringView(received).split(QLatin1Char('\n')))
        checkReferral(line);
    checkLookup(received);
    for (QTextBlock block = box.document()->begin(); block.isValid(); block = block.next())
        checkReferral(block.text());

    fuzzapp::check(box.Text() == boxes->header + converted, "Text() == header + received text");
    boxes->whole.SetText(box.Text());
    fuzzapp::check(box.toPlainText() == boxes->whole.toPlainText(),
                   "shown text == that of a box given the whole text at once");

    // The bytes in the same pieces as they came, through a decoder set up for a reading.
    auto readInPieces = [&](AnswerDecoder &decoder) {
        QString text;
        qsizetype from = 0;
        for (const qsizetype cut : cuts) {
            text += decoder.take(QByteArrayView(bytes).sliced(from, cut - from));
            from = cut;
        }
        return text + decoder.finish();
    };

    // "Read as": every set reads the bytes, in the same pieces, as it reads them whole; the
    // reading of one of them replaces the answer in the box.
    const QList<QByteArray> &sets = WireText::readAsSets();
    const QByteArray &chosen = sets.at(qsizetype(size % std::size_t(sets.size())));
    QString chosenText;
    for (const QByteArray &set : sets) {
        AnswerDecoder inPieces;
        inPieces.readAs(set);
        const QString text = readInPieces(inPieces);
        AnswerDecoder inOne;
        inOne.readAs(set);
        fuzzapp::check(inOne.take(bytes) + inOne.finish() == text,
                       "Read as: the text does not depend on how the bytes were cut");
        if (set == chosen)
            chosenText = QueryForm::lfToCrLf(text);
    }
    // An RDAP rendering is read as UTF-8 alone: in any pieces as whole, as Qt's own decoder
    // reads it, with no switch and no designation.
    AnswerDecoder rendered;
    rendered.readUtf8Text();
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                    QStringConverter::Flag::ConvertInitialBom);
    fuzzapp::check(readInPieces(rendered) == utf8.decode(bytes) && rendered.switchedAt() < 0,
                   "UTF-8 text reads as UTF-8 alone, however it was cut");

    box.ReplaceText(boxes->header.size(), converted.size(), chosenText);
    boxes->whole.SetText(boxes->header + chosenText);
    fuzzapp::check(box.Text() == boxes->whole.Text() &&
                       box.toPlainText() == boxes->whole.toPlainText(),
                   "an answer read again shows as a box given the new text whole");
    return 0;
}
