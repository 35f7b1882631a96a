// The side in a file format: its samples (side_samples.h) through an
// encoder, block by block, into whatever takes the bytes. WAV and FLAC are
// separate stages, so that a build without libFLAC takes WAV alone, and a
// file, the page's download or a test can take the bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "side/side_plan.h"

namespace side {

enum class SideFormat { kWav, kFlac };

// Takes the encoded bytes in order; false when they could not be taken,
// which ends the writing.
using ByteSink = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

class SideEncoder {
 public:
  virtual ~SideEncoder() = default;
  // The next samples: 16-bit little-endian mono PCM, whole samples.
  // False when the sink refused them or the encoder failed.
  virtual bool Encode(const std::uint8_t* pcm, std::size_t count) = 0;
  // Everything still held, and the end of the stream.
  virtual bool Finish() = 0;
  // Why the encoder failed; "" when it was the sink that refused.
  virtual std::string Problem() const = 0;
};

// --- WAV: lentok's header with the side's sizes, then the samples ---

constexpr std::size_t kWavSideHeaderBytes = 46;

// Whether a WAV file's 32-bit sizes can hold a side of `frames`.
bool WavHoldsSide(std::uint64_t frames);
// The frames of the longest side a WAV file holds.
std::uint64_t LongestWavSide();

// lentok's header with the sizes it patches in at the end, known here
// before the first sample: the side's length is planned.
std::array<std::uint8_t, kWavSideHeaderBytes> WavSideHeader(std::uint64_t frames);

// Writes the header with the first samples; the samples as they are.
std::unique_ptr<SideEncoder> MakeWavEncoder(std::uint64_t frames, ByteSink sink);

// --- FLAC: libFLAC's stream encoder, 16-bit mono at 44100 Hz ---

// False in a build without the audio library.
bool FlacAvailable();

struct FlacEncoderResult {
  std::unique_ptr<SideEncoder> encoder;  // null on failure
  std::string problem;                   // then why: the library missing, or refusing to start
};

// An encoder of `frames` samples in all (written into the stream's header,
// which is written first and never gone back to).
FlacEncoderResult MakeFlacEncoder(std::uint64_t frames, ByteSink sink);

// --- The writing ---

enum class WriteOutcome { kWritten, kSinkFailed, kEncoderFailed, kStopped };

struct WriteResult {
  WriteOutcome outcome = WriteOutcome::kWritten;
  std::string problem;  // kEncoderFailed: the encoder's words
};

// The bytes of samples handed to the encoder at a time.
constexpr std::size_t kWriteBlockBytes = 64 * 1024;

// Every sample of `plan` through `encoder`, then its Finish; `goOn`, asked
// before each block, may stop it (a stop signal, a closed page).
WriteResult WriteSide(const SidePlan& plan, SideEncoder& encoder, const std::function<bool()>& goOn);

}  // namespace side
