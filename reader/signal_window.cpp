// The ring of running sums behind SignalWindow.
#include "reader/signal_window.h"

#include <algorithm>
#include <cmath>

namespace reader {

namespace {

std::size_t PowerOfTwoAtLeast(std::size_t count) {
  std::size_t size = 1;
  while (size < count) size <<= 1;
  return size;
}

}  // namespace

SignalWindow::SignalWindow(std::size_t framesKept)
    : mask_(PowerOfTwoAtLeast(framesKept + 2) - 1),
      sums_(mask_ + 1, 0.0),
      samples_(mask_ + 1, 0.0f) {}

void SignalWindow::Append(const float* samples, std::size_t count, std::size_t stride,
                          float& peak) {
  // Locals, so the loop keeps everything in registers. The running total is
  // advanced once per four samples, from partial sums that do not wait for
  // it: the one long chain of additions is what bounds the speed here.
  std::size_t at = static_cast<std::size_t>(end_) & mask_;
  double total = total_;
  float largest = peak;
  float* const kept = samples_.data();
  double* const sums = sums_.data();
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4, samples += 4 * stride) {
    const float a = samples[0];
    const float b = samples[stride];
    const float c = samples[2 * stride];
    const float d = samples[3 * stride];
    largest = std::max(largest, std::max(std::max(std::fabs(a), std::fabs(b)),
                                         std::max(std::fabs(c), std::fabs(d))));
    const float ab = a + b;
    const float abc = ab + c;
    kept[at] = a;
    kept[(at + 1) & mask_] = b;
    kept[(at + 2) & mask_] = c;
    kept[(at + 3) & mask_] = d;
    sums[(at + 1) & mask_] = total + a;
    sums[(at + 2) & mask_] = total + ab;
    sums[(at + 3) & mask_] = total + abc;
    total += abc + d;
    at = (at + 4) & mask_;
    sums[at] = total;
  }
  for (; i < count; ++i, samples += stride) {
    const float a = *samples;
    largest = std::max(largest, std::fabs(a));
    kept[at] = a;
    total += a;
    at = (at + 1) & mask_;
    sums[at] = total;
  }
  total_ = total;
  end_ += static_cast<std::int64_t>(count);
  peak = largest;
}

}  // namespace reader
