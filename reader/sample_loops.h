// The two loops over every sample that bound the speed of reading, written
// for the processor: the loader's view of the line, and the running sums
// the tape decoder integrates. The build chooses the file:
// sample_loops_sse.cpp works on four samples at once where the compiler
// targets an x86 processor with SSE2 (every x86-64 has it),
// sample_loops_portable.cpp one at a time elsewhere. Both give the same
// results to the bit, whatever the processor: the portable forms below
// round as the vector ones do.
#pragma once

#include <cstddef>
#include <cstdint>

namespace reader {

// The loader's view of the line: which side of its thresholds each sample
// of a short run lies on, one bit per sample. The search for the level's
// changes then finds them all by counting bits, rather than by testing
// sample after sample, whose exit the processor mispredicts at nearly
// every change.

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

// The running sums: writes the sum after each of `count` samples, one
// every `stride` floats, to `out`, from `total` on, and returns the total
// after the last.
double StoreRunningSums(const float* samples, std::size_t count, std::size_t stride, double total, double* out);

// The same one sample at a time, in groups of eight. Within a group the
// sums are taken in floats, paired as four lanes would pair them; the
// total, in doubles, moves on once per group. That one chain of additions
// through every sample is otherwise what bounds the speed of reading. A
// 16-bit sample is exact in a float, and so is a sum of eight of them, so
// for those the grouping changes nothing at all.
inline double StoreRunningSumsInGroups(const float* samples, std::size_t count, std::size_t stride, double total,
                                       double* out) {
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8, samples += 8 * stride) {
    float x[8];
    for (std::size_t k = 0; k < 8; ++k) x[k] = samples[k * stride];
    // Each four as a vector adds itself moved one lane on, then two.
    const float ab = x[0] + x[1];
    const float p[4] = {x[0], ab, (x[1] + x[2]) + x[0], (x[2] + x[3]) + ab};
    const float ef = x[4] + x[5];
    const float q[4] = {x[4] + p[3], ef + p[3], ((x[5] + x[6]) + x[4]) + p[3], ((x[6] + x[7]) + ef) + p[3]};
    for (std::size_t k = 0; k < 4; ++k) {
      out[i + k] = total + p[k];
      out[i + 4 + k] = total + q[k];
    }
    total += q[3];
  }
  for (; i < count; ++i, samples += stride) {
    total += *samples;
    out[i] = total;
  }
  return total;
}

}  // namespace reader
