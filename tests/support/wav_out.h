// Float signals written as WAV files of a chosen sample type, so that the
// tests can hand degraded recordings to the recording reader, to lentok-read
// and to sox as files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/wav_reader.h"
#include "tests/support/test_files.h"

// A whole WAV file: the canonical header (fmt chunk of 16 bytes for PCM, 18
// for float) and the samples, interleaved, converted to `type` with rounding
// and clipping at full scale.
Bytes WavFileBytes(const std::vector<float>& interleaved, std::uint32_t sampleRate,
                   std::uint16_t channels, formats::WavSampleType type);

void WriteWavFile(const std::string& path, const std::vector<float>& interleaved,
                  std::uint32_t sampleRate, std::uint16_t channels, formats::WavSampleType type);
