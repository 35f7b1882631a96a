// The search for signal no record explains: each tile judged on its own
// (is it tape signal?), then, once decided, against the records' spans;
// the uncovered tiles with signal join into stretches, each told of with
// the commonest spacing of its changes unless it is short or a bare leader.
#include "reader/unread_signal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace reader {

namespace {

// The tape's band: lentok's half-cell is about 363 µs, and protected
// loaders run up to a few times faster; hum at 50 or 60 Hz and its low
// harmonics change far more slowly than the longest cell played slow.
constexpr double kShortestSpacingSeconds = 60e-6;
constexpr double kLongestSpacingSeconds = 1.25e-3;
// A tile with signal changes at least this often, and most of its changes
// lie in the band.
constexpr double kSparsestChangeSeconds = 2e-3;
constexpr double kInBandShare = 0.7;
// Below about -50 dBFS nothing is tape signal.
constexpr float kLowestPeak = 0.003f;
// Tape signal, square or rounded, swings about as far at every change:
// its peak is at most about twice its RMS. Noise peaks at three to four
// times its RMS, so this tells signal from noise of any level.
constexpr float kMostPeakSquareOverMeanSquare = 6.0f;
// A stretch goes on through a dropout of a tile.
constexpr int kGapTilesBridged = 1;
// A bare leader changes at one spacing: all but a few of its changes lie
// within a quarter of the commonest one. Data has a third of them at twice,
// and a leader with a header's zeros after it a few in a hundred.
constexpr double kLeaderShare = 0.97;
// Tiles held undecided while a record may still reach them: a leader
// followed this long that never becomes a record is decided without it.
constexpr double kLongestUndecidedSeconds = 10.0;

struct Commonest {
  bool found = false;
  double spacing = 0;      // in samples
  std::uint64_t near = 0;  // changes within a quarter of it
  std::uint64_t inBand = 0;
};

template <typename Count>
Commonest CommonestSpacing(const std::array<Count, kSpacingBins>& bins, std::size_t shortest, std::size_t longest) {
  Commonest commonest;
  std::uint64_t best = 0;
  std::size_t mode = 0;
  for (std::size_t b = shortest; b <= longest; ++b) {
    commonest.inBand += bins[b];
    // With its neighbours: a spacing that jitters by a sample is one.
    const std::uint64_t score = std::uint64_t{bins[b - 1]} + bins[b] + bins[b + 1];
    if (score > best) {
      best = score;
      mode = b;
    }
  }
  if (best == 0) return commonest;
  const std::size_t reach = std::max<std::size_t>(1, mode / 8);
  std::uint64_t count = 0;
  double sum = 0;
  for (std::size_t b = mode - std::min(reach, mode - 1); b <= std::min(mode + reach, kSpacingBins - 2); ++b) {
    count += bins[b];
    sum += static_cast<double>(b) * bins[b];
  }
  const std::size_t quarter = std::max<std::size_t>(1, mode / 4);
  for (std::size_t b = mode - std::min(quarter, mode - 1); b <= std::min(mode + quarter, kSpacingBins - 2); ++b) {
    commonest.near += bins[b];
  }
  commonest.found = count > 0;
  commonest.spacing = count > 0 ? sum / static_cast<double>(count) : 0;
  return commonest;
}

}  // namespace

UnreadSignal::UnreadSignal(double sampleRate, int channels, std::vector<int> read)
    : sampleRate_(sampleRate),
      channelCount_(static_cast<std::size_t>(std::max(channels, 1))),
      read_(std::move(read)),
      shortestSpacing_(std::max<std::size_t>(
          2, static_cast<std::size_t>(std::ceil(kShortestSpacingSeconds * sampleRate)))),
      longestSpacing_(std::clamp<std::size_t>(static_cast<std::size_t>(kLongestSpacingSeconds * sampleRate),
                                              shortestSpacing_, kSpacingBins - 2)),
      mostTilesHeld_(static_cast<std::size_t>(kLongestUndecidedSeconds / kLineTileSeconds)),
      shortestStretch_(static_cast<std::int64_t>(kShortestUnreadSeconds * sampleRate)),
      tiles_(read_.size()) {
  stretch_.tilesByChannel.assign(read_.size(), 0);
}

void UnreadSignal::TakeTiles(std::size_t index, const std::vector<LineTile>& tiles) {
  if (index < tiles_.size()) tiles_[index].insert(tiles_[index].end(), tiles.begin(), tiles.end());
}

void UnreadSignal::Cover(FrameSpan span) {
  if (span.to > decidedUpTo_ && span.to > span.from) covers_.push_back(span);
}

void UnreadSignal::Advance(std::int64_t decided, const std::vector<FrameSpan>& provisional) {
  Decide(provisional, decided);
}

void UnreadSignal::Finish() {
  Decide({}, std::numeric_limits<std::int64_t>::max());
  Close();
  if (sink_ != nullptr) held_.clear();
}

std::vector<UnreadStretch> UnreadSignal::TakeStretches() { return std::exchange(found_, {}); }

void UnreadSignal::Frames(const float* interleaved, std::size_t frames) {
  if (sink_ == nullptr) return;
  held_.insert(held_.end(), interleaved, interleaved + frames * channelCount_);
  // Frames before what is decided have been handed on or dropped already.
  if (!stretch_.open) HandFramesUpTo(decidedUpTo_);
}

bool UnreadSignal::IsSignal(const LineTile& tile) const {
  if (tile.peak < kLowestPeak || tile.peak * tile.peak > kMostPeakSquareOverMeanSquare * tile.meanSquare) {
    return false;
  }
  std::uint64_t changes = 0;
  std::size_t mode = 1;
  for (std::size_t b = 1; b < kSpacingBins; ++b) {
    changes += tile.spacings[b];
    if (tile.spacings[b] > tile.spacings[mode]) mode = b;
  }
  if (static_cast<double>(changes) * kSparsestChangeSeconds * sampleRate_ < static_cast<double>(tile.countedFrames)) {
    return false;
  }
  if (mode < shortestSpacing_ || mode > longestSpacing_) return false;
  std::uint64_t inBand = 0;
  for (std::size_t b = shortestSpacing_; b <= longestSpacing_; ++b) inBand += tile.spacings[b];
  return static_cast<double>(inBand) >= kInBandShare * static_cast<double>(changes);
}

void UnreadSignal::Decide(const std::vector<FrameSpan>& provisional, std::int64_t decided) {
  const auto ready = [&] {
    if (tiles_.empty()) return false;
    bool over = false;
    for (const std::deque<LineTile>& tiles : tiles_) {
      if (tiles.empty()) return false;
      over = over || tiles.size() > mostTilesHeld_;
    }
    const LineTile& front = tiles_.front().front();
    return over || front.from + front.frames <= decided;
  };
  while (ready()) DecideTile(provisional);
  covers_.erase(std::remove_if(covers_.begin(), covers_.end(),
                               [&](const FrameSpan& span) { return span.to <= decidedUpTo_; }),
                covers_.end());
  if (!stretch_.open) HandFramesUpTo(decidedUpTo_);
}

// The first frame of [from, to) that no record covers, and how many are
// uncovered; `to` when all are.
std::int64_t UnreadSignal::UncoveredFrom(std::int64_t from, std::int64_t to, const std::vector<FrameSpan>& provisional,
                                         std::int64_t& uncovered) const {
  std::int64_t first = to;
  uncovered = 0;
  // Walk the tile, jumping over every span that holds the point reached.
  std::int64_t at = from;
  while (at < to) {
    std::int64_t coveredTo = at;
    for (const std::vector<FrameSpan>* spans : {&covers_, &provisional}) {
      for (const FrameSpan& span : *spans) {
        if (span.from <= at && span.to > coveredTo) coveredTo = span.to;
      }
    }
    if (coveredTo > at) {
      at = coveredTo;
      continue;
    }
    // Uncovered up to the next span's start.
    std::int64_t next = to;
    for (const std::vector<FrameSpan>* spans : {&covers_, &provisional}) {
      for (const FrameSpan& span : *spans) {
        if (span.from > at && span.from < next) next = span.from;
      }
    }
    first = std::min(first, at);
    uncovered += next - at;
    at = next;
  }
  return first;
}

void UnreadSignal::DecideTile(const std::vector<FrameSpan>& provisional) {
  const LineTile& front = tiles_.front().front();
  const std::int64_t from = front.from;
  const std::int64_t to = front.from + front.frames;
  std::int64_t uncovered = 0;
  const std::int64_t first = UncoveredFrom(from, to, provisional, uncovered);
  const bool covered = 2 * uncovered < front.frames;

  // The channel that shows signal most strongly here.
  std::size_t best = tiles_.size();
  if (!covered) {
    for (std::size_t i = 0; i < tiles_.size(); ++i) {
      const LineTile& tile = tiles_[i].front();
      if (IsSignal(tile) && (best == tiles_.size() || tile.peak > tiles_[best].front().peak)) best = i;
    }
  }
  if (best < tiles_.size()) {
    if (!stretch_.open) {
      stretch_ = Stretch{};
      stretch_.open = true;
      stretch_.from = first;
      stretch_.tilesByChannel.assign(read_.size(), 0);
      HandFramesUpTo(first);
      if (sink_ != nullptr) {
        sink_->Begin(first, sampleRate_, static_cast<int>(channelCount_));
        candidate_ = true;
      }
    }
    // Up to where the tile's uncovered frames end: a record may begin in it.
    std::int64_t end = to;
    const std::vector<FrameSpan>* const lists[] = {&covers_, &provisional};
    for (const std::vector<FrameSpan>* spans : lists) {
      for (const FrameSpan& span : *spans) {
        if (span.from > first && span.from < end) end = span.from;
      }
    }
    stretch_.signalEnd = end;
    const LineTile& tile = tiles_[best].front();
    for (std::size_t b = 0; b < kSpacingBins; ++b) stretch_.spacings[b] += tile.spacings[b];
    ++stretch_.tilesByChannel[best];
    HandFramesUpTo(end);
  } else if (stretch_.open) {
    const std::int64_t gap = to - stretch_.signalEnd;
    if (covered || gap > kGapTilesBridged * front.frames) Close();
  }
  decidedUpTo_ = to;
  for (std::deque<LineTile>& tiles : tiles_) tiles.pop_front();
}

void UnreadSignal::Close() {
  if (!stretch_.open) return;
  stretch_.open = false;
  const Commonest commonest = CommonestSpacing(stretch_.spacings, shortestSpacing_, longestSpacing_);
  const bool leader = static_cast<double>(commonest.near) >= kLeaderShare * static_cast<double>(commonest.inBand);
  const bool told = commonest.found && !leader && stretch_.signalEnd - stretch_.from >= shortestStretch_;
  UnreadStretch stretch;
  if (told) {
    stretch.sampleRate = sampleRate_;
    stretch.firstFrame = stretch_.from;
    stretch.endFrame = stretch_.signalEnd;
    stretch.changeMicroseconds = commonest.spacing / sampleRate_ * 1e6;
    const auto most = std::max_element(stretch_.tilesByChannel.begin(), stretch_.tilesByChannel.end());
    stretch.channel = read_[static_cast<std::size_t>(most - stretch_.tilesByChannel.begin())];
    stretch.channelsRead = static_cast<int>(read_.size());
    found_.push_back(stretch);
  }
  if (candidate_) {
    HandFramesUpTo(stretch_.signalEnd);
    candidate_ = false;
    sink_->End(told ? &stretch : nullptr);
  }
}

// The held frames before `frame` go to the open candidate, or are dropped.
void UnreadSignal::HandFramesUpTo(std::int64_t frame) {
  if (sink_ == nullptr || frame <= heldFrom_) return;
  const auto count = static_cast<std::size_t>(
      std::min<std::int64_t>(frame - heldFrom_, static_cast<std::int64_t>(held_.size() / channelCount_)));
  if (count == 0) return;
  const auto floats = static_cast<std::ptrdiff_t>(count * channelCount_);
  if (candidate_) {
    // In pieces, through a small buffer: the deque is not contiguous.
    std::vector<float> piece;
    constexpr std::size_t kPieceFrames = 4096;
    for (std::size_t done = 0; done < count; done += kPieceFrames) {
      const std::size_t frames = std::min(kPieceFrames, count - done);
      const auto begin = held_.begin() + static_cast<std::ptrdiff_t>(done * channelCount_);
      piece.assign(begin, begin + static_cast<std::ptrdiff_t>(frames * channelCount_));
      sink_->Frames(piece.data(), frames);
    }
  }
  held_.erase(held_.begin(), held_.begin() + floats);
  heldFrom_ += static_cast<std::int64_t>(count);
}

}  // namespace reader
