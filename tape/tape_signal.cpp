// Turns bytes into bit cells of samples and writes them, one byte per write.
#include "tape/tape_signal.h"

#include "formats/byte_order.h"
#include "platform/platform.h"

namespace {

std::uint8_t* FillHalfCell(std::uint32_t samples, std::int16_t level, std::uint8_t* destination) {
  for (std::uint32_t i = 0; i < samples; ++i) {
    destination = StoreLe16(static_cast<std::uint16_t>(level), destination);
  }
  return destination;
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
