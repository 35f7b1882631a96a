// Bits from half-cell boundaries. Every bit is a change in the middle of its
// cell: a fall for a one, a rise for a zero; between cells the level changes
// only when two equal bits meet. Which boundaries are the middles, and
// whether the recording is inverted, is settled where a leader of equal bits
// ends in the sync byte: both sets of boundaries and both polarities are
// watched until one of the four shows it.
#pragma once

#include <cstdint>

#include "reader/cell_timing.h"

namespace reader {

struct BitEvent {
  enum class Kind {
    kNone,
    kSync,  // a sync byte has just ended: bytes follow
    kBit,
  };
  Kind kind = Kind::kNone;
  double frame = 0;  // the middle of the bit's cell
  bool value = false;
  bool doubtful = false;
  std::uint8_t confidence = 0;  // the change's share of a full one, 0 to 255
  bool inverted = false;
  double halfCell = 0;
  double amplitude = 0;
};

class BitReader {
 public:
  enum class Mode {
    kLeader,      // a leader and a sync byte, anywhere, either polarity
    kSecondSync,  // zeros and a sync byte, in the polarity found before
    kBits,
  };

  void SetMode(Mode mode);
  Mode CurrentMode() const { return mode_; }

  // Judges one boundary of the track; a new track starts the search over.
  // While searching for a leader every boundary is wanted; after a sync
  // byte, only the cells' middles (the caller steps by whole cells).
  BitEvent Take(const TimingEvent& boundary);

  // Forgets the track: what comes next is searched for anew.
  void Reset();

 private:
  BitEvent FindLeaderAndSync(const TimingEvent& boundary, int parity, bool fall, bool strong);
  BitEvent FindSecondSync(const TimingEvent& boundary, bool value, bool strong);
  // Where the event lies, and how the track was read there.
  void SetPlace(BitEvent& event, const TimingEvent& boundary) const;
  // A sync byte has ended at `boundary`: bits follow.
  BitEvent SyncAt(const TimingEvent& boundary);
  // Takes a reading into one set of boundaries; returns how many that set
  // has taken since the search began.
  std::uint32_t ShiftIn(int set, bool value, bool strong);

  Mode mode_ = Mode::kLeader;
  std::uint64_t index_ = 0;  // boundaries since the track started
  // Per set of boundaries (even, odd): the latest readings, newest lowest.
  std::uint64_t values_[2] = {0, 0};
  std::uint64_t strong_[2] = {0, 0};
  std::uint32_t seen_[2] = {0, 0};
  bool inverted_ = false;
};

}  // namespace reader
