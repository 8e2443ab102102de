// Build-time tool: turns the text pixel art in assets/pictures into 16-colour .ico files and
// into PNG copies for desktop integration.
//
//   icomaker ico OUT.ico ART.txt [ART.txt ...]   one image per art file, in the given order
//   icomaker png OUT.png SIZE ART.txt            art scaled up by a whole factor to SIZE x SIZE
//
// Art files: one character per pixel, every row the same length; lines starting with ';' are
// comments. Legend: '.' transparent, '#' black, 'B' blue, 'W' white.
// The .ico bytes depend only on the art, so builds are reproducible.

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int Transparent = -1;

// The standard 16-colour Windows/VGA palette, as 0xRRGGBB.
constexpr std::array<std::uint32_t, 16> Palette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

struct Art {
    int width = 0;
    int height = 0;
    std::vector<int> pixels; // palette index per pixel, row by row from the top; -1 transparent
    int at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

int paletteIndexFor(char c) {
    switch (c) {
    case '.':
        return Transparent;
    case '#':
        return 0;
    case 'B':
        return 12;
    case 'W':
        return 15;
    default:
        return -2;
    }
}

bool readArt(const std::string &path, Art &art) {
    std::ifstream in(path);
    if (!in) {
        std::cerr << path << ": cannot open\n";
        return false;
    }
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        const int width = static_cast<int>(line.size());
        if (art.height > 0 && width != art.width) {
            std::cerr << path << ':' << lineNo << ": row is " << width << " wide, expected "
                      << art.width << '\n';
            return false;
        }
        art.width = width;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const int index = paletteIndexFor(line[i]);
            if (index < Transparent) {
                std::cerr << path << ':' << lineNo << ':' << i + 1 << ": unknown pixel '" << line[i]
                          << "'\n";
                return false;
            }
            art.pixels.push_back(index);
        }
        ++art.height;
    }
    if (art.width < 1 || art.width > 256 || art.height < 1 || art.height > 256) {
        std::cerr << path << ": picture must be 1 to 256 pixels each way\n";
        return false;
    }
    return true;
}

class ByteWriter {
public:
    void u8(int v) { bytes.push_back(static_cast<unsigned char>(v)); }
    void u16(int v) {
        u8(v & 0xFF);
        u8((v >> 8) & 0xFF);
    }
    void u32(std::uint32_t v) {
        for (int shift = 0; shift < 32; shift += 8)
            u8(static_cast<int>((v >> shift) & 0xFF));
    }
    std::vector<unsigned char> bytes;
};

// Rows of both bitmaps are padded to whole 32-bit words.
int xorRowBytes(const Art &art) {
    return (art.width * 4 + 31) / 32 * 4;
}
int andRowBytes(const Art &art) {
    return (art.width + 31) / 32 * 4;
}
int imageBytes(const Art &art) {
    return 40 + 16 * 4 + (xorRowBytes(art) + andRowBytes(art)) * art.height;
}

void writeImage(ByteWriter &out, const Art &art) {
    const int bitmapBytes = (xorRowBytes(art) + andRowBytes(art)) * art.height;
    // BITMAPINFOHEADER; the height counts the colour bitmap and the mask together.
    out.u32(40);
    out.u32(static_cast<std::uint32_t>(art.width));
    out.u32(static_cast<std::uint32_t>(art.height * 2));
    out.u16(1);
    out.u16(4);
    out.u32(0);
    out.u32(static_cast<std::uint32_t>(bitmapBytes));
    out.u32(0);
    out.u32(0);
    out.u32(16);
    out.u32(0);
    for (const std::uint32_t rgb : Palette) {
        out.u8(static_cast<int>(rgb & 0xFF));
        out.u8(static_cast<int>((rgb >> 8) & 0xFF));
        out.u8(static_cast<int>((rgb >> 16) & 0xFF));
        out.u8(0);
    }
    // Colour bitmap, bottom row first, two pixels per byte with the left one in the high nibble.
    for (int y = art.height - 1; y >= 0; --y) {
        std::vector<int> row(static_cast<std::size_t>(xorRowBytes(art)), 0);
        for (int x = 0; x < art.width; ++x) {
            const int index = art.at(x, y) == Transparent ? 0 : art.at(x, y);
            row[static_cast<std::size_t>(x / 2)] |= x % 2 == 0 ? index << 4 : index;
        }
        for (const int b : row)
            out.u8(b);
    }
    // Transparency mask, bottom row first, most significant bit leftmost, 1 = transparent.
    for (int y = art.height - 1; y >= 0; --y) {
        std::vector<int> row(static_cast<std::size_t>(andRowBytes(art)), 0);
        for (int x = 0; x < art.width; ++x) {
            if (art.at(x, y) == Transparent)
                row[static_cast<std::size_t>(x / 8)] |= 0x80 >> (x % 8);
        }
        for (const int b : row)
            out.u8(b);
    }
}

std::vector<unsigned char> encodeIco(const std::vector<Art> &images) {
    ByteWriter out;
    out.u16(0); // reserved
    out.u16(1); // icon resource
    out.u16(static_cast<int>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (const Art &art : images) {
        out.u8(art.width % 256); // 0 stands for 256
        out.u8(art.height % 256);
        out.u8(16);
        out.u8(0);
        out.u16(1);
        out.u16(4);
        out.u32(static_cast<std::uint32_t>(imageBytes(art)));
        out.u32(offset);
        offset += static_cast<std::uint32_t>(imageBytes(art));
    }
    for (const Art &art : images)
        writeImage(out, art);
    return out.bytes;
}

int makeIco(const std::string &outPath, const std::vector<std::string> &artPaths) {
    std::vector<Art> images(artPaths.size());
    for (std::size_t i = 0; i < artPaths.size(); ++i) {
        if (!readArt(artPaths[i], images[i]))
            return 1;
    }
    const std::vector<unsigned char> bytes = encodeIco(images);
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::cerr << outPath << ": cannot write\n";
        return 1;
    }
    return 0;
}

int makePng(const std::string &outPath, int size, const std::string &artPath) {
    Art art;
    if (!readArt(artPath, art))
        return 1;
    if (art.width != art.height || size % art.width != 0) {
        std::cerr << artPath << ": cannot scale " << art.width << 'x' << art.height << " to "
                  << size << " by a whole factor\n";
        return 1;
    }
    const int factor = size / art.width;
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int index = art.at(x / factor, y / factor);
            image.setPixel(
                x, y,
                index == Transparent ? 0u : 0xFF000000u | Palette[static_cast<std::size_t>(index)]);
        }
    }
    if (!image.save(QString::fromLocal8Bit(outPath.c_str()), "PNG")) {
        std::cerr << outPath << ": cannot write\n";
        return 1;
    }
    return 0;
}

int usage() {
    std::cerr << "usage: icomaker ico OUT.ico ART.txt [ART.txt ...]\n"
                 "       icomaker png OUT.png SIZE ART.txt\n";
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "ico")
        return makeIco(args[1], std::vector<std::string>(args.begin() + 2, args.end()));
    if (args.size() == 4 && args[0] == "png") {
        const int size = std::atoi(args[2].c_str());
        if (size < 1)
            return usage();
        return makePng(args[1], size, args[3]);
    }
    return usage();
}
