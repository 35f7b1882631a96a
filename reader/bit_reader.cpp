// Leader and sync search, and bit decisions.
#include "reader/bit_reader.h"

#include <algorithm>
#include <bitset>
#include <cmath>

#include "tape/tape_format.h"

namespace reader {

namespace {

// A leader must show this many equal bits before the sync byte (the
// writer sends 2040); a few doubtful or wrong ones among them are forgiven.
constexpr int kLeaderBits = 56;
constexpr int kLeaderFaultsForgiven = 3;
// Before the second sync byte, a byte of zeros.
constexpr int kSecondLeaderBits = 8;
// Readings above this share of a full change count as clear.
constexpr double kClearShare = 0.4;
// Bits below this share are reported as doubtful. The last bit of a
// recording that ends in silence shows half a change, and is not in doubt.
constexpr double kDoubtShare = 0.35;

int CountBits(std::uint64_t bits) { return static_cast<int>(std::bitset<64>(bits).count()); }

std::uint64_t LowBits(int count) {
  return count >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << count) - 1;
}

}  // namespace

void BitReader::SetMode(Mode mode) {
  mode_ = mode;
  values_[0] = values_[1] = 0;
  strong_[0] = strong_[1] = 0;
  seen_[0] = seen_[1] = 0;
}

void BitReader::Reset() {
  index_ = 0;
  SetMode(Mode::kLeader);
}

BitEvent BitReader::Take(const TimingEvent& boundary) {
  if (boundary.trackStart) Reset();
  const int parity = static_cast<int>(index_++ & 1);
  // A fall reads as a one in the writer's polarity.
  const bool fall = boundary.edge > 0;
  const bool strong = std::fabs(boundary.edge) > kClearShare * boundary.amplitude;

  if (mode_ == Mode::kLeader) return FindLeaderAndSync(boundary, parity, fall, strong);
  const bool value = fall != inverted_;
  if (mode_ == Mode::kSecondSync) return FindSecondSync(boundary, value, strong);

  const double share = boundary.amplitude > 0 ? std::fabs(boundary.edge) / boundary.amplitude : 0;
  BitEvent bit;
  // Field by field into the event returned: built apart and copied whole,
  // its small fields cost a stall on every bit.
  SetPlace(bit, boundary);
  bit.kind = BitEvent::Kind::kBit;
  bit.value = value;
  bit.doubtful = share < kDoubtShare;
  bit.confidence = static_cast<std::uint8_t>(255 * std::min(share, 1.0) + 0.5);
  return bit;
}

void BitReader::SetPlace(BitEvent& event, const TimingEvent& boundary) const {
  event.frame = boundary.frame;
  event.inverted = inverted_;
  event.halfCell = boundary.halfCell;
  event.amplitude = boundary.amplitude;
}

BitEvent BitReader::SyncAt(const TimingEvent& boundary) {
  SetMode(Mode::kBits);
  BitEvent sync;
  SetPlace(sync, boundary);
  sync.kind = BitEvent::Kind::kSync;
  return sync;
}

std::uint32_t BitReader::ShiftIn(int set, bool value, bool strong) {
  values_[set] = values_[set] << 1 | (value ? 1u : 0u);
  strong_[set] = strong_[set] << 1 | (strong ? 1u : 0u);
  return ++seen_[set];
}

BitEvent BitReader::FindLeaderAndSync(const TimingEvent& boundary, int parity, bool fall,
                                      bool strong) {
  if (ShiftIn(parity, fall, strong) < kLeaderBits + 8) return {};
  const std::uint64_t values = values_[parity];
  const std::uint64_t clear = strong_[parity];

  const std::uint64_t window = LowBits(kLeaderBits + 8);
  for (const bool inverted : {false, true}) {
    // Zeros then the sync byte; inverted, ones then its complement.
    const std::uint64_t expected =
        (inverted ? ~std::uint64_t{kSyncByte} : std::uint64_t{kSyncByte}) & window;
    if ((values & 0xFF) != (expected & 0xFF) || (clear & 0xFF) != 0xFF) continue;
    const int faults = CountBits(((values ^ expected) & window) >> 8) +
                       CountBits((~clear & window) >> 8);
    if (faults > kLeaderFaultsForgiven) continue;

    inverted_ = inverted;
    return SyncAt(boundary);
  }
  return {};
}

BitEvent BitReader::FindSecondSync(const TimingEvent& boundary, bool value, bool strong) {
  if (ShiftIn(0, value, strong) < kSecondLeaderBits + 8) return {};
  const std::uint64_t window = LowBits(kSecondLeaderBits + 8);
  if ((values_[0] & window) != kSyncByte || (strong_[0] & 0xFF) != 0xFF) return {};
  return SyncAt(boundary);
}

}  // namespace reader
