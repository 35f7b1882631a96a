// Which side of the loader's thresholds each sample of a short run lies
// on, as one bit per sample: the search for the level's changes then finds
// the next one by counting bits rather than by testing sample after sample,
// whose exit the processor mispredicts at nearly every change. How the bits
// are found depends on the processor, and the build chooses the file:
// line_sides_sse.cpp compares four samples at once where the compiler
// targets a processor that can, line_sides_portable.cpp one at a time.
// Both give the same bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reader {

// At most this many samples are sorted at a time, one bit each.
constexpr std::size_t kSideRun = 64;

struct LineSides {
  std::uint64_t high = 0;  // bit i: sample i lies above the upper threshold
  std::uint64_t low = 0;   // bit i: sample i lies below the lower threshold
};

// The sides of `count` samples (at most kSideRun), one every `stride`
// floats from `samples`; the bits from `count` on are clear.
LineSides FindLineSides(const float* samples, std::size_t count, std::size_t stride, float lower, float upper);

// The same, one sample at a time: what any processor can do.
inline LineSides FindLineSidesOneByOne(const float* samples, std::size_t count, std::size_t stride, float lower,
                                       float upper) {
  LineSides sides;
  for (std::size_t i = 0; i < count; ++i) {
    const float x = samples[i * stride];
    sides.high |= std::uint64_t{x > upper} << i;
    sides.low |= std::uint64_t{x < lower} << i;
  }
  return sides;
}

}  // namespace reader
