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

// The running sums. The sums are taken in groups of eight samples: within
// a group in floats, paired as four vector lanes pair them; the total, in
// doubles, moves on once per group. That one chain of additions through
// every sample is otherwise what bounds the speed of reading. Groups are
// counted from the first sample ever taken, whatever the blocks the samples
// come in, so a recording read in blocks of any size gives the same sums
// to the bit. A 16-bit sample is exact in a float, and so is a sum of eight
// of them, so for those the grouping changes nothing at all.
struct RunningSums {
  double total = 0;       // the sum of every sample before the group under way
  float group[8] = {};    // the group under way, its first `filled` samples
  std::size_t filled = 0;

  // The sums after each of a group's eight samples, paired as the lanes
  // pair them: each four adds itself moved one lane on, then two; the
  // second four adds the first four's sum. The sum after sample k depends
  // on samples 0 to k alone.
  static void GroupSums(const float* x, float* sums) {
    const float ab = x[0] + x[1];
    sums[0] = x[0];
    sums[1] = ab;
    sums[2] = (x[1] + x[2]) + x[0];
    sums[3] = (x[2] + x[3]) + ab;
    const float ef = x[4] + x[5];
    sums[4] = x[4] + sums[3];
    sums[5] = ef + sums[3];
    sums[6] = ((x[5] + x[6]) + x[4]) + sums[3];
    sums[7] = ((x[6] + x[7]) + ef) + sums[3];
  }

  // Takes one sample and returns the sum after it: for the few samples of
  // a group split between two blocks.
  double Take(float sample) {
    group[filled] = sample;
    float sums[8];
    GroupSums(group, sums);
    const double sum = total + sums[filled];
    if (++filled == 8) {
      total = sum;
      filled = 0;
    }
    return sum;
  }
};

// The whole groups of eight, as the processor runs them: writes the sums
// after `count` samples (a multiple of eight), from `total` on, and returns
// the total after the last.
double StoreGroupsOfEight(const float* samples, std::size_t count, std::size_t stride, double total, double* out);

// The same, one group at a time: what any processor can do.
inline double StoreGroupsOfEightOneByOne(const float* samples, std::size_t count, std::size_t stride, double total,
                                         double* out) {
  for (std::size_t i = 0; i < count; i += 8) {
    float x[8];
    float sums[8];
    for (std::size_t k = 0; k < 8; ++k) x[k] = samples[(i + k) * stride];
    RunningSums::GroupSums(x, sums);
    for (std::size_t k = 0; k < 8; ++k) out[i + k] = total + sums[k];
    total += sums[7];
  }
  return total;
}

// Writes the sum after each of `count` samples, one every `stride` floats
// from `samples`, to `out`, and moves `sums` on past them: the group under
// way one sample at a time, then whole groups as the processor runs them,
// then the start of the next group.
inline void StoreRunningSums(RunningSums& sums, const float* samples, std::size_t count, std::size_t stride,
                             double* out) {
  std::size_t i = 0;
  for (; sums.filled != 0 && i < count; ++i) out[i] = sums.Take(samples[i * stride]);
  const std::size_t whole = (count - i) / 8 * 8;
  sums.total = StoreGroupsOfEight(samples + i * stride, whole, stride, sums.total, out + i);
  for (i += whole; i < count; ++i) out[i] = sums.Take(samples[i * stride]);
}

}  // namespace reader
