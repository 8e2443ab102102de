// Received bytes to result text. Each piece goes the way the data handler takes it: bytes to
// text one character per byte (Winsock::fromLatin1), every LF to CR LF (QueryForm::lfToCrLf),
// appended to the result box (TextBox::AppendText) after the header a query starts with.
//
// Input: byte 0 gives the number of size codes (1 to 8) that follow it; the rest is what the
// server sends, cut into pieces by those codes in turn (see pieceSize).
//
// Checks: the box holds exactly header + the converted bytes; it shows the same as a fresh box
// given that whole text at once; and the bytes survive text and back unchanged.
#include "fuzzapp.h"

#include "platform/textbox.h"
#include "platform/winsock.h"
#include "query/query.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>

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

    TextBox &box = boxes->pieces;
    box.SetText(boxes->header);
    std::size_t next = 0;
    for (qsizetype at = 0; at < bytes.size();) {
        const std::uint8_t code = codeCount == 0 ? 2 : codes[next++ % codeCount];
        // Past MaxPieces the rest comes as one piece: every piece lays out the shown line it
        // lands on again (up to TextBox::MaxShownLine characters), so tens of thousands of
        // tiny pieces on long lines would take a minute per input here.
        const qsizetype n = next > MaxPieces ? bytes.size() - at
                                             : pieceSize(code, QByteArrayView(bytes).sliced(at));
        box.AppendText(QueryForm::lfToCrLf(Winsock::fromLatin1(bytes.sliced(at, n))));
        at += n;
    }

    const QString received = Winsock::fromLatin1(bytes);
    fuzzapp::check(received.size() == bytes.size(), "fromLatin1 gives one character per byte");
    fuzzapp::check(Winsock::toLatin1(received) == bytes, "toLatin1(fromLatin1(bytes)) == bytes");

    const QString converted = QueryForm::lfToCrLf(received);
    fuzzapp::check(converted.size() == received.size() + received.count(QLatin1Char('\n')),
                   "lfToCrLf adds one CR per LF");
    fuzzapp::check(QString(converted).replace(CrLf, QStringLiteral("\n")) == received,
                   "lfToCrLf changes nothing but LF");

    fuzzapp::check(box.Text() == boxes->header + converted, "Text() == header + received text");
    boxes->whole.SetText(box.Text());
    fuzzapp::check(box.toPlainText() == boxes->whole.toPlainText(),
                   "shown text == that of a box given the whole text at once");
    return 0;
}
