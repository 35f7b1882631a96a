// The line's level followed, its changes found as the machine's input finds
// them, and the loader's timing rule over them.
#include "reader/loader_input.h"

#include <algorithm>
#include <cmath>

namespace reader {

namespace {

// The loader's delay is about 490 microseconds; with the time it takes to
// notice a change, a half-cell of up to 510 still falls inside it.
constexpr double kIgnoredSeconds = 510e-6;
constexpr double kReactionSeconds = 140e-6;
// A line quiet this long means the tape stopped: the loader starts over.
constexpr double kSilenceSeconds = 0.005;
// The line's middle follows slow drift and offsets; the size of a change
// follows the level of the tape.
constexpr double kCentreSeconds = 0.01;
constexpr double kEnvelopeSeconds = 0.05;
// The input sees a change once the line has passed this share of the
// signal's size beyond the middle, on the other side.
constexpr double kThresholdShare = 0.3;
// Below about -66 dBFS nothing is seen at all.
constexpr double kQuietest = 0.0005;

}  // namespace

LoaderInput::LoaderInput(double sampleRate)
    : ignoredFrames_(kIgnoredSeconds * sampleRate),
      reactionFrames_(kReactionSeconds * sampleRate),
      silenceFrames_(kSilenceSeconds * sampleRate),
      centreDecay_(std::exp(-kStepFrames / (kCentreSeconds * sampleRate))),
      envelopeDecay_(std::exp(-kStepFrames / (kEnvelopeSeconds * sampleRate))),
      lower_(-kQuietest),
      upper_(kQuietest) {}

void LoaderInput::Feed(const float* samples, std::size_t frames, std::size_t stride,
                       std::vector<LoaderChange>& changes) {
  std::size_t done = 0;
  while (done < frames) {
    // Up to the next step of the level, with the state in locals: this loop
    // sees every sample of the recording.
    const std::size_t run = std::min(frames - done, static_cast<std::size_t>(kStepFrames - stepCount_));
    const auto lower = static_cast<float>(lower_);
    const auto upper = static_cast<float>(upper_);
    const auto centre = static_cast<float>(centre_);
    // The level's slow measures need only every few samples.
    // In floats, and the peak from the extremes: a chain of double
    // additions here would be what bounds the speed of reading.
    float sum = 0;
    float highest = centre;
    float lowest = centre;
    const std::size_t first = static_cast<std::size_t>((kStatStride - stepCount_ % kStatStride) % kStatStride);
    const float* const from = samples + done * stride;
    for (std::size_t k = first; k < run; k += kStatStride) {
      const float x = from[k * stride];
      sum += x;
      highest = std::max(highest, x);
      lowest = std::min(lowest, x);
    }
    const double peak = std::max({stepPeak_, static_cast<double>(highest - centre), static_cast<double>(centre - lowest)});
    // Where the line is beyond the threshold it takes that side; between the
    // two it keeps the side it had. So only a sample beyond the other side's
    // threshold is a change, and each search below is a tight loop that runs
    // to the next one. Changes within the time the loader ignores after
    // taking one matter only for the side the line is on when that time is
    // over, so the search starts again only there: the side then is that of
    // the last sample beyond a threshold before it, found looking back.
    const auto sideBefore = [&](std::size_t end, std::size_t floor, int fallback) {
      for (std::size_t i = end; i > floor; --i) {
        const float x = from[(i - 1) * stride];
        if (x > upper) return kHigh;
        if (x < lower) return kLow;
      }
      return fallback;
    };
    // Where in this run the loader looks at the line again, from `at` on.
    const auto looksAgain = [&](std::size_t at) {
      const std::int64_t again = watchFrom_ - position_;
      if (again <= static_cast<std::int64_t>(at)) return at;
      return static_cast<std::size_t>(std::min(again, static_cast<std::int64_t>(run)));
    };
    std::size_t k = looksAgain(0);
    int level = sideBefore(k, 0, level_);
    if (level == kUnknown) {
      // The first sample beyond a threshold sets the side: not a change.
      while (k < run && !(from[k * stride] > upper) && !(from[k * stride] < lower)) ++k;
      if (k < run) level = from[k * stride] > upper ? kHigh : kLow;
    }
    while (level != kUnknown && k < run) {
      if (level == kHigh) {
        while (k < run && !(from[k * stride] < lower)) ++k;
      } else {
        while (k < run && !(from[k * stride] > upper)) ++k;
      }
      if (k == run) break;
      const float x = from[k * stride];
      const float before = k > 0 ? from[(k - 1) * stride] : previous_;
      // Between the two samples, where the line passed the threshold.
      const double edge = level == kHigh ? lower : upper;
      const double fraction = x == before ? 1.0 : (edge - before) / (static_cast<double>(x) - before);
      const auto at = static_cast<double>(position_ + static_cast<std::int64_t>(k));
      OnChange(at - 1 + std::clamp(fraction, 0.0, 1.0), changes);
      level = level == kHigh ? kLow : kHigh;
      const std::size_t again = looksAgain(k);
      level = sideBefore(again, k + 1, level);
      k = again;
    }
    level_ = level;
    previous_ = from[(run - 1) * stride];
    stepSum_ += sum;
    stepPeak_ = peak;
    stepCount_ += static_cast<int>(run);
    position_ += static_cast<std::int64_t>(run);
    done += run;
    if (stepCount_ == kStepFrames) FollowLevel();
  }
}

void LoaderInput::FollowLevel() {
  centre_ = centreDecay_ * centre_ + (1 - centreDecay_) * stepSum_ * kStatStride / kStepFrames;
  envelope_ = std::max(stepPeak_, envelopeDecay_ * envelope_);
  const double threshold = std::max(kThresholdShare * envelope_, kQuietest);
  lower_ = centre_ - threshold;
  upper_ = centre_ + threshold;
  stepSum_ = 0;
  stepPeak_ = 0;
  stepCount_ = 0;
}

void LoaderInput::OnChange(double frame, std::vector<LoaderChange>& changes) {
  const bool fresh = !lastChange_ || frame - *lastChange_ > silenceFrames_;
  lastChange_ = frame;
  double takenAt = frame;
  if (fresh) {
    changes.push_back({frame, false, true});
  } else if (frame < ignoredUntil_) {
    return;
  } else if (frame < readyAt_) {
    takenAt = readyAt_;
    changes.push_back({takenAt, true, false});
  } else {
    changes.push_back({frame, false, false});
  }
  ignoredUntil_ = takenAt + ignoredFrames_;
  readyAt_ = ignoredUntil_ + reactionFrames_;
  // A change at this sample or later may lie at or past the ignored time
  // (which is never negative, so the cast rounds down).
  watchFrom_ = static_cast<std::int64_t>(ignoredUntil_);
}

LoaderInputs::LoaderInputs(double sampleRate, int channels, DecoderOptions options)
    : channelCount_(static_cast<std::size_t>(channels)), channels_(ChannelsRead(channels, options)) {
  inputs_.assign(channels_.size(), LoaderInput(sampleRate));
}

void LoaderInputs::Feed(const float* interleaved, std::size_t frames, LoaderChangesByChannel& changes) {
  changes.resize(inputs_.size());
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    found_.clear();
    inputs_[i].Feed(interleaved + channels_[i], frames, channelCount_, found_);
    // Copied out in one go: `changes` may have been read last on another
    // thread, and taking its memory back change by change, while the
    // search runs, stalls it at every line.
    changes[i].assign(found_.begin(), found_.end());
  }
}

}  // namespace reader
