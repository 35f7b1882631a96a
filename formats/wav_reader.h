// Reads a RIFF/WAVE file as a stream: bytes go in, in blocks of any size,
// and frames of float samples (interleaved, -1 to 1) come out, in bounded
// memory however long the file. The chunks are walked as the file gives
// them (LIST, fact and unknown chunks skipped, odd sizes padded); sizes are
// trusted only as far as the bytes go, so a header written into a pipe, a
// data chunk larger than the file and a file cut short all give what is
// there. Anything it cannot take is an error value, never a crash or a wait.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace formats {

enum class WavSampleType {
  kUnsigned8,
  kSigned16,
  kSigned24,
  kSigned32,
  kFloat32,
  kFloat64,
};

struct WavFormat {
  std::uint32_t sampleRate = 0;
  std::uint16_t channels = 0;
  WavSampleType sampleType = WavSampleType::kSigned16;
  std::uint16_t blockAlign = 0;  // bytes per frame
};

constexpr std::uint32_t kLowestWavRate = 8000;
constexpr std::uint32_t kHighestWavRate = 192000;
constexpr std::uint16_t kMostWavChannels = 8;

enum class WavError {
  kNone,
  kNotRiff,             // does not begin with RIFF (or RF64 and the like)
  kNotWave,             // RIFF, but not of form WAVE
  kNoFormatChunk,       // the data chunk came before any fmt chunk
  kBadFormatChunk,      // fmt chunk too short or inconsistent (block align)
  kUnsupportedEncoding, // neither PCM nor IEEE float (compressed, say)
  kUnsupportedBits,     // a sample width the encoding does not allow here
  kUnsupportedChannels, // 0 or more than 8
  kUnsupportedRate,     // outside 8000 to 192000 Hz
  kNoData,              // the input ended before any data chunk began
};

// A run of samples that grows without clearing what it adds: the reader
// writes every sample it adds at once, and a vector would first fill them
// with zeros, a pass over memory as long as the decoding itself.
class SampleBuffer {
 public:
  void Clear() { size_ = 0; }
  // Room for `count` more samples after the ones held; the caller writes
  // them all.
  float* Extend(std::size_t count);
  const float* Data() const { return data_.get(); }
  std::size_t Size() const { return size_; }

 private:
  std::unique_ptr<float[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

class WavStreamReader {
 public:
  // Takes the next `count` bytes of the file. Samples decoded from them are
  // appended to `frames`, interleaved, channel by channel. After an error
  // every later call returns the same error.
  WavError Feed(const std::uint8_t* bytes, std::size_t count, std::vector<float>& frames);
  WavError Feed(const std::uint8_t* bytes, std::size_t count, SampleBuffer& frames);

  // The input has ended. An input cut short inside the data (or before the
  // size the header claims) is not an error: what was there has been given,
  // less a partial last frame. An input that ended before the data began is
  // (kNoData, or kNotRiff when its first bytes already were not "RIFF").
  WavError Finish();

  // Known once the fmt chunk has been read.
  bool HasFormat() const;
  const WavFormat& Format() const;

  // Frames handed out so far.
  std::uint64_t FramesRead() const;

  // After Finish: the data ended before the size its chunk header gave.
  // Never for the sizes that mean "as far as the stream goes": 0,
  // 0xFFFFFFFF and the placeholder lentok leaves in a pipe.
  bool EndedShort() const;

  // Implementation state follows; see the .cpp.
 private:
  enum class Stage {
    kRiffHeader,   // the 12 bytes "RIFF", size, "WAVE"
    kChunkHeader,  // the 8 bytes of a chunk's id and size
    kFormatBody,   // the fmt chunk: its first bytes kept, the rest counted off
    kData,         // samples
    kSkip,         // a chunk not read, or a pad byte, counted off
    kFailed,
  };
  // Enough for the longest fmt chunk read (40 bytes, the extensible form)
  // and for one frame of the widest format (8 channels of 8 bytes).
  static constexpr std::size_t kHeldBytes = 64;

  // Where the samples of one Feed go.
  using Output = std::function<float*(std::size_t samples)>;
  WavError FeedTo(const std::uint8_t* bytes, std::size_t count, const Output& output);
  std::size_t Step(const std::uint8_t* bytes, std::size_t count, const Output& output);
  std::size_t Hold(const std::uint8_t* bytes, std::size_t count, std::size_t wanted);
  void ReadRiffHeader();
  void ReadChunkHeader();
  void ReadFormatChunk();
  std::size_t ReadData(const std::uint8_t* bytes, std::size_t count, const Output& output);
  void DecodeFrames(const std::uint8_t* bytes, std::size_t count, const Output& output);
  void AppendFrames(const std::uint8_t* bytes, std::size_t count, const Output& output);
  void Skip(std::uint64_t count);
  void Fail(WavError error);

  Stage stage_ = Stage::kRiffHeader;
  WavError error_ = WavError::kNone;
  std::uint8_t held_[kHeldBytes] = {};
  std::size_t heldCount_ = 0;
  std::uint64_t chunkLeft_ = 0;   // bytes of the current chunk not yet taken
  bool chunkPadded_ = false;      // an odd chunk size: one pad byte follows
  bool dataBounded_ = false;      // the data chunk's size is a real size
  bool dataBegan_ = false;
  bool endedShort_ = false;
  WavFormat format_;
  bool hasFormat_ = false;
  std::uint64_t framesRead_ = 0;
};

}  // namespace formats
