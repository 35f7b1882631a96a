// Fuzz target: whole conversions. The first byte picks the options and
// where the recording goes (a scratch file or /dev/null), the second the
// length of the input's name, the rest is the tape image. Each run goes
// through the real command line, files and failure exit; the trap brings
// the exit status back, and the outcome is checked against what the tool
// promises: status 0 exactly for images of 7 to 65552 bytes, and then a
// recording of the right length with its sizes patched; otherwise the file
// that stood under the output's name before the run, as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/conversion_run.h"
#include "platform/exit_trap.h"
#include "platform/platform.h"

namespace {

constexpr std::uint32_t kImageLimit = 65552;
constexpr std::uint32_t kHeaderSize = 46;
constexpr std::uint32_t kBytesPerTapeByte = 512;
constexpr std::uint32_t kClosingHalfCellBytes = 32;

// The option words the first byte may add, bit by bit, and what each does:
// an option is told by its first two characters.
struct OptionWord {
  const char* text;
  bool checksum;
  bool noHeader;
};
constexpr OptionWord kOptionWords[] = {
    {"-k", true, false}, {"-x", false, true}, {"-kx", true, false}, {"-xk", false, true}};
constexpr std::uint8_t kScratchOutputBit = 0x10;
constexpr std::uint8_t kSpaceInNameBit = 0x80;

ConversionState state;
TapeSignal signal;

struct Run {
  std::string input;
  std::string output;
  std::string name;  // the final component of the input, as it goes on tape
  bool checksum = false;
  bool noHeader = false;
  const char* argv[8] = {};
  int argc = 0;
};

void Require(bool condition) {
  if (!condition) std::abort();
}

char scratchDirectory[] = "/tmp/lentok-fuzz-XXXXXX";
char scratchOutput[sizeof scratchDirectory + 8];

// Inputs are removed after each run; the output and the directory when the
// fuzzer ends.
void RemoveScratchDirectory() {
  unlink(scratchOutput);
  rmdir(scratchDirectory);
}

const char* ScratchDirectory() {
  if (scratchOutput[0] == '\0') {
    Require(mkdtemp(scratchDirectory) != nullptr);
    std::snprintf(scratchOutput, sizeof scratchOutput, "%s/out.wav", scratchDirectory);
    std::atexit(RemoveScratchDirectory);
  }
  return scratchDirectory;
}

void WriteImage(const std::string& path, const std::uint8_t* bytes, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Require(fd >= 0);
  Require(write(fd, bytes, size) == static_cast<ssize_t>(size));
  close(fd);
}

Run Describe(std::uint8_t options, std::uint8_t nameLength) {
  Run run;
  run.name = std::string(nameLength % 48, 'n') + ".RKS";
  if ((nameLength & kSpaceInNameBit) != 0) run.name[0] = ' ';
  run.input = std::string(ScratchDirectory()) + "/" + run.name;
  run.output = (options & kScratchOutputBit) != 0 ? scratchOutput : "/dev/null";
  run.argv[run.argc++] = "lentok";
  for (unsigned bit = 0; bit < 4; ++bit) {
    if ((options & (1u << bit)) == 0) continue;
    run.argv[run.argc++] = kOptionWords[bit].text;
    run.checksum = run.checksum || kOptionWords[bit].checksum;
    run.noHeader = run.noHeader || kOptionWords[bit].noHeader;
  }
  run.argv[run.argc++] = run.input.c_str();
  run.argv[run.argc++] = run.output.c_str();
  return run;
}

void Convert(void*) {
  state = ConversionState{};
  signal = TapeSignal{};
  RunConversion(state, signal);
}

std::uint32_t Le32At(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Leader, sync, the header with its name and zero run unless -x, the image
// without its checksum, the checksum word, and the half-cell (16 samples)
// that closes the last bit.
std::uint64_t ExpectedLength(const Run& run, std::size_t imageSize) {
  std::uint64_t tapeBytes = 255 + 1 + imageSize;
  if (!run.noHeader) {
    const std::size_t credit = run.name.size() < 32 ? run.name.size() : 32;
    tapeBytes += 3 + run.name.size() + (765 - credit) + 1;
  }
  return kHeaderSize + kBytesPerTapeByte * tapeBytes + kClosingHalfCellBytes;
}

// What stands under the output's name before each run: an image that fails
// must leave it as it is.
constexpr char kEarlierOutput[] = "an earlier recording";

void CheckRecording(const Run& run, std::size_t imageSize, bool succeeded) {
  struct stat info;
  Require(stat(run.output.c_str(), &info) == 0);
  if (!succeeded) {
    char kept[sizeof kEarlierOutput] = {};
    const int fd = open(run.output.c_str(), O_RDONLY);
    Require(fd >= 0 && read(fd, kept, sizeof kept) == static_cast<ssize_t>(sizeof kEarlierOutput - 1));
    close(fd);
    Require(info.st_size == static_cast<off_t>(sizeof kEarlierOutput - 1) &&
            std::memcmp(kept, kEarlierOutput, sizeof kEarlierOutput - 1) == 0);
    return;
  }
  const auto length = static_cast<std::uint64_t>(info.st_size);
  Require(length == ExpectedLength(run, imageSize));
  std::uint8_t header[kHeaderSize];
  const int fd = open(run.output.c_str(), O_RDONLY);
  Require(fd >= 0 && read(fd, header, sizeof header) == static_cast<ssize_t>(sizeof header));
  close(fd);
  Require(Le32At(header + 4) == length - 8);
  Require(Le32At(header + 42) == length - kHeaderSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t* image = data + 2;
  const std::size_t imageSize = size - 2;
  Run run = Describe(data[0], data[1]);
  WriteImage(run.input, image, imageSize);
  if (run.output != "/dev/null") {
    WriteImage(run.output, reinterpret_cast<const std::uint8_t*>(kEarlierOutput), sizeof kEarlierOutput - 1);
  }

  platform::StartProcess(run.argc, const_cast<char**>(run.argv));
  const std::uint32_t status = platform::RunUntilExit(Convert, nullptr);
  const bool valid = imageSize >= 7 && imageSize <= kImageLimit;
  Require(status == (valid ? 0u : 1u));
  if (run.output != "/dev/null") CheckRecording(run, imageSize, valid);

  unlink(run.input.c_str());
  return 0;
}
