// Turns bytes into bit cells of samples and writes them, one byte per write.
#include "tape/tape_signal.h"

#include <array>
#include <cstring>

#include "formats/byte_order.h"
#include "platform/platform.h"

namespace {

// A half-cell of the usual length as it is stored: 16 little-endian samples
// of one level. Copying a stored half-cell whole is several times faster
// than storing its samples one by one, and the conversion is mostly this.
constexpr std::uint32_t kPatternSamples = 16;
using HalfCellPattern = std::array<std::uint8_t, kPatternSamples * 2>;

constexpr HalfCellPattern MakeHalfCellPattern(std::int16_t level) {
  HalfCellPattern pattern{};
  for (std::uint32_t i = 0; i < kPatternSamples; ++i) {
    StoreLe16(static_cast<std::uint16_t>(level), pattern.data() + 2 * i);
  }
  return pattern;
}

constexpr HalfCellPattern kHighPattern = MakeHalfCellPattern(kHighLevel);
constexpr HalfCellPattern kLowPattern = MakeHalfCellPattern(kLowLevel);

std::uint8_t* StoreSamples(std::uint32_t samples, std::int16_t level, std::uint8_t* destination) {
  for (std::uint32_t i = 0; i < samples; ++i) {
    destination = StoreLe16(static_cast<std::uint16_t>(level), destination);
  }
  return destination;
}

std::uint8_t* FillHalfCell(std::uint32_t samples, std::int16_t level, std::uint8_t* destination) {
  const bool stored = level == kHighLevel || level == kLowLevel;
  if (!stored || samples != kPatternSamples) return StoreSamples(samples, level, destination);
  std::memcpy(destination, (level == kHighLevel ? kHighPattern : kLowPattern).data(),
              sizeof(HalfCellPattern));
  return destination + sizeof(HalfCellPattern);
}

}  // namespace

std::uint8_t* EmitBit(TapeSignal& signal, bool bit, std::uint8_t* destination) {
  const std::int16_t secondHalf = bit ? kHighLevel : kLowLevel;
  destination = FillHalfCell(signal.halfCellSamples, static_cast<std::int16_t>(-signal.lastLevel),
                             destination);
  destination = FillHalfCell(signal.halfCellSamples, secondHalf, destination);
  signal.lastLevel = secondHalf;
  return destination;
}

std::uint32_t EmitByte(ConversionState& state, TapeSignal& signal, std::uint8_t value) {
  std::uint8_t* position = state.scratchBuffer;
  for (unsigned mask = 0x80; mask != 0; mask >>= 1) {
    position = EmitBit(signal, (value & mask) != 0, position);
  }
  const auto requested = static_cast<std::uint32_t>(position - state.scratchBuffer);
  platform::WriteFile(state.outputHandle, state.scratchBuffer, requested, &state.transferCount);
  return requested - state.transferCount;
}

std::uint32_t EmitZeroBytes(ConversionState& state, TapeSignal& signal, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t shortfall = EmitByte(state, signal, 0);
    if (shortfall != 0) return shortfall;
  }
  return 0;
}

std::uint32_t EmitClosingHalfCell(ConversionState& state, TapeSignal& signal) {
  const auto closing = static_cast<std::int16_t>(-signal.lastLevel);
  std::uint8_t* position = FillHalfCell(signal.halfCellSamples, closing, state.scratchBuffer);
  signal.lastLevel = closing;
  const auto requested = static_cast<std::uint32_t>(position - state.scratchBuffer);
  platform::WriteFile(state.outputHandle, state.scratchBuffer, requested, &state.transferCount);
  return requested - state.transferCount;
}
