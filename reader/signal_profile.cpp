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
  // A bucket's stretch at a time: the loop over its frames carries the
  // bucket's low and high in locals rather than through memory.
  for (std::size_t frame = 0; frame < frames;) {
    if (buckets_.empty() || inLast_ == framesPerBucket_) {
      if (buckets_.size() == capacity_) MergePairs();
      const float first = interleaved[frame * width + from];
      buckets_.push_back({first, first});
      inLast_ = 0;
    }
    const std::size_t stretch =
        std::min<std::size_t>(frames - frame, static_cast<std::size_t>(framesPerBucket_ - inLast_));
    LevelBucket& last = buckets_.back();
    float low = last.low;
    float high = last.high;
    for (const float* at = interleaved + frame * width + from, *end = at + stretch * width; at != end; at += width) {
      for (std::size_t c = 0; c < count; ++c) {
        low = std::min(low, at[c]);
        high = std::max(high, at[c]);
      }
    }
    last = {low, high};
    inLast_ += static_cast<std::int64_t>(stretch);
    frames_ += static_cast<std::int64_t>(stretch);
    frame += stretch;
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
