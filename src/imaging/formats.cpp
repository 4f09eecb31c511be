// Recognising a picture's format from its first bytes, whatever its name says.

#include "imaging/imaging.h"

#include "imaging/metadata/bytes.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <iterator>

namespace veilshot::imaging {

namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

bool BrandIsAvif(std::span<const std::uint8_t> brand)
{
    return StartsWith(brand, {'a', 'v', 'i', 'f'}) || StartsWith(brand, {'a', 'v', 'i', 's'});
}

bool BrandIsHeif(std::span<const std::uint8_t> brand)
{
    static constexpr const char *brands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis", "hevm", "hevs",
                                             "mif1", "msf1", "mif2"};
    return std::any_of(std::begin(brands), std::end(brands),
                       [&](const char *known) { return std::memcmp(brand.data(), known, 4) == 0; });
}

// An ISO base media file whose file-type box names a HEIF brand: AVIF when one of its brands
// is AVIF's, else HEIF (HEIC among them).
Format HeifFormat(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 16 || !std::equal(bytes.begin() + 4, bytes.begin() + 8, "ftyp"))
        return Format::Unknown;
    const std::uint32_t boxSize = Be32(bytes, 0);
    const std::size_t end = std::min<std::size_t>(std::max<std::uint32_t>(boxSize, 16), bytes.size());
    bool heif = false;
    // The major brand at 8, the minor version at 12, the compatible brands from 16.
    for (std::size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        const auto brand = bytes.subspan(at, 4);
        if (BrandIsAvif(brand))
            return Format::Avif;
        heif = heif || BrandIsHeif(brand);
    }
    return heif ? Format::Heif : Format::Unknown;
}

}  // namespace

Format DetectFormat(std::span<const std::uint8_t> bytes)
{
    if (StartsWith(bytes, {0xFF, 0xD8, 0xFF}))
        return Format::Jpeg;
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}))
        return Format::Png;
    if (StartsWith(bytes, {'G', 'I', 'F', '8', '7', 'a'}) || StartsWith(bytes, {'G', 'I', 'F', '8', '9', 'a'}))
        return Format::Gif;
    if (StartsWith(bytes, {'I', 'I', 0x2A, 0x00}) || StartsWith(bytes, {'M', 'M', 0x00, 0x2A}))
        return Format::Tiff;
    if (StartsWith(bytes, {'B', 'M'}) && bytes.size() >= 26)
        return Format::Bmp;
    if (StartsWith(bytes, {0x00, 0x00, 0x01, 0x00}) && bytes.size() >= 22)
        return Format::Ico;
    // EMF: a header record (type 1) whose signature " EMF" stands at offset 40.
    if (bytes.size() >= 88 && Le32(bytes, 0) == 1 && Le32(bytes, 40) == 0x464D4520)
        return Format::Emf;
    // WMF: the placeable header's key, or a plain header of 9 words in memory or on disk.
    if (StartsWith(bytes, {0xD7, 0xCD, 0xC6, 0x9A}) ||
        ((StartsWith(bytes, {0x01, 0x00, 0x09, 0x00}) || StartsWith(bytes, {0x02, 0x00, 0x09, 0x00})) &&
         bytes.size() >= 18))
        return Format::Wmf;
    if (StartsWith(bytes, {'R', 'I', 'F', 'F'}) && bytes.size() >= 16 && std::equal(bytes.begin() + 8, bytes.begin() + 12, "WEBP"))
        return Format::WebP;
    // JPEG XL: a bare codestream, or the container's signature box.
    if (StartsWith(bytes, {0xFF, 0x0A}) ||
        StartsWith(bytes, {0x00, 0x00, 0x00, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A}))
        return Format::Jxl;
    return HeifFormat(bytes);
}

}  // namespace veilshot::imaging
