// How fast the tool converts a full-size image, measured against the plain
// writing of a file of the same length in 64 KiB writes, in the same run and
// on the same file system. The two are timed in turn, round after round;
// the medians and their ratio are printed. It reports, it never judges:
// the exit status is 1 only when the tool itself fails.
//
//   lentok_speed [rounds] [path of lentok]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kPlainWriteSize = 64 * 1024;

// Writes `length` bytes to `path` in 64 KiB writes, as a program that
// already had the recording in memory would; seconds taken.
double TimePlainWrite(const std::string& path, off_t length) {
  static std::uint8_t block[kPlainWriteSize];
  std::fill(block, block + kPlainWriteSize, 0x5A);
  const Clock::time_point start = Clock::now();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return -1;
  for (off_t done = 0; done < length;) {
    const std::size_t piece = static_cast<std::size_t>(std::min<off_t>(length - done, kPlainWriteSize));
    const ssize_t put = write(fd, block, piece);
    if (put <= 0) {
      close(fd);
      return -1;
    }
    done += put;
  }
  close(fd);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::string tool = argc > 2 ? argv[2] : LENTOK_TOOL_PATH;

  const std::string directory = bench::MakeScratchDirectory("lentok-speed");
  const std::string image = directory + "/full.rks";
  const std::string recording = directory + "/full.wav";
  const std::string plain = directory + "/plain.bin";
  bench::WriteWholeFile(image, bench::VaryingBytes(bench::kFullImageSize));
  // The tool's report goes to /dev/null; a failure's message is shown.
  const std::vector<std::string> convert = {tool, image, recording};

  // A first run, untimed, warms the caches and gives the length to match.
  bool failed = bench::TimeProcess(convert, false) < 0;
  const off_t length = bench::FileLength(recording);

  std::vector<double> conversions;
  std::vector<double> plainWrites;
  for (int round = 0; round < rounds && !failed; ++round) {
    const double conversion = bench::TimeProcess(convert, false);
    const double plainWrite = TimePlainWrite(plain, length);
    failed = conversion < 0 || plainWrite < 0;
    conversions.push_back(conversion);
    plainWrites.push_back(plainWrite);
  }

  unlink(image.c_str());
  unlink(recording.c_str());
  unlink(plain.c_str());
  rmdir(directory.c_str());
  if (failed) {
    std::fprintf(stderr, "lentok_speed: the conversion or the plain write failed\n");
    return 1;
  }

  const double conversion = bench::Median(conversions);
  const double plainWrite = bench::Median(plainWrites);
  std::printf("full-size image, %lld bytes written, median of %d rounds\n",
              static_cast<long long>(length), rounds);
  std::printf("  conversion:          %8.2f ms\n", conversion * 1e3);
  std::printf("  plain 64 KiB writes: %8.2f ms\n", plainWrite * 1e3);
  std::printf("  ratio:               %8.2f\n", conversion / plainWrite);
  return 0;
}
