// What the speed benchmarks share: a scratch directory, the full-size test
// image's bytes, timing a program's run, and the median of the rounds.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// The largest image lentok accepts.
constexpr std::size_t kFullImageSize = 65552;

// A fresh directory under TMPDIR (or /tmp) named from `prefix`; ends the
// program when none can be made.
std::string MakeScratchDirectory(const std::string& prefix);

// `size` bytes that vary, the same every run, so that every bit pattern of
// the signal is exercised.
std::vector<std::uint8_t> VaryingBytes(std::size_t size);

// Writes `bytes` to `path`; ends the program when it cannot.
void WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Runs `command` (the program's path first) with its standard output sent
// to /dev/null, and also its standard error when `quiet`; seconds taken,
// or a negative value when it did not exit with status 0.
double TimeProcess(const std::vector<std::string>& command, bool quiet);

// The file's length, or -1.
off_t FileLength(const std::string& path);

double Median(std::vector<double> values);

}  // namespace bench
