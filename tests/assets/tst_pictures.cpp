// Checks the embedded pictures byte by byte, with a decoder of its own, and against Qt's reader.

#include "assets/pictures.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtTest>

namespace {

const QList<QRgb> StandardPalette = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                     0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                     0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
constexpr int Transparent = -1;
constexpr int Black = 0;
constexpr int Blue = 12;
constexpr int White = 15;

const QStringList FramePaths = {
    QStringLiteral(":/pictures/frame0.ico"), QStringLiteral(":/pictures/frame1.ico"),
    QStringLiteral(":/pictures/frame2.ico"), QStringLiteral(":/pictures/frame3.ico")};
const QString BlankPath = QStringLiteral(":/pictures/blank.ico");
const QString IconPath = QStringLiteral(":/pictures/lumbra.ico");

struct Picture {
    int width = 0;
    int height = 0;
    QList<int> pixels; // palette index, row by row from the top; -1 transparent
    int at(int x, int y) const { return pixels.at(y * width + x); }
    int at(bool vertical, int line, int i) const { return vertical ? at(line, i) : at(i, line); }
};

int xorRowBytes(int width) {
    return (width * 4 + 31) / 32 * 4;
}
int andRowBytes(int width) {
    return (width + 31) / 32 * 4;
}

int le(const QByteArray &bytes, int offset, int size) {
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<quint8>(bytes.at(offset + i));
    return static_cast<int>(value);
}

QByteArray readResource(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Decodes every image of a 4-bpp .ico; an empty list if the bytes do not add up.
QList<Picture> decodeIco(const QString &path) {
    const QByteArray bytes = readResource(path);
    const int count = bytes.size() >= 6 ? le(bytes, 4, 2) : 0;
    QList<Picture> pictures;
    for (int i = 0; i < count; ++i) {
        if (6 + 16 * i + 16 > bytes.size())
            return {};
        const int offset = le(bytes, 6 + 16 * i + 12, 4);
        if (offset + 40 > bytes.size() || le(bytes, offset + 14, 2) != 4)
            return {};
        Picture p;
        p.width = le(bytes, offset + 4, 4);
        p.height = le(bytes, offset + 8, 4) / 2;
        const int xorStart = offset + 40 + 16 * 4;
        const int andStart = xorStart + xorRowBytes(p.width) * p.height;
        if (andStart + andRowBytes(p.width) * p.height > bytes.size())
            return {};
        for (int y = 0; y < p.height; ++y) {
            const int row = p.height - 1 - y; // stored bottom-up
            for (int x = 0; x < p.width; ++x) {
                const int pair = le(bytes, xorStart + row * xorRowBytes(p.width) + x / 2, 1);
                const int colour = x % 2 == 0 ? pair >> 4 : pair & 0x0F;
                const int mask = le(bytes, andStart + row * andRowBytes(p.width) + x / 8, 1);
                const bool masked = (mask & (0x80 >> (x % 8))) != 0;
                if (masked && colour != 0)
                    return {}; // a transparent pixel must carry colour 0
                p.pixels.append(masked ? Transparent : colour);
            }
        }
        pictures.append(p);
    }
    return pictures;
}

Picture decodeFrame(int frame) {
    const QList<Picture> pictures = decodeIco(FramePaths.at(frame));
    return pictures.size() == 1 && pictures.first().pixels.size() == 32 * 32 ? pictures.first()
                                                                             : Picture();
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void headers_data() { addEveryFile(); }
    void headers();
    void pixels_data() { addEveryFile(); }
    void pixels();
    void quarterTurn_data();
    void quarterTurn();
    void framesDiffer();
    void ringLines_data();
    void ringLines();
    void windowIconShape_data();
    void windowIconShape();
    void pathHelpers();

private:
    void addEveryFile();
};

void TestPictures::addEveryFile() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QList<int>>("colours");
    for (int i = 0; i < FramePaths.size(); ++i)
        QTest::addRow("frame %d", i) << FramePaths.at(i) << QList<int>{32} << QList<int>{Black};
    QTest::newRow("blank") << BlankPath << QList<int>{32} << QList<int>{};
    QTest::newRow("window icon") << IconPath << QList<int>{32, 16} << QList<int>{Blue, White};
}

void TestPictures::headers() {
    QFETCH(QString, path);
    QFETCH(QList<int>, sizes);
    const QByteArray bytes = readResource(path);
    const int count = static_cast<int>(sizes.size());
    QVERIFY2(bytes.size() >= 6 + 16 * count, qPrintable(path));
    QCOMPARE(le(bytes, 0, 2), 0); // reserved
    QCOMPARE(le(bytes, 2, 2), 1); // icon
    QCOMPARE(le(bytes, 4, 2), count);

    int offset = 6 + 16 * count;
    for (int i = 0; i < count; ++i) {
        const int size = sizes.at(i);
        const int entry = 6 + 16 * i;
        const int bitmapBytes = (xorRowBytes(size) + andRowBytes(size)) * size;
        const int imageBytes = 40 + 16 * 4 + bitmapBytes;
        QVERIFY(offset + imageBytes <= bytes.size());
        const struct {
            int at;
            int length;
            int expected;
            const char *name;
        } fields[] = {{entry, 1, size, "entry width"},
                      {entry + 1, 1, size, "entry height"},
                      {entry + 2, 1, 16, "entry colour count"},
                      {entry + 3, 1, 0, "entry reserved"},
                      {entry + 4, 2, 1, "entry planes"},
                      {entry + 6, 2, 4, "entry bit count"},
                      {entry + 8, 4, imageBytes, "entry bytes in resource"},
                      {entry + 12, 4, offset, "entry image offset"},
                      {offset, 4, 40, "header size"},
                      {offset + 4, 4, size, "header width"},
                      {offset + 8, 4, 2 * size, "header height (colours and mask)"},
                      {offset + 12, 2, 1, "header planes"},
                      {offset + 14, 2, 4, "header bit count"},
                      {offset + 16, 4, 0, "header compression"},
                      {offset + 20, 4, bitmapBytes, "header image size"},
                      {offset + 36, 4, 0, "header important colours"}};
        for (const auto &field : fields) {
            const int value = le(bytes, field.at, field.length);
            QVERIFY2(value == field.expected, qPrintable(QStringLiteral("image %1, %2: %3")
                                                             .arg(i)
                                                             .arg(QLatin1String(field.name))
                                                             .arg(value)));
        }
        const int coloursUsed = le(bytes, offset + 32, 4);
        QVERIFY(coloursUsed == 16 || coloursUsed == 0);
        for (int c = 0; c < 16; ++c) // blue, green, red, 0
            QCOMPARE(static_cast<QRgb>(le(bytes, offset + 40 + 4 * c, 4)), StandardPalette.at(c));
        offset += imageBytes;
    }
    QCOMPARE(offset, bytes.size());
}

// Only the expected colours are used, and Qt's own reader sees the same pixels.
void TestPictures::pixels() {
    QFETCH(QString, path);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<int>, colours);
    const QList<Picture> pictures = decodeIco(path);
    QCOMPARE(pictures.size(), sizes.size());
    QImageReader reader(path);
    QCOMPARE(reader.imageCount(), pictures.size());
    for (int i = 0; i < pictures.size(); ++i) {
        const Picture &p = pictures.at(i);
        QSet<int> used(p.pixels.cbegin(), p.pixels.cend());
        used.remove(Transparent);
        QCOMPARE(used, QSet<int>(colours.cbegin(), colours.cend()));

        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(p.width, p.height));
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const int index = p.at(x, y);
                const QRgb expected =
                    index == Transparent ? 0 : 0xFF000000u | StandardPalette.at(index);
                const QRgb qt = image.pixel(x, y);
                if (qAlpha(qt) != qAlpha(expected) || (qAlpha(qt) != 0 && qt != expected))
                    QFAIL(qPrintable(QStringLiteral("image %1 pixel (%2, %3): Qt reads %4")
                                         .arg(i)
                                         .arg(x)
                                         .arg(y)
                                         .arg(qt, 8, 16)));
            }
        }
    }
}

void TestPictures::quarterTurn_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("frame 0 turned is frame 2") << 0 << 2;
    QTest::newRow("frame 1 turned is frame 3") << 1 << 3;
    // The two arrows of a frame are alike, so turning on comes back round.
    QTest::newRow("frame 2 turned is frame 0") << 2 << 0;
    QTest::newRow("frame 3 turned is frame 1") << 3 << 1;
}

// Turned 90 degrees clockwise about (15, 15), pixel (x, y) of the result comes from (y, 30 - x).
void TestPictures::quarterTurn() {
    QFETCH(int, from);
    QFETCH(int, to);
    const Picture source = decodeFrame(from);
    const Picture turned = decodeFrame(to);
    QVERIFY(!source.pixels.isEmpty() && !turned.pixels.isEmpty());
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const int expected = x < 31 ? source.at(y, 30 - x) : Transparent;
            if (turned.at(x, y) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2)").arg(x).arg(y)));
        }
        QCOMPARE(source.at(y, 31), Transparent); // the bottom row has nowhere to go
    }
}

void TestPictures::framesDiffer() {
    for (int i = 0; i < FramePaths.size(); ++i) {
        for (int j = i + 1; j < FramePaths.size(); ++j)
            QVERIFY2(decodeFrame(i).pixels != decodeFrame(j).pixels,
                     qPrintable(QStringLiteral("frames %1 and %2").arg(i).arg(j)));
    }
}

void TestPictures::ringLines_data() {
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("vertical");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("count");
    // Through the centre (15, 15): a bare ring shows two pixels 17 apart; a line through both
    // arrowheads shows their 7-pixel bases, centred on the ring.
    QTest::newRow("frame 0, row") << 0 << false << 7 << 23 << 2;
    QTest::newRow("frame 0, column") << 0 << true << 4 << 26 << 14;
    QTest::newRow("frame 1, row") << 1 << false << 7 << 23 << 2;
    QTest::newRow("frame 1, column") << 1 << true << 7 << 23 << 2;
    QTest::newRow("frame 2, row") << 2 << false << 4 << 26 << 14;
    QTest::newRow("frame 2, column") << 2 << true << 7 << 23 << 2;
    QTest::newRow("frame 3, row") << 3 << false << 7 << 23 << 2;
    QTest::newRow("frame 3, column") << 3 << true << 7 << 23 << 2;
}

void TestPictures::ringLines() {
    QFETCH(int, frame);
    QFETCH(bool, vertical);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, count);
    const Picture p = decodeFrame(frame);
    QVERIFY(!p.pixels.isEmpty());
    QList<int> opaque;
    for (int i = 0; i < 32; ++i) {
        if (p.at(vertical, 15, i) != Transparent)
            opaque.append(i);
    }
    QCOMPARE(opaque.size(), count);
    QCOMPARE(opaque.first(), first);
    QCOMPARE(opaque.last(), last);
}

void TestPictures::windowIconShape_data() {
    QTest::addColumn<int>("image");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("disc");
    QTest::addColumn<int>("barLength");
    QTest::addColumn<int>("barThickness");
    QTest::newRow("32 x 32") << 0 << 32 << 31 << 19 << 5;
    QTest::newRow("16 x 16") << 1 << 16 << 16 << 10 << 2;
}

// Measured along rows, then along columns: the disc's width, and the white bar as the longest
// white run and the number of lines holding it.
void TestPictures::windowIconShape() {
    QFETCH(int, image);
    QFETCH(int, size);
    QFETCH(int, disc);
    QFETCH(int, barLength);
    QFETCH(int, barThickness);
    const QList<Picture> pictures = decodeIco(IconPath);
    QVERIFY(image < pictures.size());
    const Picture &p = pictures.at(image);
    QCOMPARE(QSize(p.width, p.height), QSize(size, size));
    for (const bool vertical : {false, true}) {
        int widest = 0;
        int barLines = 0;
        for (int line = 0; line < size; ++line) {
            int first = size;
            int last = -1;
            int run = 0;
            int longestWhite = 0;
            for (int i = 0; i < size; ++i) {
                const int pixel = p.at(vertical, line, i);
                if (pixel != Transparent) {
                    first = qMin(first, i);
                    last = i;
                }
                run = pixel == White ? run + 1 : 0;
                longestWhite = qMax(longestWhite, run);
            }
            for (int i = first; i <= last; ++i) // the disc has no holes
                QVERIFY(p.at(vertical, line, i) != Transparent);
            widest = qMax(widest, last - first + 1);
            QVERIFY(longestWhite <= barLength);
            barLines += longestWhite == barLength ? 1 : 0;
        }
        QCOMPARE(widest, disc);
        QCOMPARE(barLines, barThickness);
    }
}

void TestPictures::pathHelpers() {
    QCOMPARE(Pictures::busyFrame(0), FramePaths.at(0));
    QCOMPARE(Pictures::busyFrame(9), FramePaths.at(1));
    QCOMPARE(Pictures::busyFrame(-1), FramePaths.at(3));
    QCOMPARE(Pictures::blank(), BlankPath);
    QCOMPARE(Pictures::windowIcon(), IconPath);
}

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
