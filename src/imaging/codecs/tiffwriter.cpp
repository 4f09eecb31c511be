#include "imaging/codecs/tiffwriter.h"

#include "imaging/metadata/bytes.h"

#include <algorithm>
#include <array>
#include <numeric>
#include <unordered_map>

namespace veilshot::imaging {

namespace {

// LZW as TIFF has it: codes written from the most significant bit, 9 to 12 bits wide, each
// strip starting with a Clear code and ending with End of information.
class LzwStrip {
public:
    std::vector<std::uint8_t> encode(std::span<const std::uint8_t> bytes)
    {
        put(Clear);
        if (!bytes.empty()) {
            int prefix = bytes[0];
            for (std::size_t i = 1; i < bytes.size(); ++i) {
                const std::uint32_t key = std::uint32_t(prefix) << 8 | bytes[i];
                if (const auto found = table_.find(key); found != table_.end()) {
                    prefix = found->second;
                    continue;
                }
                put(prefix);
                table_.emplace(key, next_);
                added();
                prefix = bytes[i];
            }
            put(prefix);
            added();  // the reader adds an entry here too, and widens its codes with it
        }
        put(EndOfInformation);
        if (filled_ > 0)
            out_.push_back(std::uint8_t(bits_ << (8 - filled_)));
        return std::move(out_);
    }

private:
    static constexpr int Clear = 256, EndOfInformation = 257, FirstCode = 258, Full = 4094;

    void put(int code)
    {
        bits_ = bits_ << width_ | std::uint32_t(code);
        filled_ += width_;
        while (filled_ >= 8) {
            filled_ -= 8;
            out_.push_back(std::uint8_t(bits_ >> filled_));
        }
        bits_ &= (1u << filled_) - 1;
    }

    // After an entry is added: a full table starts afresh, and the codes widen as the reader
    // will widen them (one code early, as TIFF readers expect).
    void added()
    {
        if (++next_ == Full) {
            put(Clear);
            table_.clear();
            next_ = FirstCode;
            width_ = 9;
        } else if (next_ > (1 << width_) - 1) {
            ++width_;
        }
    }

    std::unordered_map<std::uint32_t, int> table_;
    int next_ = FirstCode;
    int width_ = 9;
    std::uint32_t bits_ = 0;
    int filled_ = 0;
    std::vector<std::uint8_t> out_;
};

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::vector<std::uint8_t> value;  // little-endian; placed after the IFD when over 4 bytes
};

constexpr std::uint16_t Short = 3, Long = 4, Rational = 5, Undefined = 7;

Entry Shorts(std::uint16_t tag, std::initializer_list<std::uint16_t> values)
{
    Entry entry{tag, Short, std::uint32_t(values.size()), std::vector<std::uint8_t>(values.size() * 2)};
    std::size_t at = 0;
    for (const std::uint16_t v : values)
        Write16(entry.value, 2 * at++, false, v);
    return entry;
}

Entry Longs(std::uint16_t tag, const std::vector<std::uint32_t> &values)
{
    Entry entry{tag, Long, std::uint32_t(values.size()), std::vector<std::uint8_t>(values.size() * 4)};
    for (std::size_t i = 0; i < values.size(); ++i)
        Write32(entry.value, 4 * i, false, values[i]);
    return entry;
}

Entry Resolution(std::uint16_t tag)
{
    Entry entry{tag, Rational, 1, std::vector<std::uint8_t>(8)};
    Write32(entry.value, 0, false, 72);
    Write32(entry.value, 4, false, 1);
    return entry;
}

}  // namespace

bool IsDeep(const QImage &image)
{
    return image.format() == QImage::Format_Grayscale16 || image.pixelFormat().redSize() > 8;
}

QByteArray EncodeDeepTiff(const QImage &source, const std::vector<std::uint8_t> &icc)
{
    if (source.isNull() || !IsDeep(source))
        return {};
    const bool grey = source.format() == QImage::Format_Grayscale16;
    const bool alpha = !grey && source.hasAlphaChannel();
    const QImage image = grey ? source : source.convertToFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    const int samples = grey ? 1 : alpha ? 4 : 3;
    const int width = image.width(), height = image.height();
    const std::size_t rowBytes = std::size_t(width) * samples * 2;
    const int rowsPerStrip = int(std::clamp<std::size_t>((256u << 10) / rowBytes, 1, std::size_t(height)));

    // Each row as the file holds it: its samples little-endian, each the difference from the
    // same sample of the pixel before it (the horizontal predictor).
    std::vector<std::uint32_t> offsets, counts;
    std::vector<std::vector<std::uint8_t>> strips;
    std::vector<std::uint8_t> raw;
    for (int top = 0; top < height; top += rowsPerStrip) {
        const int rows = std::min(rowsPerStrip, height - top);
        raw.assign(rowBytes * std::size_t(rows), 0);
        for (int y = 0; y < rows; ++y) {
            const auto *line = reinterpret_cast<const std::uint16_t *>(image.constScanLine(top + y));
            const int stride = grey ? 1 : 4;  // RGBX64 keeps its unused fourth sample
            std::array<std::uint16_t, 4> before{};
            std::size_t at = rowBytes * std::size_t(y);
            for (int x = 0; x < width; ++x) {
                for (int s = 0; s < samples; ++s) {
                    const std::uint16_t value = line[std::size_t(x) * stride + s];
                    Write16(raw, at, false, std::uint16_t(value - before[s]));
                    before[s] = value;
                    at += 2;
                }
            }
        }
        strips.push_back(LzwStrip().encode(raw));
        counts.push_back(std::uint32_t(strips.back().size()));
    }

    std::vector<Entry> entries = {
        Longs(256, {std::uint32_t(width)}),
        Longs(257, {std::uint32_t(height)}),
        grey ? Shorts(258, {16}) : alpha ? Shorts(258, {16, 16, 16, 16}) : Shorts(258, {16, 16, 16}),
        Shorts(259, {5}),               // LZW
        Shorts(262, {grey ? std::uint16_t(1) : std::uint16_t(2)}),  // black is zero, or RGB
        Longs(273, std::vector<std::uint32_t>(strips.size())),      // filled in below
        Shorts(277, {std::uint16_t(samples)}),
        Longs(278, {std::uint32_t(rowsPerStrip)}),
        Longs(279, counts),
        Resolution(282),
        Resolution(283),
        Shorts(284, {1}),               // samples of a pixel together
        Shorts(296, {2}),               // inches
        Shorts(317, {2}),               // the horizontal predictor
    };
    if (alpha)
        entries.push_back(Shorts(338, {2}));  // unassociated alpha
    if (!icc.empty())
        entries.push_back(Entry{34675, Undefined, std::uint32_t(icc.size()), icc});

    // The header, the IFD, the values too long for it, then the strips.
    const std::size_t ifdSize = 2 + 12 * entries.size() + 4;
    std::size_t at = 8 + ifdSize;
    std::vector<std::size_t> valueAt(entries.size(), 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].value.size() > 4) {
            valueAt[i] = at;
            at += (entries[i].value.size() + 1) & ~std::size_t(1);
        }
    }
    if (at + std::size_t(std::accumulate(counts.begin(), counts.end(), std::uint64_t(0))) > UINT32_MAX)
        return {};
    for (std::size_t k = 0; k < strips.size(); ++k) {
        Write32(entries[5].value, 4 * k, false, std::uint32_t(at));
        at += strips[k].size();
    }

    std::vector<std::uint8_t> file(8 + ifdSize, 0);
    file[0] = file[1] = 'I';
    Write16(file, 2, false, 42);
    Write32(file, 4, false, 8);
    Write16(file, 8, false, std::uint16_t(entries.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::size_t e = 10 + 12 * i;
        Write16(file, e, false, entries[i].tag);
        Write16(file, e + 2, false, entries[i].type);
        Write32(file, e + 4, false, entries[i].count);
        if (valueAt[i] == 0)
            std::copy(entries[i].value.begin(), entries[i].value.end(), file.begin() + std::ptrdiff_t(e + 8));
        else
            Write32(file, e + 8, false, std::uint32_t(valueAt[i]));
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (valueAt[i] == 0)
            continue;
        file.insert(file.end(), entries[i].value.begin(), entries[i].value.end());
        if (file.size() % 2)
            file.push_back(0);
    }
    for (const auto &strip : strips)
        file.insert(file.end(), strip.begin(), strip.end());
    return QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size()));
}

}  // namespace veilshot::imaging
