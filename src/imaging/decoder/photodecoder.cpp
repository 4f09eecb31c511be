#include "imaging/decoder/photodecoder.h"

#include "imaging/decoder/photodecoders.h"

namespace veilshot::imaging::decoder {

namespace {

bool AnswerPhoto(const Photo &photo)
{
    if (!photo.ok())
        return AnswerRefusal(photo.refusal, photo.fullWidth, photo.fullHeight);
    Answer answer;
    answer.layout = std::uint32_t(AnswerLayout(photo));
    answer.width = photo.width;
    answer.height = photo.height;
    answer.fullWidth = photo.fullWidth;
    answer.fullHeight = photo.fullHeight;
    answer.colours = photo.colours;
    return AnswerPixels(answer, [&](int y, std::uint8_t *to) { AnswerLine(photo, y, to); }, photo.profile);
}

}  // namespace

void RunPhoto(int argc, char **argv, const ConfinedHook &confined)
{
    const Request request = Begin(argc, argv, int(PhotoFormat::Heif), int(PhotoFormat::Jxl));
    // Loaded while the library folders can be read; afterwards the libraries read nothing but
    // the input.
    PrepareFor(PhotoFormat(request.format));
    const std::span<const std::uint8_t> bytes = ConfinedInput({}, confined);
    switch (PhotoFormat(request.format)) {
    case PhotoFormat::Heif:
    case PhotoFormat::Avif:
        End(AnswerPhoto(DecodeHeif(bytes, request.boxed() ? std::optional(Box{request.boxWidth, request.boxHeight})
                                                          : std::nullopt)));
    case PhotoFormat::Jxl: End(AnswerPhoto(DecodeJxl(bytes)));
    case PhotoFormat::WebP: End(AnswerPhoto(DecodeWebp(bytes)));
    }
    End(false);
}

}  // namespace veilshot::imaging::decoder
