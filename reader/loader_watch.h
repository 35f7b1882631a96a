// The machine's verdict: whether the machine's own loader would load a
// record as the recording plays it, at the speed it plays (no correction).
//
// The loader follows level changes. After it takes a change it ignores the
// line for a fixed time, then takes the next change, and the bit is the
// level that change ends; a change that comes while it is still reacting
// to the last one is seen late and gives the wrong level. So it loads only
// while every half-cell falls inside the ignored time and every cell is
// longer than that time and the reaction together: cells of about 650 to
// 1010 microseconds, that is 0.72 to 1.11 times lentok's speed.
//
// The watch is fed the same samples as the channel's decoder, a little
// ahead of it. It finds the level changes as the machine's input would
// (a threshold either side of the line's middle, so that silence changes
// nothing) and runs the loader's rule over them, keeping only the recent
// changes it took. The decoder tells it where each bit of a record ends;
// a bit whose end is not a change the loader took in time is where the
// load goes wrong. Memory stays the same however long the recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "reader/decoded_record.h"

namespace reader {

// The loader's window of cell lengths, as measured on the machine.
constexpr double kLoaderShortestCellMicroseconds = 650;
constexpr double kLoaderLongestCellMicroseconds = 1010;

class LoaderWatch {
 public:
  // `keepFrames`: how far behind the newest sample the decoder may still
  // ask about a bit.
  LoaderWatch(double sampleRate, std::size_t keepFrames);

  // `frames` frames, one sample every `stride` floats.
  void Feed(const float* samples, std::size_t frames, std::size_t stride);

  // A record's first sync byte ended at `frame`: its verdict starts, and the
  // loader must have had a leader before it.
  void BeginRecord(double frame, double halfCell);
  // A bit of the record whose cell (as the loader counts it) ends at
  // `frame`; `halfCell` is the half-cell found there, in frames.
  void NoteBit(double frame, double halfCell);
  // The record has ended: its verdict, from what was noted and its status.
  MachineVerdict Conclude(const DecodedRecord& record);

 private:
  struct Taken {
    double frame;
    bool late;  // seen only once the loader was ready, after the line moved
  };
  struct PendingBit {
    double frame;
    double cellMicroseconds;
    bool taken;
  };

  // The line's middle and the threshold either side of it move slowly, so
  // they are followed once every so many frames (counted from the start,
  // so that blocks of any size give the same changes).
  static constexpr int kStepFrames = 64;
  // The middle and the size are measured on every so many of them.
  static constexpr int kStatStride = 4;

  void FollowLevel();
  void OnChange(double frame);
  bool TakenNear(double frame, double tolerance);
  void Judge(const PendingBit& bit, bool last);
  void Add(LoadProblemKind kind, double frame, double cellMicroseconds);
  void Prune();

  double sampleRate_;
  double keepFrames_;
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
  static constexpr int kHigh = 2;
  int level_ = kUnknown;  // where the line was last seen beyond the threshold
  float previous_ = 0;
  double lower_ = 0;   // below this the line is low
  double upper_ = 0;   // above this, high
  double stepSum_ = 0;
  double stepPeak_ = 0;
  int stepCount_ = 0;

  // The loader's rule.
  std::optional<double> lastChange_;
  double ignoredUntil_ = 0;
  double readyAt_ = 0;
  // The first sample the search for changes looks at again: those before it
  // fall within the ignored time, and only the side they leave counts. The
  // quiet that restarts the loader is therefore measured from the last
  // change it took or looked at, not from changes it ignored.
  std::int64_t watchFrom_ = 0;
  std::vector<Taken> taken_;  // from takenHead_ on: the changes still kept
  std::size_t takenHead_ = 0;
  std::size_t cursor_ = 0;      // where the last search ended
  std::deque<double> armedAt_;  // the first change after each silence

  // The record being judged.
  MachineVerdict verdict_;
  std::optional<PendingBit> pending_;
  std::optional<LoadProblemKind> runKind_;  // the kind the previous bit showed, if any
};

}  // namespace reader
