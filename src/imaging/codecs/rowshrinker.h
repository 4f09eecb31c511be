#pragma once
// Shrinks rows of pixels to a smaller size as they come from a decoder, each pixel of the result
// the average of the area it covers (the box filter of smooth shrinking), so a picture decoded
// at one size is never held whole beside the shrunk one. Weights are in 1/256ths and each output
// pixel's add up to exactly 256 across and down, so a flat field stays exactly as it was.

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veilshot::imaging {

class RowShrinker {
public:
    // Rows of `from` with `channels` bytes a pixel (1 or 4) into `target`, of size `to` (no
    // larger than `from` either way) and of the same bytes a pixel.
    RowShrinker(QSize from, QSize to, int channels, QImage &target);

    // The next input row, `from`'s width times the channels bytes; an output row is written as
    // soon as its last input row is in.
    void add(const unsigned char *line);

private:
    struct Span {
        std::size_t first = 0;  // the first input pixel it covers
        std::vector<std::uint16_t> weights;
    };
    struct Share {
        int out = -1;
        std::uint16_t weight = 0;
        explicit operator bool() const { return weight != 0; }
    };
    struct RowShare {
        Share first, second;
    };

    template <std::size_t C>
    void across(const std::uint32_t *sums, unsigned char *out) const;
    static std::vector<Span> Spans(int from, int to);

    std::size_t channels_;
    QSize to_;
    QImage &target_;
    std::vector<Span> across_, down_;
    std::vector<RowShare> rows_;
    std::size_t width_;  // input bytes a row
    std::vector<std::uint32_t> sums_[2];
    int inRow_ = 0, outRow_ = 0;
};

}  // namespace veilshot::imaging
