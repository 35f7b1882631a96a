// The line's level followed, its changes found as the machine's input finds
// them, and the loader's timing rule over them.
#include "reader/loader_input.h"

#include <algorithm>
#include <cmath>

#include "reader/sample_loops.h"

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

// The bits below bit `count`, for a count up to 64.
std::uint64_t BitsBelow(std::size_t count) {
  return count >= kSideRun ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

// Where the line comes from the side marked by `from`, carried on through
// the samples `between` the thresholds: bit i is set where sample i is the
// first one past a run of those after a sample on that side (or after the
// run's start, when `fromBefore` says the line was on that side then).
// Adding the side's bits, moved on by one, to those between ripples a
// carry through each such run up to the sample that ends it.
std::uint64_t LinePasses(std::uint64_t from, bool fromBefore, std::uint64_t between) {
  return ((from << 1) | std::uint64_t{fromBefore}) + between;
}

// The lowest and the highest bit set in a word that has one.
std::size_t LowestBit(std::uint64_t bits) { return static_cast<std::size_t>(__builtin_ctzll(bits)); }
std::size_t HighestBit(std::uint64_t bits) { return static_cast<std::size_t>(63 - __builtin_clzll(bits)); }

}  // namespace

LoaderInput::LoaderInput(double sampleRate)
    : ignoredFrames_(kIgnoredSeconds * sampleRate),
      reactionFrames_(kReactionSeconds * sampleRate),
      silenceFrames_(kSilenceSeconds * sampleRate),
      centreDecay_(std::exp(-kStepFrames / (kCentreSeconds * sampleRate))),
      envelopeDecay_(std::exp(-kStepFrames / (kEnvelopeSeconds * sampleRate))),
      lower_(-kQuietest),
      upper_(kQuietest),
      tileSteps_(std::max(1, static_cast<int>(std::lround(kLineTileSeconds * sampleRate / kStepFrames)))) {}

// Inline: it runs for every change the loader looks at.
inline void LoaderInput::OnChange(double frame, std::vector<LoaderChange>& changes) {
  const bool fresh = frame - lastChange_ > silenceFrames_;
  lastChange_ = frame;
  // After a quiet spell nothing is ignored and nothing is late.
  if (fresh) ignoredUntil_ = readyAt_ = frame;
  if (frame < ignoredUntil_) return;
  // Seen late, a change is taken when the loader is ready: kept free of
  // branches, since whether it is late follows the bits.
  const double takenAt = std::max(frame, readyAt_);
  changes.push_back({takenAt, frame < readyAt_, fresh});
  ignoredUntil_ = takenAt + ignoredFrames_;
  readyAt_ = ignoredUntil_ + reactionFrames_;
  // A change at this sample or later may lie at or past the ignored time
  // (which is never negative, so the cast rounds down).
  watchFrom_ = static_cast<std::int64_t>(ignoredUntil_);
}

void LoaderInput::Feed(const float* samples, std::size_t frames, std::size_t stride,
                       std::vector<LoaderChange>& changes, std::vector<LineTile>* tiles) {
  static_assert(kStepFrames <= kSideRun, "a step's samples are sorted in one go");
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
    // Where the line is beyond a threshold it takes that side; between the
    // two it keeps the side it had. So the line changes at each sample
    // beyond one threshold whose last sample beyond either lay beyond the
    // other: that depends on the signal alone, and is found for the whole
    // run at once, from the bits of each side.
    const LineSides sides = FindLineSides(from, run, stride, lower, upper);
    const std::uint64_t beyond = sides.high | sides.low;
    const std::uint64_t between = ~beyond & BitsBelow(run);
    std::uint64_t changed = LinePasses(sides.low, level_ == kLow, between) & sides.high;
    changed |= LinePasses(sides.high, level_ == kHigh, between) & sides.low;
    if (beyond != 0) level_ = kLow + static_cast<int>((sides.high >> HighestBit(beyond)) & 1);
    // Where each change lies, between the two samples around it, does not
    // depend on the loader: all are worked out first, so that no division
    // stands in the chain from one change the loader takes to the next.
    double at[kSideRun];
    for (std::uint64_t each = changed; each != 0; each &= each - 1) {
      const std::size_t k = LowestBit(each);
      const float x = from[k * stride];
      const float before = k > 0 ? from[(k - 1) * stride] : previous_;
      // Between the two samples, where the line passed the threshold.
      const double edge = (sides.high >> k) & 1 ? upper : lower;
      const double fraction = x == before ? 1.0 : (edge - before) / (static_cast<double>(x) - before);
      at[k] = static_cast<double>(position_ + static_cast<std::int64_t>(k)) - 1 + std::clamp(fraction, 0.0, 1.0);
    }
    // The line's tile: its swings and the spacings of its changes measured
    // in one step of every few, which tells a tile's signal as well and
    // keeps the search for unread signal a small part of the read.
    if (countingStep_) {
      float squares = 0;
      for (std::size_t k = first; k < run; k += kStatStride) {
        const float x = from[k * stride] - centre;
        squares += x * x;
      }
      stepSquares_ += squares;
      for (std::uint64_t each = changed; each != 0; each &= each - 1) {
        const std::int64_t sample = position_ + static_cast<std::int64_t>(LowestBit(each));
        ++tile_.spacings[static_cast<std::size_t>(std::min<std::int64_t>(sample - lastLineChange_, kSpacingBins - 1))];
        lastLineChange_ = sample;
      }
    } else if (changed != 0) {
      lastLineChange_ = position_ + static_cast<std::int64_t>(HighestBit(changed));
    }
    // The loader's rule over them in order. After it takes a change it
    // ignores the line until the side the line is on then is all that
    // counts: the changes before that it never looks at.
    const auto lookedAt = [&](std::int64_t fromSample) {
      const auto all = static_cast<std::int64_t>(kSideRun);
      return changed & ~BitsBelow(static_cast<std::size_t>(std::clamp<std::int64_t>(fromSample, 0, all)));
    };
    for (std::uint64_t ahead = lookedAt(watchFrom_ - position_); ahead != 0;) {
      const std::size_t k = LowestBit(ahead);
      OnChange(at[k], changes);
      ahead = lookedAt(std::max(watchFrom_ - position_, static_cast<std::int64_t>(k) + 1));
    }
    previous_ = from[(run - 1) * stride];
    stepSum_ += sum;
    stepPeak_ = peak;
    stepCount_ += static_cast<int>(run);
    position_ += static_cast<std::int64_t>(run);
    done += run;
    if (stepCount_ == kStepFrames) {
      TileStep(tiles);
      FollowLevel();
    }
  }
}

// Inline, as the level's step is: it runs every 64 frames.
inline void LoaderInput::TileStep(std::vector<LineTile>* tiles) {
  tile_.peak = std::max(tile_.peak, static_cast<float>(stepPeak_));
  if (countingStep_) {
    tile_.meanSquare += static_cast<float>(stepSquares_ * kStatStride / kStepFrames);
    tile_.countedFrames += kStepFrames;
    stepSquares_ = 0;
  }
  countingStep_ = ++stepsSinceCounted_ == kTileStepStride;
  if (countingStep_) stepsSinceCounted_ = 0;
  if (++stepsInTile_ == tileSteps_) EndTile(tiles);
}

void LoaderInput::EndTile(std::vector<LineTile>* tiles) {
  tile_.frames = static_cast<std::int64_t>(tileSteps_) * kStepFrames;
  if (tile_.countedFrames > 0) tile_.meanSquare *= static_cast<float>(kStepFrames) / static_cast<float>(tile_.countedFrames);
  if (tiles != nullptr) tiles->push_back(tile_);
  const std::int64_t next = tile_.from + tile_.frames;
  tile_ = LineTile{};
  tile_.from = next;
  stepsInTile_ = 0;
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

LoaderInputs::LoaderInputs(double sampleRate, int channels, DecoderOptions options)
    : channelCount_(static_cast<std::size_t>(channels)), channels_(ChannelsRead(channels, options)) {
  inputs_.assign(channels_.size(), LoaderInput(sampleRate));
}

void LoaderInputs::Feed(const float* interleaved, std::size_t frames, LoaderChangesByChannel& changes,
                        LineTilesByChannel* tiles) {
  changes.resize(inputs_.size());
  if (tiles != nullptr) tiles->resize(inputs_.size());
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    found_.clear();
    // Room for a change every few cells, as a clean signal gives: a noisy
    // one grows it further.
    found_.reserve(frames / 16 + 16);
    if (tiles != nullptr) (*tiles)[i].clear();
    inputs_[i].Feed(interleaved + channels_[i], frames, channelCount_, found_, tiles ? &(*tiles)[i] : nullptr);
    // Copied out in one go: `changes` may have been read last on another
    // thread, and taking its memory back change by change, while the
    // search runs, stalls it at every line.
    changes[i].assign(found_.begin(), found_.end());
  }
}

}  // namespace reader
