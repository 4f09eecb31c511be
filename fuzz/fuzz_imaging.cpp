// Any bytes through the imaging library's decode from memory, as every window decodes a photo:
// full size, and reduced for a box (the path thumbnails and the shown photo take). The format
// is recognised from the bytes; the seed corpus holds one photo of every format read. The
// photo decoder's formats are also decoded here, in this process, so that the fuzzer sees into
// their libraries.

#include "fuzz/fuzzsupport.h"
#include "imaging/decoder/photodecoders.h"
#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <QString>

#include <cstdlib>
#include <span>
#include <vector>

using namespace veilshot;

namespace {

// Every line of a decoded photo brought to its answer's layout, as the photo decoder does.
void Answered(const imaging::decoder::Photo &photo)
{
    if (!photo.ok())
        return;
    std::vector<std::uint8_t> line(imaging::decoder::AnswerLineBytes(
        photo.width, imaging::decoder::BitsPerPixel(imaging::decoder::AnswerLayout(photo))));
    for (int y = 0; y < photo.height; ++y)
        imaging::decoder::AnswerLine(photo, y, line.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::StartImaging(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const QString name = QStringLiteral("fuzz input");
    imaging::DetectFormat(bytes);
    imaging::IccProfileOf(imaging::ReadJpegMetadata(bytes));  // the metadata a JPEG carries over
    const imaging::Picture full = imaging::DecodeMemory(bytes, name);
    if (!full.ok() && full.error.isEmpty())
        std::abort();  // a failure must say why
    const imaging::Picture reduced = imaging::DecodeMemory(bytes, name, QSize(100, 100));
    if (reduced.ok() && full.ok() && reduced.format != full.format)
        std::abort();
    switch (imaging::DetectFormat(bytes)) {
    case imaging::Format::Heif:
    case imaging::Format::Avif:
        Answered(imaging::decoder::DecodeHeif(bytes, std::nullopt));
        Answered(imaging::decoder::DecodeHeif(bytes, imaging::decoder::Box{100, 100}));
        break;
    case imaging::Format::Jxl: Answered(imaging::decoder::DecodeJxl(bytes)); break;
    case imaging::Format::WebP: Answered(imaging::decoder::DecodeWebp(bytes)); break;
    default: break;
    }
    return 0;
}
