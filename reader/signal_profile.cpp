// The level profile: min and max per bucket, merged pairwise when full.
#include "reader/signal_profile.h"

#include <algorithm>

namespace reader {

SignalProfile::SignalProfile(std::size_t buckets) : capacity_(std::max<std::size_t>(2, (buckets + 1) / 2 * 2)) {
  buckets_.reserve(capacity_);
}

void SignalProfile::Feed(const float* interleaved, std::size_t frames, int channels, int channel) {
  const std::size_t width = channels > 0 ? static_cast<std::size_t>(channels) : 1;
  const bool one = channel >= 0 && static_cast<std::size_t>(channel) < width;
  const std::size_t from = one ? static_cast<std::size_t>(channel) : 0;
  const std::size_t count = one ? 1 : width;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const float* first = interleaved + frame * width + from;
    const auto [low, high] = std::minmax_element(first, first + count);
    if (buckets_.empty() || inLast_ == framesPerBucket_) {
      if (buckets_.size() == capacity_) MergePairs();
      buckets_.push_back({*low, *high});
      inLast_ = 1;
    } else {
      LevelBucket& last = buckets_.back();
      last.low = std::min(last.low, *low);
      last.high = std::max(last.high, *high);
      ++inLast_;
    }
    ++frames_;
  }
}

// Called only when every bucket is full, so the merged ones are full too.
void SignalProfile::MergePairs() {
  for (std::size_t i = 0; i < buckets_.size() / 2; ++i) {
    const LevelBucket& a = buckets_[2 * i];
    const LevelBucket& b = buckets_[2 * i + 1];
    buckets_[i] = {std::min(a.low, b.low), std::max(a.high, b.high)};
  }
  buckets_.resize(buckets_.size() / 2);
  framesPerBucket_ *= 2;
  inLast_ = framesPerBucket_;
}

}  // namespace reader
