// The streaming WAV reader: a small state machine over the chunks of a
// RIFF/WAVE file. The fixed headers, the first bytes of the fmt chunk and a
// frame split between two blocks are collected in one small buffer;
// everything else is counted off as it passes, so the memory used never
// depends on a size the file states.
#include "formats/wav_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "formats/byte_order.h"

namespace formats {
namespace {

constexpr std::size_t kRiffHeaderBytes = 12;   // "RIFF", size, "WAVE"
constexpr std::size_t kChunkHeaderBytes = 8;   // id, size
// Format tag, channels, rate, byte rate, block align, bits per sample.
constexpr std::size_t kPlainFormatBytes = 16;
// Then extension size, valid bits, channel mask and the sub-format GUID.
constexpr std::size_t kExtensibleFormatBytes = 40;
constexpr std::size_t kSubFormatOffset = 24;

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
// An extensible sub-format GUID is the plain format tag as a 32-bit number
// followed by these fixed bytes; the tag's upper half is among them.
constexpr std::uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Data sizes that mean "as far as the stream goes": what writers that cannot
// seek back leave in the header. 0xFFBFDFD2 is the placeholder lentok writes
// (kDataSizePlaceholder of its WAV writer).
bool IsStreamingSize(std::uint32_t size) {
  return size == 0 || size == 0xFFFFFFFFu || size == 0xFFBFDFD2u;
}

bool IsId(const std::uint8_t* bytes, const char* id) { return std::memcmp(bytes, id, 4) == 0; }

std::uint32_t Le32At(const std::uint8_t* bytes) {
  return LoadLe16(bytes) | static_cast<std::uint32_t>(LoadLe16(bytes + 2)) << 16;
}

std::uint64_t Le64At(const std::uint8_t* bytes) {
  return Le32At(bytes) | static_cast<std::uint64_t>(Le32At(bytes + 4)) << 32;
}

std::optional<WavSampleType> SampleTypeFor(std::uint16_t tag, std::uint16_t bits) {
  if (tag == kTagFloat) {
    if (bits == 32) return WavSampleType::kFloat32;
    if (bits == 64) return WavSampleType::kFloat64;
    return std::nullopt;
  }
  switch (bits) {
    case 8: return WavSampleType::kUnsigned8;
    case 16: return WavSampleType::kSigned16;
    case 24: return WavSampleType::kSigned24;
    case 32: return WavSampleType::kSigned32;
    default: return std::nullopt;
  }
}

std::size_t BytesPerSample(WavSampleType type) {
  switch (type) {
    case WavSampleType::kUnsigned8: return 1;
    case WavSampleType::kSigned16: return 2;
    case WavSampleType::kSigned24: return 3;
    case WavSampleType::kSigned32: return 4;
    case WavSampleType::kFloat32: return 4;
    case WavSampleType::kFloat64: return 8;
  }
  return 0;
}

// Float samples are taken as they are, but a file may hold anything: values
// that are not numbers become silence and huge ones are held to 16, so that
// no later sum overflows.
float Tamed(double value) {
  if (!std::isfinite(value)) return 0.0f;
  return static_cast<float>(std::clamp(value, -16.0, 16.0));
}

// One switch per block rather than per sample.
void DecodeSamples(const std::uint8_t* in, std::size_t samples, WavSampleType type, float* out) {
  switch (type) {
    case WavSampleType::kUnsigned8:
      for (std::size_t i = 0; i < samples; ++i) out[i] = (in[i] - 128) / 128.0f;
      break;
    case WavSampleType::kSigned16:
      for (std::size_t i = 0; i < samples; ++i)
        out[i] = static_cast<std::int16_t>(LoadLe16(in + 2 * i)) / 32768.0f;
      break;
    case WavSampleType::kSigned24:
      for (std::size_t i = 0; i < samples; ++i) {
        const std::uint8_t* s = in + 3 * i;
        const std::int32_t unsignedValue = s[0] | s[1] << 8 | s[2] << 16;
        out[i] = ((unsignedValue ^ 0x800000) - 0x800000) / 8388608.0f;
      }
      break;
    case WavSampleType::kSigned32:
      for (std::size_t i = 0; i < samples; ++i)
        out[i] = static_cast<float>(static_cast<std::int32_t>(Le32At(in + 4 * i)) / 2147483648.0);
      break;
    case WavSampleType::kFloat32:
      for (std::size_t i = 0; i < samples; ++i) {
        const std::uint32_t bits = Le32At(in + 4 * i);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        out[i] = Tamed(value);
      }
      break;
    case WavSampleType::kFloat64:
      for (std::size_t i = 0; i < samples; ++i) {
        const std::uint64_t bits = Le64At(in + 8 * i);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        out[i] = Tamed(value);
      }
      break;
  }
}

}  // namespace

float* SampleBuffer::Extend(std::size_t count) {
  if (size_ + count > capacity_) {
    // A quarter to spare: a buffer cleared and filled again block after
    // block then grows once, though the first block (after the file's
    // header) is a little shorter than the rest.
    const std::size_t needed = size_ + count;
    const std::size_t capacity = std::max(needed + needed / 4, 2 * capacity_);
    std::unique_ptr<float[]> grown(new float[capacity]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_ * sizeof(float));
    data_ = std::move(grown);
    capacity_ = capacity;
  }
  float* const room = data_.get() + size_;
  size_ += count;
  return room;
}

WavError WavStreamReader::Feed(const std::uint8_t* bytes, std::size_t count,
                               std::vector<float>& frames) {
  return FeedTo(bytes, count, [&frames](std::size_t samples) {
    const std::size_t old = frames.size();
    frames.resize(old + samples);
    return frames.data() + old;
  });
}

WavError WavStreamReader::Feed(const std::uint8_t* bytes, std::size_t count, SampleBuffer& frames) {
  return FeedTo(bytes, count, [&frames](std::size_t samples) { return frames.Extend(samples); });
}

WavError WavStreamReader::FeedTo(const std::uint8_t* bytes, std::size_t count, const Output& output) {
  // Every step takes at least one byte or fails, so this ends.
  while (count > 0 && stage_ != Stage::kFailed) {
    const std::size_t taken = Step(bytes, count, output);
    bytes += taken;
    count -= taken;
  }
  return error_;
}

WavError WavStreamReader::Finish() {
  if (stage_ == Stage::kFailed) return error_;
  if (!dataBegan_) {
    const bool notRiff = stage_ == Stage::kRiffHeader &&
                         std::memcmp(held_, "RIFF", std::min<std::size_t>(heldCount_, 4)) != 0;
    Fail(notRiff ? WavError::kNotRiff : WavError::kNoData);
    return error_;
  }
  // In the data stage a real size always has bytes left; a partial frame is
  // dropped.
  if (stage_ == Stage::kData && dataBounded_) endedShort_ = true;
  heldCount_ = 0;
  return WavError::kNone;
}

bool WavStreamReader::HasFormat() const { return hasFormat_; }
const WavFormat& WavStreamReader::Format() const { return format_; }
std::uint64_t WavStreamReader::FramesRead() const { return framesRead_; }
bool WavStreamReader::EndedShort() const { return endedShort_; }

std::size_t WavStreamReader::Step(const std::uint8_t* bytes, std::size_t count, const Output& output) {
  switch (stage_) {
    case Stage::kRiffHeader: {
      const std::size_t taken = Hold(bytes, count, kRiffHeaderBytes);
      if (heldCount_ == kRiffHeaderBytes) ReadRiffHeader();
      return taken;
    }
    case Stage::kChunkHeader: {
      const std::size_t taken = Hold(bytes, count, kChunkHeaderBytes);
      if (heldCount_ == kChunkHeaderBytes) ReadChunkHeader();
      return taken;
    }
    case Stage::kFormatBody: {
      const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(count, chunkLeft_));
      const std::size_t kept = std::min(taken, kHeldBytes - heldCount_);
      std::memcpy(held_ + heldCount_, bytes, kept);
      heldCount_ += kept;
      chunkLeft_ -= taken;
      if (chunkLeft_ == 0) ReadFormatChunk();
      return taken;
    }
    case Stage::kData:
      return ReadData(bytes, count, output);
    case Stage::kSkip: {
      const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(count, chunkLeft_));
      chunkLeft_ -= taken;
      if (chunkLeft_ == 0) stage_ = Stage::kChunkHeader;
      return taken;
    }
    case Stage::kFailed:
      break;
  }
  return count;
}

std::size_t WavStreamReader::Hold(const std::uint8_t* bytes, std::size_t count,
                                  std::size_t wanted) {
  const std::size_t taken = std::min(count, wanted - heldCount_);
  std::memcpy(held_ + heldCount_, bytes, taken);
  heldCount_ += taken;
  return taken;
}

void WavStreamReader::ReadRiffHeader() {
  // The RIFF size is not read: it is often wrong, and the chunks and the
  // end of the input tell everything it would.
  if (!IsId(held_, "RIFF")) return Fail(WavError::kNotRiff);
  if (!IsId(held_ + 8, "WAVE")) return Fail(WavError::kNotWave);
  heldCount_ = 0;
  stage_ = Stage::kChunkHeader;
}

void WavStreamReader::ReadChunkHeader() {
  const std::uint32_t size = Le32At(held_ + 4);
  const bool isFormat = IsId(held_, "fmt ");
  const bool isData = IsId(held_, "data");
  heldCount_ = 0;
  chunkLeft_ = size;
  chunkPadded_ = (size & 1) != 0;
  if (isFormat && !hasFormat_) {
    stage_ = Stage::kFormatBody;
    if (size == 0) ReadFormatChunk();
    return;
  }
  if (isData && !dataBegan_) {
    if (!hasFormat_) return Fail(WavError::kNoFormatChunk);
    dataBegan_ = true;
    dataBounded_ = !IsStreamingSize(size);
    stage_ = Stage::kData;
    return;
  }
  // Only the first fmt and data chunks are read; the rest pass by.
  Skip(std::uint64_t{size} + chunkPadded_);
}

void WavStreamReader::ReadFormatChunk() {
  const std::uint8_t* fmt = held_;
  if (heldCount_ < kPlainFormatBytes) return Fail(WavError::kBadFormatChunk);
  std::uint16_t tag = LoadLe16(fmt);
  if (tag == kTagExtensible) {
    if (heldCount_ < kExtensibleFormatBytes) return Fail(WavError::kBadFormatChunk);
    if (std::memcmp(fmt + kSubFormatOffset + 2, kSubFormatTail, sizeof kSubFormatTail) != 0)
      return Fail(WavError::kUnsupportedEncoding);
    tag = LoadLe16(fmt + kSubFormatOffset);
  }
  if (tag != kTagPcm && tag != kTagFloat) return Fail(WavError::kUnsupportedEncoding);

  const std::uint16_t channels = LoadLe16(fmt + 2);
  const std::uint32_t rate = Le32At(fmt + 4);
  const std::uint16_t blockAlign = LoadLe16(fmt + 12);
  const std::uint16_t bits = LoadLe16(fmt + 14);
  if (channels == 0 || channels > kMostWavChannels) return Fail(WavError::kUnsupportedChannels);
  if (rate < kLowestWavRate || rate > kHighestWavRate) return Fail(WavError::kUnsupportedRate);
  const std::optional<WavSampleType> type = SampleTypeFor(tag, bits);
  if (!type) return Fail(WavError::kUnsupportedBits);
  // The byte rate is not checked: nothing here depends on it.
  if (blockAlign != channels * BytesPerSample(*type)) return Fail(WavError::kBadFormatChunk);

  format_ = WavFormat{rate, channels, *type, blockAlign};
  hasFormat_ = true;
  Skip(chunkPadded_);
}

std::size_t WavStreamReader::ReadData(const std::uint8_t* bytes, std::size_t count, const Output& output) {
  const std::size_t taken =
      dataBounded_ ? static_cast<std::size_t>(std::min<std::uint64_t>(count, chunkLeft_)) : count;
  DecodeFrames(bytes, taken, output);
  if (dataBounded_) {
    chunkLeft_ -= taken;
    if (chunkLeft_ == 0) Skip(chunkPadded_);  // drops a partial last frame
  }
  return taken;
}

void WavStreamReader::DecodeFrames(const std::uint8_t* bytes, std::size_t count, const Output& output) {
  const std::size_t frameBytes = format_.blockAlign;
  if (heldCount_ > 0) {  // the rest of a frame split between blocks
    const std::size_t part = std::min(count, frameBytes - heldCount_);
    Hold(bytes, part, frameBytes);
    bytes += part;
    count -= part;
    if (heldCount_ < frameBytes) return;
    AppendFrames(held_, 1, output);
    heldCount_ = 0;
  }
  const std::size_t whole = count / frameBytes;
  AppendFrames(bytes, whole, output);
  Hold(bytes + whole * frameBytes, count - whole * frameBytes, frameBytes);
}

void WavStreamReader::AppendFrames(const std::uint8_t* bytes, std::size_t count, const Output& output) {
  if (count == 0) return;
  const std::size_t samples = count * format_.channels;
  DecodeSamples(bytes, samples, format_.sampleType, output(samples));
  framesRead_ += count;
}

void WavStreamReader::Skip(std::uint64_t count) {
  heldCount_ = 0;
  chunkLeft_ = count;
  stage_ = count == 0 ? Stage::kChunkHeader : Stage::kSkip;
}

void WavStreamReader::Fail(WavError error) {
  error_ = error;
  stage_ = Stage::kFailed;
}

}  // namespace formats
