// The sides of the line four samples at a time, for x86 processors with
// SSE (every x86-64 has it). A full run of one or two channels, the files
// people keep, goes through the vector compare; anything else one sample
// at a time.
#include <xmmintrin.h>

#include "reader/line_sides.h"

namespace reader {

namespace {

// Four bits from four samples, placed at bit `at`.
struct SideBits {
  __m128 lower;
  __m128 upper;

  void Add(__m128 four, std::size_t at, LineSides& sides) const {
    sides.high |= std::uint64_t(unsigned(_mm_movemask_ps(_mm_cmpgt_ps(four, upper)))) << at;
    sides.low |= std::uint64_t(unsigned(_mm_movemask_ps(_mm_cmplt_ps(four, lower)))) << at;
  }
};

}  // namespace

LineSides FindLineSides(const float* samples, std::size_t count, std::size_t stride, float lower, float upper) {
  if (count != kSideRun || stride > 2) return FindLineSidesOneByOne(samples, count, stride, lower, upper);
  const SideBits bits{_mm_set1_ps(lower), _mm_set1_ps(upper)};
  LineSides sides;
  if (stride == 1) {
    for (std::size_t i = 0; i < kSideRun; i += 4) bits.Add(_mm_loadu_ps(samples + i), i, sides);
  } else {
    // Four frames' samples from two loads, the second one float short of
    // the next four: the last frame's other channel may lie past the end.
    for (std::size_t i = 0; i < kSideRun; i += 4) {
      const __m128 a = _mm_loadu_ps(samples + 2 * i);      // x0 . x1 .
      const __m128 b = _mm_loadu_ps(samples + 2 * i + 3);  // . x2 . x3
      bits.Add(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 2, 0)), i, sides);
    }
  }
  return sides;
}

}  // namespace reader
