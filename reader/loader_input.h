// The machine's input and its loader's timing: the level changes the input
// sees on the line (a threshold either side of the line's middle, so that
// silence changes nothing), and of those the ones the loader takes. After
// it takes a change the loader ignores the line for a fixed time, then
// takes the next change; a change that comes while it is still reacting
// to the last one is seen late.
//
// This stage looks at every sample, and nothing it does depends on the
// records found, so it can run apart from the decoder (on another thread,
// block by block ahead of it): LoaderInputs serves every channel read. The
// decoder's LoaderWatch judges each record's bits against what it finds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "reader/decoder_options.h"

namespace reader {

// A change the loader took.
struct LoaderChange {
  double frame = 0;   // where it took it
  bool late = false;  // seen only once the loader was ready, after the line moved
  bool afterSilence = false;  // the first change after the tape was quiet: the loader starts over
};

// What the line did over a tile of frames (whole steps of the level,
// counted from the start): how far it swung from its middle, and how far
// apart all its changes were, taken by the loader or not. The search for
// signal no record explains (reader/unread_signal) reads them; they are
// counted here because this is the one loop that sees every change.
constexpr std::size_t kSpacingBins = 256;
struct LineTile {
  std::int64_t from = 0;
  std::int64_t frames = 0;
  float peak = 0;        // the largest swing from the middle
  float meanSquare = 0;  // of the swings, over the samples measured
  // The changes of some of its frames (one step of every kTileStepStride),
  // by the samples since the change before; the last bin holds every
  // longer spacing.
  std::int64_t countedFrames = 0;
  std::array<std::uint16_t, kSpacingBins> spacings{};
};

// The tiles are about this long, so that a tile's counts fit their bins at
// any rate the decoder takes.
constexpr double kLineTileSeconds = 0.05;

class LoaderInput {
 public:
  explicit LoaderInput(double sampleRate);

  // `frames` frames, one sample every `stride` floats; the changes taken in
  // them are appended to `changes`, in order, and the tiles they complete
  // to `tiles` when it is given.
  void Feed(const float* samples, std::size_t frames, std::size_t stride, std::vector<LoaderChange>& changes,
            std::vector<LineTile>* tiles = nullptr);

 private:
  // The line's middle and the threshold either side of it move slowly, so
  // they are followed once every so many frames (counted from the start,
  // so that blocks of any size give the same changes).
  static constexpr int kStepFrames = 64;
  // The middle and the size are measured on every so many of them.
  static constexpr int kStatStride = 4;

  void FollowLevel();
  void TileStep(std::vector<LineTile>* tiles);
  void EndTile(std::vector<LineTile>* tiles);
  void OnChange(double frame, std::vector<LoaderChange>& changes);

  double ignoredFrames_;
  double reactionFrames_;
  double silenceFrames_;
  double centreDecay_;
  double envelopeDecay_;

  // The input.
  std::int64_t position_ = 0;
  double centre_ = 0;
  double envelope_ = 0;
  static constexpr int kUnknown = 0;
  static constexpr int kLow = 1;
  static constexpr int kHigh = kLow + 1;  // so that a bit can choose between them
  int level_ = kUnknown;  // where the line was last seen beyond the threshold
  float previous_ = 0;
  double lower_ = 0;   // below this the line is low
  double upper_ = 0;   // above this, high
  double stepSum_ = 0;
  double stepSquares_ = 0;
  double stepPeak_ = 0;
  int stepCount_ = 0;

  // The tile under way. Its changes and swings are measured in one step
  // of every kTileStepStride.
  static constexpr int kTileStepStride = 4;
  int stepsSinceCounted_ = 0;
  bool countingStep_ = true;
  int tileSteps_;
  int stepsInTile_ = 0;
  LineTile tile_;
  std::int64_t lastLineChange_ = std::numeric_limits<std::int32_t>::min();

  // The loader's rule.
  double lastChange_ = -std::numeric_limits<double>::infinity();  // none yet: the first is fresh
  double ignoredUntil_ = 0;
  double readyAt_ = 0;
  // The first sample whose changes the loader looks at again: those before
  // it fall within the ignored time, and only the side they leave counts. The
  // quiet that restarts the loader is therefore measured from the last
  // change it took or looked at, not from changes it ignored.
  std::int64_t watchFrom_ = 0;
};

// The changes found in one block, for each channel decoded, in the order
// the decoder reads its channels.
using LoaderChangesByChannel = std::vector<std::vector<LoaderChange>>;
using LineTilesByChannel = std::vector<std::vector<LineTile>>;

// The loader's input for every channel a TapeDecoder made with the same
// rate, channels and options reads.
class LoaderInputs {
 public:
  LoaderInputs(double sampleRate, int channels, DecoderOptions options = {});

  // Interleaved frames, as TapeDecoder::Feed takes them; `changes` is
  // replaced by what they showed, and `tiles`, when given, by the line's
  // tiles they completed.
  void Feed(const float* interleaved, std::size_t frames, LoaderChangesByChannel& changes,
            LineTilesByChannel* tiles = nullptr);

 private:
  std::size_t channelCount_;
  std::vector<int> channels_;
  std::vector<LoaderInput> inputs_;
  std::vector<LoaderChange> found_;  // what one channel showed in a block
};

}  // namespace reader
