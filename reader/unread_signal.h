// Signal that no record explains: stretches where the line swings well
// clear of its noise and changes at the tape's rates, but that no record
// read on any channel covers, such as the blocks a protected program's own
// loader reads after a first, standard record. The stage is fed the line's
// tiles (LoaderInput counts them beside the loader's changes) and the
// records' spans, and decides a tile once no record still being read can
// reach it: so it holds only the tiles not yet decided, the stretch under
// way and its histogram of spacings, and decides the same in blocks of any
// size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "reader/loader_input.h"

namespace reader {

// Stretches shorter than this are not told of: a burst, a click, the tail
// of a leader.
constexpr double kShortestUnreadSeconds = 0.5;

struct UnreadStretch {
  double sampleRate = 0;
  std::int64_t firstFrame = 0;
  std::int64_t endFrame = 0;
  // The commonest spacing of its level changes.
  double changeMicroseconds = 0;
  int channel = 0;  // the channel that showed it most
  int channelsRead = 1;
};

// Frames [from, to) a record covers.
struct FrameSpan {
  std::int64_t from = 0;
  std::int64_t to = 0;
};

// Where the samples of a stretch that may prove unread go while it is
// decided: the frames are handed on in order once decided, and each
// candidate ends kept (a stretch) or dropped.
class UnreadSink {
 public:
  virtual ~UnreadSink() = default;
  virtual void Begin(std::int64_t firstFrame, double sampleRate, int channels) = 0;
  virtual void Frames(const float* interleaved, std::size_t frames) = 0;
  // `stretch` is null when the candidate proved no unread signal.
  virtual void End(const UnreadStretch* stretch) = 0;
};

class UnreadSignal {
 public:
  // `channels`: the recording's channels; `read`: those decoded, in the
  // order their tiles come.
  UnreadSignal(double sampleRate, int channels, std::vector<int> read);

  // Tiles of the channel read `index`-th, in order.
  void TakeTiles(std::size_t index, const std::vector<LineTile>& tiles);
  // A record's span, once it is read.
  void Cover(FrameSpan span);
  // No record yet unknown begins before `decided`, and the records still
  // being read cover at least `provisional`: the tiles before it are
  // decided.
  void Advance(std::int64_t decided, const std::vector<FrameSpan>& provisional);
  // The input has ended: everything is decided.
  void Finish();

  std::vector<UnreadStretch> TakeStretches();

  // With a sink, the recording's frames (interleaved, every channel) are
  // also fed here and handed on as candidates are decided. The frames not
  // yet decided are held, at most kLongestUndecidedSeconds of them.
  void AttachSink(UnreadSink* sink) { sink_ = sink; }
  void Frames(const float* interleaved, std::size_t frames);

 private:
  struct Stretch {
    bool open = false;
    std::int64_t from = 0;
    std::int64_t signalEnd = 0;  // after the last tile with signal
    std::array<std::uint32_t, kSpacingBins> spacings{};
    std::vector<std::uint32_t> tilesByChannel;
  };

  bool IsSignal(const LineTile& tile) const;
  void Decide(const std::vector<FrameSpan>& provisional, std::int64_t decided);
  void DecideTile(const std::vector<FrameSpan>& provisional);
  void Close();
  void HandFramesUpTo(std::int64_t frame);
  std::int64_t UncoveredFrom(std::int64_t from, std::int64_t to, const std::vector<FrameSpan>& provisional,
                             std::int64_t& uncovered) const;

  double sampleRate_;
  std::size_t channelCount_;
  std::vector<int> read_;
  std::size_t shortestSpacing_;
  std::size_t longestSpacing_;
  std::size_t mostTilesHeld_;
  std::int64_t shortestStretch_;

  std::vector<std::deque<LineTile>> tiles_;  // per channel read, not yet decided
  std::vector<FrameSpan> covers_;            // records that may still reach undecided tiles
  std::int64_t decidedUpTo_ = 0;             // the tiles before it are decided
  Stretch stretch_;
  std::vector<UnreadStretch> found_;

  UnreadSink* sink_ = nullptr;
  std::deque<float> held_;           // frames from heldFrom_ on, not yet handed on
  std::int64_t heldFrom_ = 0;
  bool candidate_ = false;           // the sink has a candidate open
};

}  // namespace reader
