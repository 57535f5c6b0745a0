#include "skinpacker/bitmap_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "skinpacker/bytes.h"
#include "skinpacker/colour_reduction.h"
#include "skinpacker/messages.h"

namespace skin {

namespace {

constexpr int kSide = kPictureSide;

struct BitmapHeader {
    uint32_t pixelOffset = 0;
    uint32_t infoSize = 0;
    int32_t width = 0, height = 0;
    uint16_t depth = 0;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
};

Rgb entryAt(std::span<const uint8_t> file, size_t offset) {
    return {file[offset + 2], file[offset + 1], file[offset]};
}

bool refuse(Reporter& reporter, std::string_view text, Icon icon = Icon::Exclamation) {
    reporter.report(text, icon);
    return false;
}

}  // namespace

Rgb ConvertedPicture::paletteEntry(int i) const {
    return entryAt(file, 54 + static_cast<size_t>(i) * 4);
}

std::vector<uint8_t> makeConvertedFile(std::span<const Rgb> palette,
                                       std::span<const uint8_t> rows) {
    std::vector<uint8_t> out;
    out.reserve(kConvertedSize);
    ByteWriter w(out);
    w.u8('B');
    w.u8('M');
    w.le32(kConvertedFileSizeField);
    w.le32(0);
    w.le32(kConvertedHeaderSize);
    w.le32(40);
    w.le32(kSide);
    w.le32(kSide);
    w.le16(1);
    w.le16(8);
    w.le32(0);
    w.le32(kPixelCount);  // image size
    w.le32(0);            // horizontal resolution
    w.le32(0);            // vertical resolution
    w.le32(kMaxImageColours);
    w.le32(kMaxImageColours);
    for (size_t i = 0; i < kMaxImageColours; ++i) {
        Rgb c = i < palette.size() ? palette[i] : Rgb{};
        w.u8(c.b);
        w.u8(c.g);
        w.u8(c.r);
        w.u8(0);
    }
    w.bytes(rows.first(kPixelCount));
    return out;
}

bool convertBitmap(std::span<const uint8_t> file, Reporter& reporter, ConvertedPicture& out) {
    // A file longer than the source buffer is only read as far as it reaches.
    if (file.size() > kSourceBufferSize) file = file.first(kSourceBufferSize);
    ByteReader r(file);
    BitmapHeader h;
    uint16_t type = 0, planes = 0;
    uint32_t skip = 0;
    if (!r.le16(type) || type != ('B' | 'M' << 8)) return refuse(reporter, msg::kNotBmp);
    if (!r.le32(skip) || !r.le32(skip) || !r.le32(h.pixelOffset))
        return refuse(reporter, msg::kNotBmp);
    uint32_t width = 0, height = 0;
    if (!r.le32(h.infoSize) || !r.le32(width) || !r.le32(height) || !r.le16(planes) ||
        !r.le16(h.depth) || !r.le32(h.compression) || !r.le32(skip) || !r.le32(skip) ||
        !r.le32(skip) || !r.le32(h.coloursUsed) || !r.le32(skip) || h.infoSize < 40)
        return refuse(reporter, msg::kBmpCannotOpen, Icon::Information);
    h.width = static_cast<int32_t>(width);
    h.height = static_cast<int32_t>(height);
    if (h.compression != 0) return refuse(reporter, msg::kCompressed);
    if (h.width != kSide || h.height != kSide) return refuse(reporter, msg::kBadSize);
    const int depth = h.depth;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 24)
        return refuse(reporter, msg::kBadDepth);
    if (depth == 24 || (depth == 8 && (h.coloursUsed == 0 || h.coloursUsed > kMaxImageColours)))
        reporter.report(msg::kDownColour, Icon::Information);

    // Everything read below must lie inside what was read of the file.
    const size_t pixelBytes = static_cast<size_t>(12800) * static_cast<size_t>(depth);
    if (h.pixelOffset > file.size() || file.size() - h.pixelOffset < pixelBytes)
        return refuse(reporter, msg::kBmpCannotOpen, Icon::Information);
    const std::span<const uint8_t> pixels = file.subspan(h.pixelOffset, pixelBytes);
    const size_t paletteStart = 14 + static_cast<size_t>(h.infoSize);
    auto paletteFits = [&](size_t entries) {
        return paletteStart <= file.size() && (file.size() - paletteStart) / 4 >= entries;
    };

    std::array<Rgb, kMaxImageColours> palette{};
    std::vector<uint8_t> rows(kPixelCount);
    int colours = 0;

    if (depth <= 8) {
        const size_t full = size_t{1} << depth;
        size_t c = h.coloursUsed;
        if (depth == 8 && (c == 0 || c > kMaxImageColours)) {
            size_t entries = c == 0 || c > 256 ? 256 : c;
            if (!paletteFits(entries))
                return refuse(reporter, msg::kBmpCannotOpen, Icon::Information);
            std::array<Rgb, 256> filePalette{};  // indexes past the declared entries read as black
            for (size_t i = 0; i < entries; ++i)
                filePalette[i] = entryAt(file, paletteStart + i * 4);
            std::array<uint8_t, 256> map;
            reduceMostFrequent(filePalette, pixels, palette, map);
            for (size_t i = 0; i < kPixelCount; ++i) rows[i] = map[pixels[i]];
            colours = kMaxImageColours;
        } else {
            if (c == 0 || c > full) c = full;
            const size_t needed = depth == 1 ? 1 : c;
            if (!paletteFits(needed))
                return refuse(reporter, msg::kBmpCannotOpen, Icon::Information);
            bool invert = false;
            if (depth == 1) {
                Rgb first = entryAt(file, paletteStart);
                invert = first.r && first.g && first.b;
                palette[0] = {0, 0, 0};
                palette[1] = {255, 255, 255};
            } else {
                for (size_t i = 0; i < c; ++i) palette[i] = entryAt(file, paletteStart + i * 4);
            }
            colours = static_cast<int>(c);
            const size_t stride = kSide * static_cast<size_t>(depth) / 8;
            const int perByte = 8 / depth;
            const int mask = static_cast<int>(full) - 1;
            // An index the palette does not declare would point past the picture's colours:
            // it takes the nearest declared colour (or the first when its own is unknown).
            std::array<int, 256> stray;
            stray.fill(-1);
            for (int y = 0; y < kSide; ++y) {
                for (int x = 0; x < kSide; ++x) {
                    uint8_t byte =
                        pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x / perByte)];
                    int shift = 8 - depth * (x % perByte + 1);
                    int v = byte >> shift & mask;
                    if (invert) v ^= 1;
                    if (static_cast<size_t>(v) >= c) {
                        int& s = stray[static_cast<size_t>(v)];
                        if (s < 0) {
                            s = paletteFits(static_cast<size_t>(v) + 1) && depth != 1
                                    ? nearestColour(
                                          entryAt(file, paletteStart + static_cast<size_t>(v) * 4),
                                          std::span(palette).first(c))
                                    : 0;
                        }
                        v = s;
                    }
                    rows[static_cast<size_t>(y) * kSide + static_cast<size_t>(x)] =
                        static_cast<uint8_t>(v);
                }
            }
        }
    } else {
        reduceTrueColour(pixels, palette, rows);
        colours = kMaxImageColours;
    }

    out.file = makeConvertedFile(std::span(palette).first(static_cast<size_t>(colours)), rows);
    out.colours = colours;
    return true;
}

bool importBitmap(const std::string& path, Reporter& reporter, std::span<uint8_t> sourceBuffer,
                  ConvertedPicture& out) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return refuse(reporter, msg::kBmpNotFound);
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f || !S_ISREG(st.st_mode)) return refuse(reporter, msg::kBmpCannotOpen, Icon::Information);
    size_t n = std::fread(sourceBuffer.data(), 1, sourceBuffer.size(), f.get());
    if (std::ferror(f.get())) return refuse(reporter, msg::kBmpCannotOpen, Icon::Information);
    return convertBitmap(sourceBuffer.first(n), reporter, out);
}

}  // namespace skin
