#include "imaging/metadata/carrying.h"

#include "imaging/metadata/bytes.h"
#include "imaging/metadata/structure.h"

#include <array>
#include <functional>
#include <map>
#include <optional>

namespace veilshot::imaging {

namespace {

// The entries of the TIFF's first IFD, in order, with its byte order and place; empty when it
// does not fit.
std::vector<TiffEntry> FirstIfd(std::span<const std::uint8_t> tiff, bool &big, std::size_t &ifd)
{
    const auto head = TiffHeadOf(tiff);
    if (!head)
        return {};
    big = head->big;
    ifd = head->firstIfd;
    return IfdEntries(tiff, ifd, big);
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
// turned to the target's order, and the IFDs an entry points to come along. The target grows by
// at most `most` bytes: entries whose values would pass that are left behind.
class IfdMover {
public:
    IfdMover(std::span<const std::uint8_t> from, bool fromBig, std::vector<std::uint8_t> &to, bool toBig, std::size_t most)
        : from_(from), fromBig_(fromBig), to_(to), toBig_(toBig), end_(to.size() + most)
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
            if (!fits(length))
                return std::nullopt;
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
        if (depth > 3)
            return 0;
        std::vector<std::array<std::uint8_t, 12>> entries;
        for (const TiffEntry &source : IfdEntries(from_, offset, fromBig_)) {
            if (keep(source.tag)) {
                if (const auto moved = entry(source, depth))
                    entries.push_back(*moved);
            }
        }
        if (entries.empty() || !fits(2 + 12 * entries.size() + 4))
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
    // Whether `bytes` more, after a byte to align them where one is needed, stay within the end.
    bool fits(std::size_t bytes) const
    {
        const std::size_t from = to_.size() + to_.size() % 2;
        return from <= end_ && end_ - from >= bytes;
    }

    static constexpr std::size_t MostBytes = std::size_t(64) << 20;
    std::span<const std::uint8_t> from_;
    bool fromBig_;
    std::vector<std::uint8_t> &to_;
    bool toBig_;
    std::size_t end_;  // the size the target may grow to
};

}  // namespace

void MakeExifUpright(std::span<std::uint8_t> tiff)
{
    const auto head = TiffHeadOf(tiff);
    if (!head || head->firstIfd > tiff.size() || tiff.size() - head->firstIfd < 2)
        return;
    const std::vector<TiffEntry> entries = IfdEntries(tiff, head->firstIfd, head->big);
    if (entries.size() != Read16(tiff, head->firstIfd, head->big))
        return;  // they do not fit
    for (const TiffEntry &entry : entries) {
        if (entry.tag == 0x0112 && entry.type == 3)
            Write16(tiff, entry.at + 8, head->big, 1);
    }
    const std::size_t next = head->firstIfd + 2 + 12 * entries.size();
    if (tiff.size() - next >= 4)
        Write32(tiff, next, head->big, 0);
}

void ReadTiff(std::span<const std::uint8_t> tiff, CarriedMetadata &found)
{
    Allowance allowance(tiff.size());
    bool big = false;
    std::size_t ifd = 0;
    for (const TiffEntry &entry : FirstIfd(tiff, big, ifd)) {
        if (entry.tag == 259 && entry.type == 3)
            found.tiffCompression = Read16(tiff, entry.at + 8, big);
        else if (entry.tag == 34675 && found.icc.empty())
            found.icc = allowance.taken(EntryBytes(tiff, entry, big));
        else if (entry.tag == 700 && found.xmp.empty())
            found.xmp = allowance.taken(EntryBytes(tiff, entry, big));
    }
    std::vector<std::uint8_t> exif = {'I', 'I', 42, 0, 0, 0, 0, 0};
    if (allowance.left() < exif.size())
        return;
    if (const std::uint32_t first = IfdMover(tiff, big, exif, false, allowance.left() - exif.size()).ifd(ifd, 0, PhotoTag)) {
        Write32(exif, 4, false, first);
        found.exif = std::move(exif);
    }
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
    // Each value once, with a byte to align it: a well-formed EXIF block never needs more.
    IfdMover mover(exif, exifBig, out, big, std::min(MostCarried, 2 * exif.size()));
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
