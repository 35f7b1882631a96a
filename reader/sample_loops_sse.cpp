// The loops over every sample four samples at a time, for x86 processors
// with SSE2 (every x86-64 has it). Mono and stereo files, the ones people
// keep, go through the vector forms; other layouts, and runs shorter than
// the vectors', the portable ones.
#include <emmintrin.h>

#include "reader/sample_loops.h"

namespace reader {

namespace {

// Four samples' sides, placed at bit `at`.
struct SideBits {
  __m128 lower;
  __m128 upper;

  void Add(__m128 four, std::size_t at, LineSides& sides) const {
    sides.high |= std::uint64_t(unsigned(_mm_movemask_ps(_mm_cmpgt_ps(four, upper)))) << at;
    sides.low |= std::uint64_t(unsigned(_mm_movemask_ps(_mm_cmplt_ps(four, lower)))) << at;
  }
};

// The four lanes' running sums: each lane plus the lane before, then plus
// the two before, as RunningSums::GroupSums pairs them.
__m128 LaneSums(__m128 four) {
  four = _mm_add_ps(four, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(four), 4)));
  return _mm_add_ps(four, _mm_castsi128_ps(_mm_slli_si128(_mm_castps_si128(four), 8)));
}

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

double StoreGroupsOfEight(const float* samples, std::size_t count, std::size_t stride, double total, double* out) {
  if (stride != 1) return StoreGroupsOfEightOneByOne(samples, count, stride, total, out);
  std::size_t i = 0;
  __m128d sum = _mm_set1_pd(total);  // the total in both lanes
  for (; i + 8 <= count; i += 8) {
    const __m128 p = LaneSums(_mm_loadu_ps(samples + i));
    const __m128 q = _mm_add_ps(LaneSums(_mm_loadu_ps(samples + i + 4)), _mm_shuffle_ps(p, p, _MM_SHUFFLE(3, 3, 3, 3)));
    _mm_storeu_pd(out + i, _mm_add_pd(sum, _mm_cvtps_pd(p)));
    _mm_storeu_pd(out + i + 2, _mm_add_pd(sum, _mm_cvtps_pd(_mm_movehl_ps(p, p))));
    _mm_storeu_pd(out + i + 4, _mm_add_pd(sum, _mm_cvtps_pd(q)));
    const __m128d last = _mm_add_pd(sum, _mm_cvtps_pd(_mm_movehl_ps(q, q)));
    _mm_storeu_pd(out + i + 6, last);
    sum = _mm_unpackhi_pd(last, last);
  }
  return _mm_cvtsd_f64(sum);
}

}  // namespace reader
