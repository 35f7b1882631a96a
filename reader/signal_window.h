// The last few cells of one channel, kept as running sums so that the
// signal can be integrated between any two fractional positions in constant
// time. Integrating over half a cell, rather than trusting single samples,
// is what lets the stages after it read a noisy signal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "reader/sample_loops.h"

namespace reader {

class SignalWindow {
 public:
  // Keeps at least `framesKept` frames.
  explicit SignalWindow(std::size_t framesKept);

  // Appends `count` samples, one every `stride` floats from `samples`.
  void Append(const float* samples, std::size_t count, std::size_t stride);

  // Frames appended so far; frame n lies on [n, n + 1).
  std::int64_t End() const { return end_; }
  // The oldest frame still kept.
  std::int64_t Begin() const {
    const auto kept = static_cast<std::int64_t>(mask_);
    return end_ > kept ? end_ - kept : 0;
  }

  // True when the signal can be integrated anywhere in [from, to].
  bool Holds(double from, double to) const {
    return from >= static_cast<double>(Begin()) && to < static_cast<double>(end_);
  }

  // The integral of the signal from `from` to `to`, both inside the window.
  double Integral(double from, double to) const { return SumUpTo(to) - SumUpTo(from); }

  // The integrals over `width` frames before `frame` and after it.
  struct Halves {
    double before;
    double after;
  };
  Halves Around(double frame, double width) const {
    const double middle = SumUpTo(frame);
    return {middle - SumUpTo(frame - width), SumUpTo(frame + width) - middle};
  }

  // The integral before `frame` less that after it: large where the level
  // changes, and blind to any offset or slow drift, so the signal needs no
  // other removal of DC.
  double Change(double frame, double width) const {
    const Halves halves = Around(frame, width);
    return halves.before - halves.after;
  }

  // The largest magnitude from `from` on, as far back as the window goes.
  // Taken only when asked: a level meter wants it, reading a file does not.
  double PeakSince(std::int64_t from) const;

  double Sample(std::int64_t frame) const {
    return sums_[static_cast<std::size_t>(frame + 1) & mask_] -
           sums_[static_cast<std::size_t>(frame) & mask_];
  }

 private:
  double SumUpTo(double position) const {
    const auto whole = static_cast<std::int64_t>(position);
    const double before = sums_[static_cast<std::size_t>(whole) & mask_];
    const double after = sums_[static_cast<std::size_t>(whole + 1) & mask_];
    return before + (position - static_cast<double>(whole)) * (after - before);
  }

  std::size_t mask_;
  std::vector<double> sums_;  // sums_[n & mask_]: the sum of the samples before frame n
  std::int64_t end_ = 0;
  RunningSums running_;       // where the sums of every sample appended stand
};

}  // namespace reader
