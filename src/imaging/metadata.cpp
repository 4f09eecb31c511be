#include "imaging/metadata.h"

#include "imaging/bytes.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <string_view>

#include <zlib.h>

namespace veilshot::imaging {

namespace {

constexpr std::uint8_t App0 = 0xE0, App1 = 0xE1, App2 = 0xE2, App14 = 0xEE, App15 = 0xEF, Com = 0xFE, Dqt = 0xDB;

bool StartsWith(std::span<const std::uint8_t> data, std::string_view prefix)
{
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin(),
                                                       [](char a, std::uint8_t b) { return std::uint8_t(a) == b; });
}

// The EXIF segment's TIFF data (from its byte-order mark) made upright: the orientation in
// IFD0 set to 1, and IFD0's link to IFD1, the thumbnail, cut (the thumbnail would show the
// photo turned). Every offset is checked; data that does not hold together is left as it is.
void MakeExifUpright(std::span<std::uint8_t> tiff)
{
    if (tiff.size() < 8)
        return;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I'))
        return;
    const std::uint32_t ifd = Read32(tiff, 4, big);
    if (ifd > tiff.size() || tiff.size() - ifd < 2)
        return;
    const std::size_t count = Read16(tiff, ifd, big);
    if ((tiff.size() - ifd - 2) / 12 < count)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (Read16(tiff, entry, big) == 0x0112 && Read16(tiff, entry + 2, big) == 3)
            Write16(tiff, entry + 8, big, 1);
    }
    const std::size_t next = ifd + 2 + 12 * count;
    if (next + 4 <= tiff.size())
        Write32(tiff, next, big, 0);
}

// The quality (1..100) whose standard scaling of the luminance table comes nearest `sum`,
// the sum of a table's 64 values.
int QualityForSum(long sum)
{
    static constexpr std::array<int, 64> Luminance = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24,  40,  57,
        69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35,  55,  64,
        81, 104, 113, 92, 49, 64, 78,  87,  103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    int best = 0;
    long bestDistance = 0;
    for (int quality = 1; quality <= 100; ++quality) {
        const long scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
        long scaled = 0;
        for (int value : Luminance)
            scaled += std::clamp((value * scale + 50) / 100, 1L, 255L);
        const long distance = std::labs(scaled - sum);
        if (best == 0 || distance < bestDistance) {
            best = quality;
            bestDistance = distance;
        }
    }
    return best;
}

// The quality of table 0 in a DQT segment's data, or 0.
int QualityOfTables(std::span<const std::uint8_t> data)
{
    std::size_t at = 0;
    while (at < data.size()) {
        const int precision = data[at] >> 4, id = data[at] & 0x0F;
        const std::size_t size = precision ? 128 : 64;
        if (precision > 1 || data.size() - at - 1 < size)
            return 0;
        if (id == 0) {
            long sum = 0;
            for (std::size_t i = 0; i < 64; ++i)
                sum += precision ? long(data[at + 1 + 2 * i]) << 8 | data[at + 2 + 2 * i] : data[at + 1 + i];
            return QualityForSum(sum);
        }
        at += 1 + size;
    }
    return 0;
}

Subsampling SubsamplingOfFrame(std::span<const std::uint8_t> data)
{
    if (data.size() < 6)
        return Subsampling::Unknown;
    const std::size_t components = data[5];
    if (components == 1)
        return Subsampling::Gray;
    if (components != 3 || data.size() < 6 + 3 * components)
        return Subsampling::Unknown;
    const int h = data[7] >> 4, v = data[7] & 0x0F;
    for (std::size_t c = 1; c < 3; ++c) {
        if (data[7 + 3 * c] != 0x11)
            return Subsampling::Unknown;
    }
    if (h == 1 && v == 1)
        return Subsampling::S444;
    if (h == 2 && v == 1)
        return Subsampling::S422;
    if (h == 2 && v == 2)
        return Subsampling::S420;
    if (h == 1 && v == 2)
        return Subsampling::S440;
    if (h == 4 && v == 1)
        return Subsampling::S411;
    return Subsampling::Unknown;
}

// Whether a segment is metadata that goes with the picture whatever its pixels become. The
// JFIF header, Adobe's colour transform flag and the multi-picture index (offsets into the
// old file) describe the old encoding and stay behind.
bool Carried(std::uint8_t marker, std::span<const std::uint8_t> data)
{
    if (marker == Com)
        return true;
    if (marker < App1 || marker > App15 || marker == App14)
        return false;
    return !(marker == App2 && StartsWith(data, std::string_view("MPF\0", 4)));
}

constexpr std::string_view ExifHead("Exif\0\0", 6);
constexpr std::string_view XmpHead("http://ns.adobe.com/xap/1.0/\0", 29);
constexpr std::string_view IccHead("ICC_PROFILE\0", 12);
constexpr std::string_view XmpKeyword("XML:com.adobe.xmp");

// The most a compressed profile or XMP packet may inflate to.
constexpr std::size_t MostInflated = std::size_t(16) << 20;

// zlib data inflated, or empty when it is damaged or would pass MostInflated.
std::vector<std::uint8_t> Inflated(std::span<const std::uint8_t> data)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, 16384> chunk{};
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = uInt(std::min<std::size_t>(data.size(), UINT32_MAX));
    int status = Z_OK;
    while (status == Z_OK && out.size() <= MostInflated) {
        z.next_out = chunk.data();
        z.avail_out = uInt(chunk.size());
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk.begin(), chunk.end() - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && out.size() <= MostInflated ? out : std::vector<std::uint8_t>{};
}

// A NUL-ended field of `data` from `at`: its end, or npos when there is none.
std::size_t FieldEnd(std::span<const std::uint8_t> data, std::size_t at)
{
    const auto end = std::find(data.begin() + std::ptrdiff_t(std::min(at, data.size())), data.end(), std::uint8_t(0));
    return end == data.end() ? std::string_view::npos : std::size_t(end - data.begin());
}

// The chunks of a PNG: a profile (iCCP), EXIF (eXIf) and XMP (iTXt).
void ReadPng(std::span<const std::uint8_t> png, CarriedMetadata &found)
{
    std::size_t at = 8;
    while (png.size() - at >= 12) {
        const std::size_t length = Be32(png, at);
        if (length > png.size() - at - 12)
            break;
        const std::span<const std::uint8_t> type = png.subspan(at + 4, 4), data = png.subspan(at + 8, length);
        at += 12 + length;
        if (StartsWith(type, "IEND"))
            break;
        if (StartsWith(type, "iCCP") && found.icc.empty()) {
            const std::size_t name = FieldEnd(data, 0);
            if (name != std::string_view::npos && data.size() > name + 2 && data[name + 1] == 0)
                found.icc = Inflated(data.subspan(name + 2));
        } else if (StartsWith(type, "eXIf") && found.exif.empty()) {
            found.exif.assign(data.begin(), data.end());
            MakeExifUpright(found.exif);
        } else if (StartsWith(type, "iTXt") && found.xmp.empty() && StartsWith(data, XmpKeyword) &&
                   data.size() > XmpKeyword.size() + 2 && data[XmpKeyword.size()] == 0) {
            const bool compressed = data[XmpKeyword.size() + 1] != 0;
            const std::size_t language = FieldEnd(data, XmpKeyword.size() + 3);
            const std::size_t translated = language == std::string_view::npos ? language : FieldEnd(data, language + 1);
            if (translated == std::string_view::npos)
                continue;
            const std::span<const std::uint8_t> text = data.subspan(translated + 1);
            found.xmp = compressed ? Inflated(text) : std::vector<std::uint8_t>(text.begin(), text.end());
        }
    }
}

// One entry of a TIFF IFD.
struct TiffEntry {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::size_t at;  // where the entry stands
};

// The entries of the TIFF's first IFD, in order; empty when it does not fit.
std::vector<TiffEntry> FirstIfd(std::span<const std::uint8_t> tiff, bool &big, std::size_t &ifd)
{
    if (tiff.size() < 8)
        return {};
    big = tiff[0] == 'M';
    ifd = Read32(tiff, 4, big);
    if (ifd > tiff.size() || tiff.size() - ifd < 2)
        return {};
    const std::size_t count = Read16(tiff, ifd, big);
    if ((tiff.size() - ifd - 2) / 12 < count)
        return {};
    std::vector<TiffEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        entries.push_back({Read16(tiff, entry, big), Read16(tiff, entry + 2, big), Read32(tiff, entry + 4, big), entry});
    }
    return entries;
}

// The bytes of an entry of BYTE or UNDEFINED values, or empty when they lie outside the file.
std::vector<std::uint8_t> EntryBytes(std::span<const std::uint8_t> tiff, const TiffEntry &entry, bool big)
{
    if (entry.type != 1 && entry.type != 7)
        return {};
    const std::size_t from = entry.count <= 4 ? entry.at + 8 : Read32(tiff, entry.at + 8, big);
    if (from > tiff.size() || tiff.size() - from < entry.count)
        return {};
    return {tiff.begin() + std::ptrdiff_t(from), tiff.begin() + std::ptrdiff_t(from + entry.count)};
}

// The bytes one value of a TIFF type takes, and the unit whose byte order it has; 0 for types
// not known.
std::pair<std::size_t, std::size_t> TypeSize(std::uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return {1, 1};
    case 3: case 8: return {2, 2};
    case 4: case 9: case 11: case 13: return {4, 4};
    case 5: case 10: return {8, 4};
    case 12: return {8, 8};
    default: return {0, 0};
    }
}

// The tags of a first IFD that describe the photo rather than its pixels: description, camera,
// software, date, artist, copyright, and the EXIF and GPS IFDs.
bool PhotoTag(std::uint16_t tag)
{
    static constexpr std::array<std::uint16_t, 9> Tags = {270, 271, 272, 305, 306, 315, 33432, 34665, 34853};
    return std::find(Tags.begin(), Tags.end(), tag) != Tags.end();
}

bool PointsToIfd(std::uint16_t tag)
{
    return tag == 34665 || tag == 34853 || tag == 40965;  // EXIF, GPS, interoperability
}

void AlignEven(std::vector<std::uint8_t> &out)
{
    if (out.size() % 2)
        out.push_back(0);
}

// Moves TIFF IFDs from one file into another, whatever the byte order of each: values are
// turned to the target's order, and the IFDs an entry points to come along.
class IfdMover {
public:
    IfdMover(std::span<const std::uint8_t> from, bool fromBig, std::vector<std::uint8_t> &to, bool toBig)
        : from_(from), fromBig_(fromBig), to_(to), toBig_(toBig)
    {
    }

    // The entry in the target's order, its values appended to the target where they do not fit
    // in it; nothing for an entry that does not hold together.
    std::optional<std::array<std::uint8_t, 12>> entry(const TiffEntry &entry, int depth)
    {
        const auto [size, unit] = TypeSize(entry.type);
        if (size == 0 || entry.count > MostBytes / size)
            return std::nullopt;
        const std::size_t length = size * entry.count;
        const std::size_t at = length <= 4 ? entry.at + 8 : Read32(from_, entry.at + 8, fromBig_);
        if (at > from_.size() || from_.size() - at < length)
            return std::nullopt;
        std::vector<std::uint8_t> value(from_.begin() + std::ptrdiff_t(at), from_.begin() + std::ptrdiff_t(at + length));
        if (fromBig_ != toBig_ && unit > 1) {
            for (std::size_t i = 0; i + unit <= value.size(); i += unit)
                std::reverse(value.begin() + std::ptrdiff_t(i), value.begin() + std::ptrdiff_t(i + unit));
        }
        std::array<std::uint8_t, 12> moved{};
        Write16(moved, 0, toBig_, entry.tag);
        Write16(moved, 2, toBig_, entry.type);
        Write32(moved, 4, toBig_, entry.count);
        if (PointsToIfd(entry.tag)) {
            if ((entry.type != 4 && entry.type != 13) || entry.count != 1)
                return std::nullopt;
            const std::uint32_t sub = ifd(Read32(from_, entry.at + 8, fromBig_), depth + 1, [](std::uint16_t) { return true; });
            if (sub == 0)
                return std::nullopt;
            Write32(moved, 8, toBig_, sub);
        } else if (length <= 4) {
            std::copy(value.begin(), value.end(), moved.begin() + 8);
        } else {
            AlignEven(to_);
            if (to_.size() > UINT32_MAX - length)
                return std::nullopt;
            Write32(moved, 8, toBig_, std::uint32_t(to_.size()));
            to_.insert(to_.end(), value.begin(), value.end());
        }
        return moved;
    }

    // The IFD at `offset` with the entries `keep` takes, written to the target; its place, or 0
    // when it does not hold together or keeps nothing.
    std::uint32_t ifd(std::size_t offset, int depth, const std::function<bool(std::uint16_t)> &keep)
    {
        if (depth > 3 || offset > from_.size() || from_.size() - offset < 2)
            return 0;
        const std::size_t count = Read16(from_, offset, fromBig_);
        if ((from_.size() - offset - 2) / 12 < count)
            return 0;
        std::vector<std::array<std::uint8_t, 12>> entries;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = offset + 2 + 12 * i;
            const TiffEntry source{Read16(from_, at, fromBig_), Read16(from_, at + 2, fromBig_), Read32(from_, at + 4, fromBig_), at};
            if (keep(source.tag)) {
                if (const auto moved = entry(source, depth))
                    entries.push_back(*moved);
            }
        }
        if (entries.empty())
            return 0;
        AlignEven(to_);
        const std::size_t place = to_.size();
        if (place > UINT32_MAX - 6 - 12 * entries.size())
            return 0;
        to_.resize(place + 2 + 12 * entries.size() + 4, 0);
        Write16(to_, place, toBig_, std::uint16_t(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i)
            std::copy(entries[i].begin(), entries[i].end(), to_.begin() + std::ptrdiff_t(place + 2 + 12 * i));
        return std::uint32_t(place);
    }

private:
    static constexpr std::size_t MostBytes = std::size_t(64) << 20;
    std::span<const std::uint8_t> from_;
    bool fromBig_;
    std::vector<std::uint8_t> &to_;
    bool toBig_;
};

// The first IFD of a TIFF: its compression, profile and XMP, and its EXIF: the tags that
// describe the photo and the IFDs they point to, made into EXIF data of their own.
void ReadTiff(std::span<const std::uint8_t> tiff, CarriedMetadata &found)
{
    bool big = false;
    std::size_t ifd = 0;
    for (const TiffEntry &entry : FirstIfd(tiff, big, ifd)) {
        if (entry.tag == 259 && entry.type == 3)
            found.tiffCompression = Read16(tiff, entry.at + 8, big);
        else if (entry.tag == 34675)
            found.icc = EntryBytes(tiff, entry, big);
        else if (entry.tag == 700)
            found.xmp = EntryBytes(tiff, entry, big);
    }
    std::vector<std::uint8_t> exif = {'I', 'I', 42, 0, 0, 0, 0, 0};
    if (const std::uint32_t first = IfdMover(tiff, big, exif, false).ifd(ifd, 0, PhotoTag)) {
        Write32(exif, 4, false, first);
        found.exif = std::move(exif);
    }
}

std::vector<std::uint8_t> Headed(std::uint8_t marker, std::string_view head, std::span<const std::uint8_t> data)
{
    const std::size_t length = 2 + head.size() + data.size();
    std::vector<std::uint8_t> segment(2 + length);
    segment[0] = 0xFF;
    segment[1] = marker;
    segment[2] = std::uint8_t(length >> 8);
    segment[3] = std::uint8_t(length & 0xFF);
    std::copy(head.begin(), head.end(), segment.begin() + 4);
    std::copy(data.begin(), data.end(), segment.begin() + 4 + std::ptrdiff_t(head.size()));
    return segment;
}

}  // namespace

JpegMetadata ReadJpegMetadata(std::span<const std::uint8_t> jpeg)
{
    JpegMetadata found;
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8)
        return found;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)  // start of scan, end of image
            break;
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (length < 2 || jpeg.size() - at - 2 < length)
            break;
        const std::span<const std::uint8_t> data = jpeg.subspan(at + 4, length - 2);
        if (Carried(marker, data)) {
            std::vector<std::uint8_t> segment(jpeg.begin() + std::ptrdiff_t(at), jpeg.begin() + std::ptrdiff_t(at + 2 + length));
            if (marker == App1 && StartsWith(data, std::string_view("Exif\0\0", 6)))
                MakeExifUpright(std::span<std::uint8_t>(segment).subspan(10));
            found.segments.push_back(std::move(segment));
        } else if (marker == Dqt && found.quality == 0) {
            found.quality = QualityOfTables(data);
        } else if (marker >= 0xC0 && marker <= 0xC2) {
            found.subsampling = SubsamplingOfFrame(data);
        }
        at += 2 + length;
    }
    return found;
}

std::vector<std::uint8_t> IccProfileOf(const JpegMetadata &metadata)
{
    static constexpr std::string_view Icc("ICC_PROFILE\0", 12);
    std::map<int, std::span<const std::uint8_t>> chunks;
    int total = 0;
    for (const auto &segment : metadata.segments) {
        const std::span<const std::uint8_t> data = std::span(segment).subspan(4);
        if (segment[1] != App2 || data.size() < 14 || !StartsWith(data, Icc))
            continue;
        total = data[13];
        chunks[data[12]] = data.subspan(14);
    }
    std::vector<std::uint8_t> profile;
    if (total == 0 || int(chunks.size()) != total)
        return profile;
    for (int i = 1; i <= total; ++i) {
        const auto found = chunks.find(i);
        if (found == chunks.end())
            return {};
        profile.insert(profile.end(), found->second.begin(), found->second.end());
    }
    return profile;
}

std::vector<std::uint8_t> WithSegments(std::span<const std::uint8_t> jpeg,
                                       const std::vector<std::vector<std::uint8_t>> &segments)
{
    std::size_t at = 2;
    if (jpeg.size() >= 6 && jpeg[2] == 0xFF && jpeg[3] == App0) {
        const std::size_t length = std::size_t(jpeg[4]) << 8 | jpeg[5];
        if (jpeg.size() - 4 >= length)
            at = 4 + length;
    }
    at = std::min(at, jpeg.size());
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(at));
    for (const auto &segment : segments)
        out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(at), jpeg.end());
    return out;
}

}  // namespace veilshot::imaging

namespace veilshot::imaging {

CarriedMetadata ReadCarriedMetadata(std::span<const std::uint8_t> bytes)
{
    CarriedMetadata found;
    if (StartsWith(bytes, std::string_view("\xFF\xD8", 2))) {
        found.jpeg = ReadJpegMetadata(bytes);
        for (const auto &segment : found.jpeg.segments) {
            const std::span<const std::uint8_t> data = std::span(segment).subspan(4);
            if (segment[1] == App1 && StartsWith(data, ExifHead) && found.exif.empty())
                found.exif.assign(data.begin() + std::ptrdiff_t(ExifHead.size()), data.end());
            else if (segment[1] == App1 && StartsWith(data, XmpHead) && found.xmp.empty())
                found.xmp.assign(data.begin() + std::ptrdiff_t(XmpHead.size()), data.end());
        }
        found.icc = IccProfileOf(found.jpeg);
    } else if (StartsWith(bytes, std::string_view("\x89PNG\r\n\x1A\n", 8))) {
        ReadPng(bytes, found);
    } else if (StartsWith(bytes, std::string_view("II\x2A\0", 4)) || StartsWith(bytes, std::string_view("MM\0\x2A", 4))) {
        ReadTiff(bytes, found);
    }
    return found;
}

std::vector<std::vector<std::uint8_t>> JpegSegmentsOf(const CarriedMetadata &metadata)
{
    if (!metadata.jpeg.segments.empty())
        return metadata.jpeg.segments;
    std::vector<std::vector<std::uint8_t>> segments;
    constexpr std::size_t MostData = 65533;
    if (!metadata.exif.empty() && metadata.exif.size() <= MostData - ExifHead.size())
        segments.push_back(Headed(App1, ExifHead, metadata.exif));
    if (!metadata.xmp.empty() && metadata.xmp.size() <= MostData - XmpHead.size())
        segments.push_back(Headed(App1, XmpHead, metadata.xmp));
    // The profile in numbered chunks of at most 65519 bytes, at most 255 of them.
    constexpr std::size_t Chunk = MostData - IccHead.size() - 2;
    const std::size_t chunks = (metadata.icc.size() + Chunk - 1) / Chunk;
    if (chunks > 0 && chunks <= 255) {
        for (std::size_t i = 0; i < chunks; ++i) {
            const std::span<const std::uint8_t> part =
                std::span(metadata.icc).subspan(i * Chunk, std::min(Chunk, metadata.icc.size() - i * Chunk));
            std::vector<std::uint8_t> numbered = {std::uint8_t(i + 1), std::uint8_t(chunks)};
            numbered.insert(numbered.end(), part.begin(), part.end());
            segments.push_back(Headed(App2, IccHead, numbered));
        }
    }
    return segments;
}

std::vector<std::uint8_t> TiffWithMetadata(std::span<const std::uint8_t> tiff, const std::vector<std::uint8_t> &exif,
                                           const std::vector<std::uint8_t> &xmp)
{
    std::vector<std::uint8_t> out(tiff.begin(), tiff.end());
    bool big = false;
    std::size_t ifd = 0;
    const std::vector<TiffEntry> entries = FirstIfd(tiff, big, ifd);
    const std::size_t next = ifd + 2 + 12 * entries.size();
    if (entries.empty() || tiff.size() - next < 4 || tiff.size() > UINT32_MAX / 2)
        return out;
    auto has = [&](std::uint16_t tag) {
        return std::any_of(entries.begin(), entries.end(), [tag](const TiffEntry &e) { return e.tag == tag; });
    };
    // The new entries, with their values (and the EXIF and GPS IFDs) appended.
    std::map<std::uint16_t, std::array<std::uint8_t, 12>> added;
    if (!xmp.empty() && !has(700) && xmp.size() < UINT32_MAX / 2) {
        AlignEven(out);
        std::array<std::uint8_t, 12> entry{};
        Write16(entry, 0, big, 700);
        Write16(entry, 2, big, 1);
        Write32(entry, 4, big, std::uint32_t(xmp.size()));
        Write32(entry, 8, big, std::uint32_t(out.size()));
        out.insert(out.end(), xmp.begin(), xmp.end());
        added[700] = entry;
    }
    bool exifBig = false;
    std::size_t exifIfd = 0;
    const std::vector<TiffEntry> exifEntries = FirstIfd(exif, exifBig, exifIfd);
    IfdMover mover(exif, exifBig, out, big);
    for (const TiffEntry &entry : exifEntries) {
        if (PhotoTag(entry.tag) && !has(entry.tag) && !added.contains(entry.tag)) {
            if (const auto moved = mover.entry(entry, 0))
                added[entry.tag] = *moved;
        }
    }
    if (added.empty() || out.size() > UINT32_MAX / 2)
        return std::vector<std::uint8_t>(tiff.begin(), tiff.end());
    // A new first IFD with every entry in tag order; the old one stays behind, unused.
    std::map<std::uint16_t, std::array<std::uint8_t, 12>> all = added;
    for (const TiffEntry &entry : entries) {
        std::array<std::uint8_t, 12> raw{};
        std::copy_n(tiff.begin() + std::ptrdiff_t(entry.at), 12, raw.begin());
        all[entry.tag] = raw;
    }
    AlignEven(out);
    const std::size_t place = out.size();
    out.resize(place + 2 + 12 * all.size() + 4);
    Write16(out, place, big, std::uint16_t(all.size()));
    std::size_t at = place + 2;
    for (const auto &[tag, entry] : all) {
        std::copy(entry.begin(), entry.end(), out.begin() + std::ptrdiff_t(at));
        at += 12;
    }
    Write32(out, at, big, Read32(tiff, next, big));
    Write32(out, 4, big, std::uint32_t(place));
    return out;
}

}  // namespace veilshot::imaging
