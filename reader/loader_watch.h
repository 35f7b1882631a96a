// The machine's verdict: whether the machine's own loader would load a
// record as the recording plays it, at the speed it plays (no correction),
// on each monitor of the family.
//
// The loader follows level changes. After it takes a change it ignores the
// line for a fixed time, then takes the next change, and the bit is the
// level that change ends; a change that comes while it is still reacting
// to the last one is seen late and gives the wrong level. So it loads only
// while every half-cell falls inside the ignored time and every cell is
// longer than that time and the reaction together: cells of about 650 to
// 1010 microseconds, that is 0.72 to 1.11 times lentok's speed.
//
// The changes the loader took come from LoaderInput, which looks at the
// same samples as the channel's decoder, a little ahead of it. The decoder
// tells the watch where each bit of a record ends; a bit whose end is not
// a change the loader took in time is where the load goes wrong. Only the
// recent changes are kept, so memory stays the same however long the
// recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "reader/decoded_record.h"
#include "reader/loader_input.h"

namespace reader {

// The loader's window of cell lengths, as measured on the machine.
constexpr double kLoaderShortestCellMicroseconds = 650;
constexpr double kLoaderLongestCellMicroseconds = 1010;

class LoaderWatch {
 public:
  // `keepFrames`: how far behind the newest sample the decoder may still
  // ask about a bit.
  LoaderWatch(double sampleRate, std::size_t keepFrames);

  // The next changes the loader took, in the order they came.
  void Take(const LoaderChange* changes, std::size_t count);
  // The input has been read up to `position`: changes more than the
  // kept frames before it are no longer asked about.
  void ForgetBefore(std::int64_t position);

  // A record's first sync byte ended at `frame`: its verdict starts, and the
  // loader must have had a leader before it.
  void BeginRecord(double frame, double halfCell);
  // A bit of the record whose cell (as the loader counts it) ends at
  // `frame`; `halfCell` is the half-cell found there, in frames.
  void NoteBit(double frame, double halfCell);
  // The record has ended: its verdict on each monitor, from what was noted
  // and its status.
  MachineVerdict Conclude(const DecodedRecord& record);

 private:
  struct PendingBit {
    double frame;
    double cellMicroseconds;
    bool taken;
  };

  bool TakenNear(double frame, double tolerance);
  void Judge(const PendingBit& bit, bool last);
  void Add(LoadProblemKind kind, double frame, double cellMicroseconds);

  double microsecondsPerFrame_;
  double keepFrames_;

  // The changes the loader took.
  std::vector<LoaderChange> taken_;  // from takenHead_ on: the changes still kept
  std::size_t takenHead_ = 0;
  std::size_t cursor_ = 0;      // where the last search ended
  std::deque<double> armedAt_;  // the first change after each silence

  // The record being judged.
  MachineVerdict verdict_;
  std::optional<PendingBit> pending_;
  std::optional<LoadProblemKind> runKind_;  // the kind the previous bit showed, if any
  double lastHalfCell_ = 0;
};

}  // namespace reader
