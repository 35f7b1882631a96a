// The tape record and its checksum.
#include "tape/tape_record.h"

#include "app/console_texts.h"
#include "app/conversion_run.h"
#include "formats/tape_image.h"
#include "platform/platform.h"

namespace {

// The monitor's header gap is 765 zero bytes shortened by the name, up to 32
// characters, so that for names up to that length the stretch from the last
// mark byte to the second sync byte is always the same. A longer name
// shortens it no further, which keeps the run between 733 and 765 bytes.
constexpr std::uint32_t kLongestZeroRun = 765;
constexpr std::uint32_t kLongestNameCredit = 32;

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

std::uint32_t HeaderZeroRunLength(std::uint32_t nameLength) {
  return kLongestZeroRun - (nameLength < kLongestNameCredit ? nameLength : kLongestNameCredit);
}

std::uint16_t TapeChecksum(const std::uint8_t* first, const std::uint8_t* last) {
  std::uint8_t low = 0;
  std::uint8_t high = 0;
  for (; first != last; ++first) {
    const unsigned sum = low + *first;
    low = static_cast<std::uint8_t>(sum);
    high = static_cast<std::uint8_t>(high + *first + (sum >> 8));
  }
  low = static_cast<std::uint8_t>(low + *last);
  return static_cast<std::uint16_t>(high << 8 | low);
}

void PlayTapeRecord(ConversionState& state, TapeSignal& signal) {
  EmitZerosOrFail(state, signal, kLeaderBytes);
  EmitOrFail(state, signal, kSyncByte);
  if (state.flagNoHeader == 0) EmitMonitorHeader(state, signal);
  EmitBlock(state, signal, state.imageBuffer, ImageDataBlockSize(state));

  const std::uint16_t checksum = ChecksumForTape(state);
  state.checksum = checksum;
  EmitOrFail(state, signal, static_cast<std::uint8_t>(checksum));
  EmitOrFail(state, signal, static_cast<std::uint8_t>(checksum >> 8));
}
