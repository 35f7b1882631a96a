// The WAV file written: RIFF/WAVE, PCM, mono, 16-bit signed samples at
// 44100 per second. The 46-byte header goes out first with placeholder
// sizes; the two sizes are patched once the last sample is written.
#pragma once

#include <array>
#include <cstdint>

#include "app/conversion_state.h"

constexpr std::uint32_t kWavHeaderSize = 46;
constexpr std::uint32_t kRiffSizeOffset = 4;
constexpr std::uint32_t kDataSizeOffset = 42;
constexpr std::uint32_t kRiffSizePlaceholder = 0xFFBFDFF8u;
constexpr std::uint32_t kDataSizePlaceholder = 0xFFBFDFD2u;

extern const std::array<std::uint8_t, kWavHeaderSize> kWavHeaderTemplate;

// Writes the header template to the output; returns the shortfall.
std::uint32_t WriteWavHeader(ConversionState& state);

// Writes the real sizes into the header, taking the file's length from the
// current position, and makes sure everything written is in the file. An
// output that has no position to go back to (a pipe) keeps its
// placeholders: the patch is skipped and counts as done, so the stream is
// not followed by stray size bytes. Returns the shortfall of the size
// writes, or nonzero when bytes written earlier never reached the file.
std::uint32_t PatchWavSizes(ConversionState& state);
