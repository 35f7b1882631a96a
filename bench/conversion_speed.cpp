// How fast the tool converts a full-size image, measured against the plain
// writing of a file of the same length in 64 KiB writes, in the same run and
// on the same file system. The two are timed in turn, round after round;
// the medians and their ratio are printed. It reports, it never judges:
// the exit status is 1 only when the tool itself fails.
//
//   lentok_speed [rounds] [path of lentok]
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kFullImageSize = 65552;
constexpr std::size_t kPlainWriteSize = 64 * 1024;

std::string MakeScratchDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/lentok-speed-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return pattern;
}

// An image of the largest accepted size whose bytes vary, so that every bit
// pattern of the signal is exercised.
void WriteFullImage(const std::string& path) {
  std::vector<std::uint8_t> image(kFullImageSize);
  std::uint32_t seed = 12345;
  for (std::uint8_t& byte : image) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(seed >> 16);
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
    std::perror(path.c_str());
    std::exit(1);
  }
  close(fd);
}

// Runs the tool with its report sent to /dev/null; seconds taken, or a
// negative value when it failed.
double TimeConversion(const std::string& tool, const std::string& input,
                      const std::string& output) {
  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int sink = open("/dev/null", O_WRONLY);
    if (sink >= 0) dup2(sink, STDOUT_FILENO);
    execl(tool.c_str(), tool.c_str(), input.c_str(), output.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

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

off_t FileLength(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  const off_t length = fd < 0 ? -1 : lseek(fd, 0, SEEK_END);
  if (fd >= 0) close(fd);
  return length;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::string tool = argc > 2 ? argv[2] : LENTOK_TOOL_PATH;

  const std::string directory = MakeScratchDirectory();
  const std::string image = directory + "/full.rks";
  const std::string recording = directory + "/full.wav";
  const std::string plain = directory + "/plain.bin";
  WriteFullImage(image);

  // A first run, untimed, warms the caches and gives the length to match.
  bool failed = TimeConversion(tool, image, recording) < 0;
  const off_t length = FileLength(recording);

  std::vector<double> conversions;
  std::vector<double> plainWrites;
  for (int round = 0; round < rounds && !failed; ++round) {
    const double conversion = TimeConversion(tool, image, recording);
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

  const double conversion = Median(conversions);
  const double plainWrite = Median(plainWrites);
  std::printf("full-size image, %lld bytes written, median of %d rounds\n",
              static_cast<long long>(length), rounds);
  std::printf("  conversion:          %8.2f ms\n", conversion * 1e3);
  std::printf("  plain 64 KiB writes: %8.2f ms\n", plainWrite * 1e3);
  std::printf("  ratio:               %8.2f\n", conversion / plainWrite);
  return 0;
}
