// The WAV header template and the patch of its two sizes.
#include "formats/wav_file.h"

#include "formats/byte_order.h"
#include "tape/tape_format.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kFormatChunkSize = 18;  // PCM fields plus the 2-byte extension size
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kChannels = 1;
constexpr std::uint32_t kSampleRate = kRecordingSampleRate;
constexpr std::uint16_t kBytesPerFrame = 2;
constexpr std::uint16_t kBitsPerSample = 16;

constexpr std::uint8_t* StoreTag(const char (&tag)[5], std::uint8_t* destination) {
  for (int i = 0; i < 4; ++i) *destination++ = static_cast<std::uint8_t>(tag[i]);
  return destination;
}

constexpr std::array<std::uint8_t, kWavHeaderSize> MakeWavHeaderTemplate() {
  std::array<std::uint8_t, kWavHeaderSize> header{};
  std::uint8_t* p = header.data();
  p = StoreTag("RIFF", p);
  p = StoreLe32(kRiffSizePlaceholder, p);
  p = StoreTag("WAVE", p);
  p = StoreTag("fmt ", p);
  p = StoreLe32(kFormatChunkSize, p);
  p = StoreLe16(kFormatPcm, p);
  p = StoreLe16(kChannels, p);
  p = StoreLe32(kSampleRate, p);
  p = StoreLe32(kSampleRate * kBytesPerFrame, p);
  p = StoreLe16(kBytesPerFrame, p);
  p = StoreLe16(kBitsPerSample, p);
  p = StoreLe16(0, p);  // extension size
  p = StoreTag("data", p);
  StoreLe32(kDataSizePlaceholder, p);
  return header;
}

// What a failed flush counts as: the bytes lost were counted as written by
// earlier calls, so any nonzero shortfall stands for them.
constexpr std::uint32_t kUnflushedShortfall = 1;

// Seeks to `offset` and writes `value` there; returns the shortfall. A seek
// that fails writes nothing, since the bytes would land at the end. If it
// failed for a lost flush, the final flush reports that loss.
std::uint32_t PatchField(ConversionState& state, std::uint32_t offset, std::uint32_t value) {
  if (platform::SetFilePointer(state.outputHandle, static_cast<std::int32_t>(offset),
                               platform::kFileBegin) != offset) {
    return 0;
  }
  std::uint8_t bytes[4];
  StoreLe32(value, bytes);
  platform::WriteFile(state.outputHandle, bytes, sizeof bytes, &state.transferCount);
  return sizeof bytes - state.transferCount;
}

}  // namespace

constexpr std::array<std::uint8_t, kWavHeaderSize> kWavHeaderTemplate = MakeWavHeaderTemplate();

std::uint32_t WriteWavHeader(ConversionState& state) {
  platform::WriteFile(state.outputHandle, kWavHeaderTemplate.data(), kWavHeaderSize,
                      &state.transferCount);
  return kWavHeaderSize - state.transferCount;
}

std::uint32_t PatchWavSizes(ConversionState& state) {
  // Every sample must be in the file before its length is taken: once the
  // flush has succeeded, a position that cannot be had means a pipe and not
  // a lost write.
  if (!platform::FlushFileBuffers(state.outputHandle)) return kUnflushedShortfall;
  const std::uint32_t length = platform::SetFilePointer(state.outputHandle, 0, platform::kFileCurrent);
  if (length == platform::kInvalidSetFilePointer || length < kWavHeaderSize) return 0;
  std::uint32_t shortfall = PatchField(state, kRiffSizeOffset, length - 8);
  if (shortfall == 0) shortfall = PatchField(state, kDataSizeOffset, length - kWavHeaderSize);
  if (shortfall != 0) return shortfall;
  // The last size may still be held back; this is the run's final counted
  // write, so it has to be judged here and not at the close.
  return platform::FlushFileBuffers(state.outputHandle) ? 0 : kUnflushedShortfall;
}
