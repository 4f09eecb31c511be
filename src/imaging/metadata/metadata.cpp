#include "imaging/metadata/metadata.h"

#include "imaging/metadata/bytes.h"
#include "imaging/metadata/carrying.h"
#include "imaging/metadata/structure.h"

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
                sum += precision ? long(Read16(data, at + 1 + 2 * i, true)) : data[at + 1 + i];
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

// zlib data inflated, or empty when it is damaged or would pass `most` bytes.
std::vector<std::uint8_t> Inflated(std::span<const std::uint8_t> data, std::size_t most)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    std::vector<std::uint8_t> out;
    std::array<std::uint8_t, 16384> chunk{};
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = uInt(std::min<std::size_t>(data.size(), UINT32_MAX));
    int status = Z_OK;
    while (status == Z_OK && out.size() <= most) {
        z.next_out = chunk.data();
        z.avail_out = uInt(chunk.size());
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk.begin(), chunk.end() - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && out.size() <= most ? out : std::vector<std::uint8_t>{};
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
    Allowance allowance(png.size());
    for (const auto &[type, data] : PngChunksOf(png).chunks) {
        if (StartsWith(type, "iCCP") && found.icc.empty()) {
            const std::size_t name = FieldEnd(data, 0);
            if (name != std::string_view::npos && data.size() > name + 2 && data[name + 1] == 0)
                found.icc = allowance.taken(Inflated(data.subspan(name + 2), allowance.inflatedLeft()), data.size());
        } else if (StartsWith(type, "eXIf") && found.exif.empty() && allowance.take(data.size())) {
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
            found.xmp = compressed ? allowance.taken(Inflated(text, allowance.inflatedLeft()), text.size())
                                   : allowance.taken(std::vector<std::uint8_t>(text.begin(), text.end()));
        }
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
    Allowance allowance(jpeg.size());
    bool profileLeft = false;  // a chunk of the profile passed the allowance
    for (const auto &[marker, at, data] : JpegSegments(jpeg)) {
        if (Carried(marker, data) && !allowance.take(4 + data.size())) {
            profileLeft = profileLeft || (marker == App2 && StartsWith(data, IccHead));
        } else if (Carried(marker, data)) {
            std::vector<std::uint8_t> segment(jpeg.begin() + std::ptrdiff_t(at), jpeg.begin() + std::ptrdiff_t(at + 4 + data.size()));
            if (marker == App1 && StartsWith(data, std::string_view("Exif\0\0", 6)))
                MakeExifUpright(std::span<std::uint8_t>(segment).subspan(10));
            found.segments.push_back(std::move(segment));
        } else if (marker == Dqt && found.quality == 0) {
            found.quality = QualityOfTables(data);
        } else if (marker >= 0xC0 && marker <= 0xC2) {
            found.subsampling = SubsamplingOfFrame(data);
        }
    }
    // Part of a profile would describe the pixels wrongly: all of it goes, or none.
    if (profileLeft) {
        std::erase_if(found.segments,
                      [](const auto &segment) { return segment[1] == App2 && StartsWith(std::span(segment).subspan(4), IccHead); });
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
    const std::vector<JpegSegment> present = JpegSegments(jpeg);
    const std::size_t at = !present.empty() && present.front().at == 2 && present.front().marker == App0 ? present.front().end()
                                                                                                     : std::min<std::size_t>(2, jpeg.size());
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

}  // namespace veilshot::imaging
