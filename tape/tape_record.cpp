// The tape record: what goes on tape for one image, in order.
#include "tape/tape_record.h"

#include "app/console_texts.h"
#include "app/conversion_run.h"
#include "formats/tape_image.h"
#include "platform/platform.h"

namespace {

void EmitOrFail(ConversionState& state, TapeSignal& signal, std::uint8_t value) {
  if (EmitByte(state, signal, value) != 0) ReportFailure(state, texts::kWriteError);
}

void EmitZerosOrFail(ConversionState& state, TapeSignal& signal, std::uint32_t count) {
  if (EmitZeroBytes(state, signal, count) != 0) ReportFailure(state, texts::kWriteError);
}

void EmitBlock(ConversionState& state, TapeSignal& signal, const std::uint8_t* bytes,
               std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) EmitOrFail(state, signal, bytes[i]);
}

// The name is the final component of the input path, upper-cased in place.
// Returns its length.
std::uint32_t EmitName(ConversionState& state, TapeSignal& signal) {
  char* name = platform::CharUpperA(platform::PathFindFileNameA(state.inputName));
  std::uint32_t length = 0;
  for (; name[length] != '\0'; ++length) {
    EmitOrFail(state, signal, static_cast<std::uint8_t>(name[length]));
  }
  return length;
}

void EmitMonitorHeader(ConversionState& state, TapeSignal& signal) {
  for (std::uint32_t i = 0; i < kHeaderMarkCount; ++i) EmitOrFail(state, signal, kHeaderMarkByte);
  const std::uint32_t nameLength = EmitName(state, signal);
  EmitZerosOrFail(state, signal, HeaderZeroRunLength(nameLength));
  EmitOrFail(state, signal, kSyncByte);
}

std::uint16_t ChecksumForTape(const ConversionState& state) {
  if (state.flagChecksum == 0) return ImageStoredChecksum(state);
  return TapeChecksum(ImageFirstDataByte(state), ImageLastDataByte(state));
}

}  // namespace

void PlayTapeRecord(ConversionState& state, TapeSignal& signal) {
  EmitZerosOrFail(state, signal, kLeaderBytes);
  EmitOrFail(state, signal, kSyncByte);
  if (state.flagNoHeader == 0) EmitMonitorHeader(state, signal);
  EmitBlock(state, signal, state.imageBuffer, ImageDataBlockSize(state));

  const std::uint16_t checksum = ChecksumForTape(state);
  state.checksum = checksum;
  EmitOrFail(state, signal, static_cast<std::uint8_t>(checksum));
  EmitOrFail(state, signal, static_cast<std::uint8_t>(checksum >> 8));
  if (EmitClosingHalfCell(state, signal) != 0) ReportFailure(state, texts::kWriteError);
}
