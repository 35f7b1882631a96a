// Cell timing: finds a leader in the signal, measures its half-cell length,
// and from then on tracks every half-cell boundary, drift and flutter
// included, coasting through dropouts within a record. What it hands on is,
// for each half-cell boundary, the strength and direction of the level
// change there, integrated over the half-cells on either side.
#pragma once

#include <cstdint>
#include <vector>

#include "reader/signal_window.h"

namespace reader {

struct TimingEvent {
  enum class Kind {
    kBoundary,  // a half-cell boundary of the track being followed
    kLost,      // the track was lost: the cells ended at `frame`
  };
  Kind kind = Kind::kBoundary;
  double frame = 0;      // where the boundary lies
  // The change across it: positive for a fall, negative for a rise; about
  // `amplitude` in size where the level changes, near zero where it stays.
  double edge = 0;
  double amplitude = 0;  // the running size of a full change
  double halfCell = 0;   // the half-cell length in frames, as tracked
  bool trackStart = false;  // the first boundary of a new track
  double trackFrom = 0;     // with it: where the cells of the track began
};

class CellTiming {
 public:
  explicit CellTiming(double sampleRate);

  // The frames the window must keep for this stage.
  static std::size_t FramesNeeded(double sampleRate);

  // The next boundary the window lets it judge, or the loss of the track;
  // false when the window holds nothing more to judge. Looks for a leader
  // first while no track is followed.
  bool Next(const SignalWindow& window, TimingEvent& event);

  // Judge every boundary (1), as a leader needs, or only every other one
  // (2): once the sync byte has shown which boundaries are the cells'
  // middles, only they matter, and the next boundary judged is the middle
  // after the one just given.
  void SetStride(int halfCells);

  // The record read on the track ended at `frame`. What follows is another
  // record's leader or none, at a phase of its own: the track is dropped,
  // and a leader is looked for from there.
  void EndTrack(double frame);

  // Whether a long run of equal bits after a dropout is taken for the next
  // record's leader (the default), or is expected, as in the zeros before
  // a header's second sync byte.
  void ExpectEqualBits(bool expected) { equalBitsExpected_ = expected; }

  // Where the cells stopped showing, while a record's track coasts through
  // a dropout (the boundaries given since then carry no change worth
  // reading); -1 when they show.
  double CoastingFrom() const { return tracking_ && coasting_ ? coastFrom_ + halfCell_ : -1; }

 private:
  struct Lag {
    double correlation = -1;
    double lag = 0;
  };

  void TryToAcquire(const SignalWindow& window);
  bool AcquireBefore(const SignalWindow& window, std::int64_t end);
  std::int64_t LongestLag() const;
  std::int64_t Margin() const;
  double Centred(const SignalWindow& window, std::int64_t frame) const;
  // Over the samples of the stretch looked at, in centred_.
  Lag BestPeriod() const;
  double Correlation(int lag) const;
  double StrongestEdgeNear(const SignalWindow& window, double from, double halfCell) const;
  double CellsBeganAt(const SignalWindow& window, double edge) const;
  void FollowTrack(const SignalWindow& window, TimingEvent& event);
  bool CellsHaveEnded(double frame, double magnitude);
  // While a leader is sought: false when the last few boundaries have not
  // shown one, and the track follows something else.
  bool ShowsALeader(double edge, double magnitude);
  // While coasting: whether the cells are back near where the timing
  // expects them, and if so the track is moved onto them. False when the
  // window does not yet reach far enough to tell.
  bool TryToRelock(const SignalWindow& window);
  bool LooksLikeALeader(const SignalWindow& window, double frame, double magnitude);

  double nominalHalfCell_;
  double shortestHalfCell_;
  double longestHalfCell_;
  std::int64_t acquireWindow_;  // frames looked at for a leader
  std::int64_t acquireHop_;     // frames between looks
  int acquireStep_;             // frames between the samples a look takes
  std::vector<double> centred_; // the stretch looked at, each sample less its cell's mean
  std::int64_t lastLook_ = 0;
  double followedUpTo_ = 0;     // where the last track was lost

  bool tracking_ = false;
  bool trackStarting_ = false;
  double next_ = 0;          // the next boundary to judge
  double pendingError_ = 0;  // the timing error of the boundary before it
  double trackFrom_ = 0;
  double halfCell_ = 0;
  double amplitude_ = 0;
  int stride_ = 1;           // half-cells from one boundary judged to the next
  int weakRun_ = 0;          // weak boundaries in a row, as CellsHaveEnded counts them
  double lastEdgeMagnitude_ = 0;
  double lastStrongFrame_ = 0;
  // The check that a track sought for a leader still shows one.
  int checked_ = 0;
  int alternating_ = 0;
  double previousEdge_ = 0;

  // Through a dropout within a record, the track goes on at the speed
  // measured before it (coasting) until the cells come back.
  bool coasting_ = false;
  double coastFrom_ = 0;       // the last boundary that showed cells before it
  double coastLimit_;          // how long a coast may last, in frames
  double coastLimitInZeros_;   // the same while equal bits are expected
  // After the cells come back: equal bits in a row since, as long as they
  // have been equal. A run as long as a leader's is a new record's leader.
  int equalRun_ = -1;
  int cellsSinceRelock_ = 0;
  bool equalBitsExpected_ = false;
};

}  // namespace reader
