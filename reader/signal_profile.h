// The signal's level over a whole recording in bounded memory: a stage fed
// with the same frames as the decoder, keeping the lowest and highest sample
// of each stretch. It holds a fixed number of buckets; when they are full,
// neighbours merge pairwise and each bucket covers twice the frames, so an
// hour costs the same memory as a second.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace reader {

struct LevelBucket {
  float low = 0;   // the lowest sample in the stretch, -1 to 1
  float high = 0;  // the highest
};

class SignalProfile {
 public:
  // `buckets` is rounded up to an even number of at least 2.
  explicit SignalProfile(std::size_t buckets = 4096);

  // Interleaved frames of `channels` channels. `channel` -1 takes every
  // channel, so the envelope shows whatever any of them carries; else only
  // that one (from 0).
  void Feed(const float* interleaved, std::size_t frames, int channels, int channel = -1);

  // Bucket i covers frames [i * FramesPerBucket(), (i + 1) * FramesPerBucket()),
  // the last one perhaps only in part.
  const std::vector<LevelBucket>& Buckets() const { return buckets_; }
  std::int64_t FramesPerBucket() const { return framesPerBucket_; }
  std::int64_t Frames() const { return frames_; }

  // The profile counts frames; whoever knows the rate tells it, for times.
  void SetSampleRate(double rate) { sampleRate_ = rate; }
  double SampleRate() const { return sampleRate_; }

 private:
  void MergePairs();

  std::size_t capacity_;
  std::vector<LevelBucket> buckets_;
  std::int64_t framesPerBucket_ = 1;
  std::int64_t inLast_ = 0;  // frames already in the last bucket
  std::int64_t frames_ = 0;
  double sampleRate_ = 0;
};

}  // namespace reader
