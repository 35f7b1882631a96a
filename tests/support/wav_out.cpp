// WAV writing for the tests: every field stored little-endian explicitly.
#include "tests/support/wav_out.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/byte_order.h"

namespace {

constexpr std::uint16_t kPcmEncoding = 1;
constexpr std::uint16_t kFloatEncoding = 3;

std::uint16_t BytesPerSample(formats::WavSampleType type) {
  switch (type) {
    case formats::WavSampleType::kUnsigned8: return 1;
    case formats::WavSampleType::kSigned16: return 2;
    case formats::WavSampleType::kSigned24: return 3;
    case formats::WavSampleType::kSigned32:
    case formats::WavSampleType::kFloat32: return 4;
    case formats::WavSampleType::kFloat64: return 8;
  }
  return 2;
}

bool IsFloat(formats::WavSampleType type) {
  return type == formats::WavSampleType::kFloat32 || type == formats::WavSampleType::kFloat64;
}

std::uint8_t* StoreTag(const char* tag, std::uint8_t* destination) {
  std::memcpy(destination, tag, 4);
  return destination + 4;
}

// A signed integer sample of `bits` bits, rounded and held at full scale.
std::int64_t IntegerSample(float sample, int bits) {
  const double scale = std::ldexp(1.0, bits - 1);
  const double value = std::round(static_cast<double>(sample) * scale);
  return static_cast<std::int64_t>(std::clamp(value, -scale, scale - 1));
}

void PutSample(Bytes& out, float sample, formats::WavSampleType type) {
  switch (type) {
    case formats::WavSampleType::kUnsigned8:
      out.push_back(static_cast<std::uint8_t>(IntegerSample(sample, 8) + 128));
      return;
    case formats::WavSampleType::kSigned16:
      AppendLe16(out, static_cast<std::uint16_t>(IntegerSample(sample, 16)));
      return;
    case formats::WavSampleType::kSigned24: {
      const auto value = static_cast<std::uint32_t>(IntegerSample(sample, 24));
      for (int i = 0; i < 3; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
      return;
    }
    case formats::WavSampleType::kSigned32:
      AppendLe32(out, static_cast<std::uint32_t>(IntegerSample(sample, 32)));
      return;
    case formats::WavSampleType::kFloat32: {
      std::uint32_t bits = 0;
      std::memcpy(&bits, &sample, sizeof bits);
      AppendLe32(out, bits);
      return;
    }
    case formats::WavSampleType::kFloat64: {
      const double wide = sample;
      std::uint64_t bits = 0;
      std::memcpy(&bits, &wide, sizeof bits);
      AppendLe32(out, static_cast<std::uint32_t>(bits));
      AppendLe32(out, static_cast<std::uint32_t>(bits >> 32));
      return;
    }
  }
}

}  // namespace

Bytes WavFileBytes(const std::vector<float>& interleaved, std::uint32_t sampleRate,
                   std::uint16_t channels, formats::WavSampleType type) {
  const std::uint16_t sampleBytes = BytesPerSample(type);
  const auto blockAlign = static_cast<std::uint16_t>(sampleBytes * channels);
  const auto dataBytes = static_cast<std::uint32_t>(interleaved.size() * sampleBytes);
  // A float fmt chunk carries a 2-byte extension size (0), as writers do.
  const std::uint32_t formatBytes = IsFloat(type) ? 18 : 16;
  const std::uint32_t padding = dataBytes % 2;

  // The header is laid out in a fixed buffer, then the samples follow it.
  std::uint8_t header[46];
  std::uint8_t* at = StoreTag("RIFF", header);
  at = StoreLe32(4 + (8 + formatBytes) + (8 + dataBytes + padding), at);  // "WAVE", fmt, data
  at = StoreTag("WAVE", at);
  at = StoreTag("fmt ", at);
  at = StoreLe32(formatBytes, at);
  at = StoreLe16(IsFloat(type) ? kFloatEncoding : kPcmEncoding, at);
  at = StoreLe16(channels, at);
  at = StoreLe32(sampleRate, at);
  at = StoreLe32(sampleRate * blockAlign, at);
  at = StoreLe16(blockAlign, at);
  at = StoreLe16(static_cast<std::uint16_t>(sampleBytes * 8), at);
  if (IsFloat(type)) at = StoreLe16(0, at);
  at = StoreTag("data", at);
  at = StoreLe32(dataBytes, at);

  Bytes out(header, at);
  out.reserve(out.size() + dataBytes + padding);
  for (float sample : interleaved) PutSample(out, sample, type);
  if (padding != 0) out.push_back(0);
  return out;
}

void WriteWavFile(const std::string& path, const std::vector<float>& interleaved,
                  std::uint32_t sampleRate, std::uint16_t channels, formats::WavSampleType type) {
  WriteBytes(path, WavFileBytes(interleaved, sampleRate, channels, type));
}
