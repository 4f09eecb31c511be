// Any bytes through the decoder process's own metafile drawing (EMF and WMF to SVG by their
// libraries, then drawn by QtSvg), in this process: the sanitizers see inside the converters
// and the fuzzer learns from their branches, which it cannot when they run in the confined
// process. Each input is drawn for a thumbnail's box and at its own size, the latter under a
// smaller pixel budget than the decoder's so that a run is not spent filling huge pictures.

#include "fuzz/fuzzsupport.h"
#include "imaging/decoder/metafile.h"
#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>
#include <span>

using namespace veilshot;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // As the decoder starts before drawing a metafile: Qt, offscreen, with its fonts.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static const auto application = std::make_unique<QGuiApplication>(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const imaging::Format format = imaging::DetectFormat(bytes);
    if (format != imaging::Format::Emf && format != imaging::Format::Wmf)
        return 0;  // the program never hands the decoder anything else as a metafile
    const bool enhanced = format == imaging::Format::Emf;
    for (const auto &[box, budget] : {std::pair{QSize(100, 100), imaging::MaxPixels}, std::pair{QSize(), qint64(1) << 22}}) {
        imaging::Refusal refusal = imaging::Refusal::None;
        const QImage image = imaging::RenderMetafile(bytes, enhanced, box, budget, &refusal);
        if (image.isNull() == (refusal == imaging::Refusal::None))
            std::abort();  // a picture, or the reason there is none
        if (!image.isNull() && (image.width() > 100 || image.height() > 100) && box.isValid())
            std::abort();  // a thumbnail larger than its box
    }
    return 0;
}
