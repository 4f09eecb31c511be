#include "imaging/codecs/rowshrinker.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace veilshot::imaging {

RowShrinker::RowShrinker(QSize from, QSize to, int channels, QImage &target)
    : channels_(std::size_t(channels)), to_(to), target_(target), across_(Spans(from.width(), to.width())),
      down_(Spans(from.height(), to.height())), width_(std::size_t(from.width()) * channels_),
      sums_{std::vector<std::uint32_t>(width_), std::vector<std::uint32_t>(width_)}
{
    // Each input row's share of the output rows it falls in: at most two, as output rows
    // are at least one input row high.
    rows_.resize(std::size_t(from.height()));
    for (std::size_t out = 0; out < down_.size(); ++out) {
        const Span &span = down_[out];
        for (std::size_t i = 0; i < span.weights.size(); ++i) {
            RowShare &share = rows_[span.first + i];
            (share.first ? share.second : share.first) = {int(out), span.weights[i]};
        }
    }
}

namespace {

// Built twice, for processors with AVX2 and for any other, the loader picking the one that
// runs here: the wide steps halve the time of shrinking a photo for the screen. A function of
// this file alone, so that every compiler resolves its clones where it is called.
__attribute__((target_clones("avx2", "default"))) void AddWeighted(std::uint32_t *sums, std::uint32_t weight,
                                                                   const unsigned char *line, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        sums[i] += weight * line[i];
}

}  // namespace

void RowShrinker::add(const unsigned char *line)
{
    // Down first, on whole input rows, where the work runs in wide steps; across once for
    // each output row, on its sums.
    const RowShare &share = rows_[std::size_t(inRow_++)];
    for (const Share &part : {share.first, share.second}) {
        if (part.weight == 0)
            continue;
        AddWeighted(sums_[part.out == outRow_ ? 0 : 1].data(), part.weight, line, width_);
    }
    // An output row is whole once its last input row is in.
    while (outRow_ < to_.height() && inRow_ >= int(down_[std::size_t(outRow_)].first + down_[std::size_t(outRow_)].weights.size())) {
        if (channels_ == 4)
            across<4>(sums_[0].data(), target_.scanLine(outRow_));
        else
            across<1>(sums_[0].data(), target_.scanLine(outRow_));
        std::swap(sums_[0], sums_[1]);
        std::fill(sums_[1].begin(), sums_[1].end(), 0u);
        ++outRow_;
    }
}

// Across: a row of sums (each up to 255 x 256) averaged into the output's columns, whole
// pixels at a time: the four bytes of a pixel are one vector of lanes.
template <std::size_t C>
void RowShrinker::across(const std::uint32_t *sums, unsigned char *out) const
{
    if constexpr (C == 4) {
        using Ints = std::int32_t __attribute__((vector_size(16)));
        using Lanes = float __attribute__((vector_size(16)));
        for (const Span &span : across_) {
            Lanes sum = {};
            const std::uint32_t *in = sums + span.first * 4;
            for (const std::uint16_t weight : span.weights) {
                Ints pixel;
                std::memcpy(&pixel, in, sizeof pixel);
                sum += float(weight) * __builtin_convertvector(pixel, Lanes);
                in += 4;
            }
            const Ints rounded = __builtin_convertvector(sum * (1.0f / 65536.0f) + 0.5f, Ints);
            for (std::size_t k = 0; k < 4; ++k)
                out[k] = static_cast<unsigned char>(rounded[k]);
            out += 4;
        }
    } else {
        for (const Span &span : across_) {
            std::uint32_t sum = 0;
            const std::uint32_t *in = sums + span.first;
            for (const std::uint16_t weight : span.weights)
                sum += std::uint32_t(weight) * *in++;
            *out++ = static_cast<unsigned char>((sum + 32768) >> 16);
        }
    }
}

// For each of `to` output pixels, the input pixels of `from` it covers and their weights.
std::vector<RowShrinker::Span> RowShrinker::Spans(int from, int to)
{
    const double step = double(from) / to;
    std::vector<Span> spans(static_cast<std::size_t>(to));
    for (int out = 0; out < to; ++out) {
        const double start = out * step, end = std::min(double(from), (out + 1) * step);
        Span &span = spans[std::size_t(out)];
        span.first = std::size_t(start);
        // Each pixel's weight is what the part covered up to its end rounds to, less what the
        // pixels before it got: however many pixels share the 256, none is below 0 and together
        // they make exactly 256.
        int given = 0;
        for (std::size_t i = span.first; double(i) < end; ++i) {
            const double covered = std::min(double(i + 1), end) - start;
            const int upTo = double(i + 1) >= end ? 256 : std::clamp(int(std::lround(covered / step * 256)), given, 256);
            span.weights.push_back(std::uint16_t(upTo - given));
            given = upTo;
        }
    }
    return spans;
}

}  // namespace veilshot::imaging
