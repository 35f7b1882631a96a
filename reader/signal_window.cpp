// The ring of running sums behind SignalWindow.
#include "reader/signal_window.h"

#include <algorithm>
#include <cmath>

#include "reader/sample_loops.h"

namespace reader {

namespace {

std::size_t PowerOfTwoAtLeast(std::size_t count) {
  std::size_t size = 1;
  while (size < count) size <<= 1;
  return size;
}

}  // namespace

SignalWindow::SignalWindow(std::size_t framesKept)
    : mask_(PowerOfTwoAtLeast(framesKept + 2) - 1), sums_(mask_ + 1) {}

void SignalWindow::Append(const float* samples, std::size_t count, std::size_t stride) {
  while (count > 0) {
    // The sums go to the slots after the current one, up to the ring's end.
    const std::size_t at = static_cast<std::size_t>(end_) & mask_;
    const std::size_t run = std::min(count, at == mask_ ? std::size_t{1} : mask_ - at);
    double* const out = at == mask_ ? sums_.data() : sums_.data() + at + 1;
    StoreRunningSums(running_, samples, run, stride, out);
    samples += run * stride;
    count -= run;
    end_ += static_cast<std::int64_t>(run);
  }
}

double SignalWindow::PeakSince(std::int64_t from) const {
  double peak = 0;
  for (std::int64_t frame = std::max(from, Begin()); frame < end_; ++frame) {
    peak = std::max(peak, std::fabs(Sample(frame)));
  }
  return peak;
}

}  // namespace reader
