// The samples: each byte's cells through lentok's EmitBit, straight into the
// caller's buffer where a whole byte fits, through a piece kept here where
// it does not.
#include "side/side_samples.h"

#include <algorithm>
#include <cstring>

#include "formats/byte_order.h"

namespace side {

namespace {

std::uint8_t* EmitTapeByte(TapeSignal& signal, std::uint8_t value, std::uint8_t* destination) {
  for (unsigned mask = 0x80; mask != 0; mask >>= 1) destination = EmitBit(signal, (value & mask) != 0, destination);
  return destination;
}

// The half-cell lentok ends a recording with (EmitClosingHalfCell): the
// level opposite the last one, the change that closes the last bit.
std::uint8_t* EmitClosing(TapeSignal& signal, std::uint8_t* destination) {
  const auto level = static_cast<std::int16_t>(-signal.lastLevel);
  for (std::uint32_t i = 0; i < signal.halfCellSamples; ++i) {
    destination = StoreLe16(static_cast<std::uint16_t>(level), destination);
  }
  signal.lastLevel = level;
  return destination;
}

}  // namespace

SideSamples::SideSamples(const SidePlan& plan) : plan_(plan), bytesLeft_(2 * plan.contents.frames) {}

std::size_t SideSamples::NextPiece(std::uint8_t* destination) {
  if (program_ >= plan_.tapeBytes.size()) return 0;
  const std::vector<std::uint8_t>& tape = plan_.tapeBytes[program_];
  if (byte_ < tape.size()) {
    return static_cast<std::size_t>(EmitTapeByte(signal_, tape[byte_++], destination) - destination);
  }
  const std::size_t size = static_cast<std::size_t>(EmitClosing(signal_, destination) - destination);
  // Each program starts as a recording of its own does, its first
  // half-cell high.
  ++program_;
  byte_ = 0;
  signal_ = TapeSignal{};
  if (program_ < plan_.tapeBytes.size()) gapBytes_ = 2 * plan_.contents.gapFrames;
  return size;
}

std::size_t SideSamples::Read(std::uint8_t* destination, std::size_t capacity) {
  std::size_t filled = 0;
  while (filled < capacity) {
    if (pieceTaken_ < pieceSize_) {
      const std::size_t count = std::min(capacity - filled, pieceSize_ - pieceTaken_);
      std::memcpy(destination + filled, piece_.data() + pieceTaken_, count);
      pieceTaken_ += count;
      filled += count;
    } else if (gapBytes_ > 0) {
      const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(capacity - filled, gapBytes_));
      std::memset(destination + filled, 0, count);
      gapBytes_ -= count;
      filled += count;
    } else if (capacity - filled >= kPieceBytes) {
      const std::size_t size = NextPiece(destination + filled);
      if (size == 0) break;
      filled += size;
    } else {
      pieceSize_ = NextPiece(piece_.data());
      pieceTaken_ = 0;
      if (pieceSize_ == 0) break;
    }
  }
  bytesLeft_ -= filled;
  return filled;
}

}  // namespace side
