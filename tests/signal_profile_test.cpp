// The level profile: whatever the bucket count, block sizes and channel
// chosen, each bucket holds exactly the lowest and highest sample of the
// frames it covers, and the number of buckets never passes its bound.
#include "reader/signal_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

struct Case {
  std::size_t buckets;
  std::size_t frames;
  std::size_t block;
  int channels;
  int channel;  // -1: all
};

// A signal whose level changes from frame to frame and channel to channel,
// with lone spikes a merge must not lose.
float Sample(std::size_t frame, int channel) {
  float value = static_cast<float>(std::sin(static_cast<double>(frame) * 0.013 + channel) * (0.2 + 0.1 * channel));
  if (frame % 977 == static_cast<std::size_t>(channel) * 5) value = channel == 0 ? 0.95f : -0.9f;
  return value;
}

}  // namespace

TEST(SignalProfile, EachBucketIsTheEnvelopeOfItsFramesAfterAnyNumberOfMerges) {
  const Case cases[] = {
      {2, 1000, 1, 1, -1},   {8, 5000, 7, 1, -1},    {8, 8, 3, 1, -1},        {64, 100000, 1000, 2, -1},
      {64, 100000, 999, 2, 1}, {4096, 3000, 4096, 1, -1}, {7, 12345, 333, 3, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.buckets << " buckets, " << c.frames << " frames in blocks of " << c.block
                                    << ", channel " << c.channel << " of " << c.channels);
    std::vector<float> signal;
    for (std::size_t frame = 0; frame < c.frames; ++frame)
      for (int channel = 0; channel < c.channels; ++channel) signal.push_back(Sample(frame, channel));
    reader::SignalProfile profile(c.buckets);
    for (std::size_t at = 0; at < c.frames; at += c.block) {
      const std::size_t count = std::min(c.block, c.frames - at);
      profile.Feed(signal.data() + at * static_cast<std::size_t>(c.channels), count, c.channels, c.channel);
      ASSERT_LE(profile.Buckets().size(), (c.buckets + 1) / 2 * 2);
    }
    EXPECT_EQ(profile.Frames(), static_cast<std::int64_t>(c.frames));
    const auto width = static_cast<std::size_t>(profile.FramesPerBucket());
    ASSERT_EQ(profile.Buckets().size(), (c.frames + width - 1) / width);
    // Once merging began, at least half the buckets are in use.
    if (width > 1) {
      EXPECT_GT(profile.Buckets().size(), (c.buckets + 1) / 2 * 2 / 2);
    }
    for (std::size_t i = 0; i < profile.Buckets().size(); ++i) {
      float low = 2, high = -2;
      for (std::size_t frame = i * width; frame < std::min(c.frames, (i + 1) * width); ++frame) {
        for (int channel = 0; channel < c.channels; ++channel) {
          if (c.channel >= 0 && channel != c.channel) continue;
          low = std::min(low, Sample(frame, channel));
          high = std::max(high, Sample(frame, channel));
        }
      }
      ASSERT_EQ(profile.Buckets()[i].low, low) << "bucket " << i;
      ASSERT_EQ(profile.Buckets()[i].high, high) << "bucket " << i;
    }
  }
}
