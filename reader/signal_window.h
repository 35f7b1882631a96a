// The last few cells of one conditioned channel, kept as running sums so
// that the signal can be integrated between any two fractional positions in
// constant time. Integrating over half a cell, rather than trusting single
// samples, is what lets the stages after it read a noisy signal.
#pragma once

#include <cstdint>
#include <vector>

namespace reader {

class SignalWindow {
 public:
  // Keeps at least `framesKept` frames.
  explicit SignalWindow(std::size_t framesKept);

  // Appends `count` samples, one every `stride` floats from `samples`, and
  // raises `peak` to the largest magnitude among them.
  void Append(const float* samples, std::size_t count, std::size_t stride, float& peak);

  // Frames appended so far; frame n lies on [n, n + 1).
  std::int64_t End() const { return end_; }
  // The oldest frame whose sample is still kept.
  std::int64_t Begin() const { return end_ > static_cast<std::int64_t>(mask_) ? end_ - static_cast<std::int64_t>(mask_) : 0; }

  // True when [from, to] can be integrated.
  bool Holds(double from, double to) const {
    return from >= static_cast<double>(Begin()) && to < static_cast<double>(end_);
  }

  // The integral of the signal from `from` to `to` (frames, from <= to or
  // not), both inside the window.
  double Integral(double from, double to) const { return SumUpTo(to) - SumUpTo(from); }

  // The integral over `width` frames before `frame` less that over `width`
  // frames after it: large where the level changes, and blind to any
  // offset or slow drift, so the signal needs no other removal of DC.
  double Change(double frame, double width) const {
    return 2 * SumUpTo(frame) - SumUpTo(frame - width) - SumUpTo(frame + width);
  }

  float Sample(std::int64_t frame) const {
    return samples_[static_cast<std::size_t>(frame) & mask_];
  }

 private:
  double SumUpTo(double position) const {
    const auto whole = static_cast<std::int64_t>(position);
    const double part = position - static_cast<double>(whole);
    const std::size_t at = static_cast<std::size_t>(whole) & mask_;
    return sums_[at] + part * samples_[at];
  }

  std::size_t mask_;
  std::vector<double> sums_;    // sums_[n & mask_]: the sum of samples before frame n
  std::vector<float> samples_;
  std::int64_t end_ = 0;
  double total_ = 0;  // the sum of every sample appended
};

}  // namespace reader
