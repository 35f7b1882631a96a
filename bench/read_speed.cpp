// How fast a full-size recording reads back, against how fast lentok wrote
// it. In the same run, round after round, it times (a) the lentok process
// converting a full 65552-byte image, (b) the lentok-read process reading
// that recording back into a scratch directory, when lentok-read is built,
// (c) the reader library in-process over the file's bytes, read in 64 KiB
// blocks, and (d) lentok-read reading the same recording encoded as FLAC
// (by the flac encoder, when it is installed), which goes through the
// audio library. The medians, the ratios of reading to writing and the
// ratio of reading FLAC to reading WAV are printed. It reports, it never judges: the exit status is 1 only when
// lentok itself fails.
//
//   lentok_read_speed [rounds]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "formats/byte_order.h"
#include "reader/recording_reader.h"
#include "tape/tape_checksum.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadBlockSize = 64 * 1024;
// The reference FLAC encoder, where Debian installs it.
constexpr const char* kFlacEncoder = "/usr/bin/flac";

// An image of the largest size lentok accepts whose bytes vary. Its
// addresses span the whole 64 KiB and the checksum after those bytes is
// right, so the record reads back sound; the ten bytes left over go onto
// tape after it.
std::vector<std::uint8_t> FullImage() {
  std::vector<std::uint8_t> image = bench::VaryingBytes(bench::kFullImageSize);
  constexpr std::size_t kDataStart = 4;
  constexpr std::size_t kDataBytes = 65536;
  StoreLe16(0x0000, &image[0]);
  StoreLe16(0xFFFF, &image[2]);
  StoreLe16(TapeChecksum(&image[kDataStart], &image[kDataStart + kDataBytes - 1]), &image[kDataStart + kDataBytes]);
  return image;
}

struct LibraryRead {
  double seconds = -1;
  std::size_t records = 0;
  std::size_t sound = 0;
};

// The recording through the reader library, read from the file in 64 KiB
// blocks as lentok-read would.
LibraryRead TimeLibraryRead(const std::string& path) {
  static std::uint8_t block[kReadBlockSize];
  LibraryRead result;
  const Clock::time_point start = Clock::now();
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return result;
  reader::RecordingReader recordingReader;
  reader::ReadError error = reader::ReadError::kNone;
  std::vector<reader::DecodedRecord> records;
  for (ssize_t got = read(fd, block, sizeof block); got > 0 && error == reader::ReadError::kNone;
       got = read(fd, block, sizeof block)) {
    error = recordingReader.Feed(block, static_cast<std::size_t>(got));
    for (reader::DecodedRecord& record : recordingReader.TakeRecords()) records.push_back(std::move(record));
  }
  close(fd);
  if (error == reader::ReadError::kNone) error = recordingReader.Finish();
  for (reader::DecodedRecord& record : recordingReader.TakeRecords()) records.push_back(std::move(record));
  if (error != reader::ReadError::kNone) return result;
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  result.records = records.size();
  for (const reader::DecodedRecord& record : records) result.sound += record.status == reader::RecordStatus::kSound;
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const std::string writer = LENTOK_TOOL_PATH;
#ifdef LENTOK_READ_TOOL_PATH
  const std::string readTool = LENTOK_READ_TOOL_PATH;
#else
  const std::string readTool;  // lentok-read is not part of this build
#endif

  const std::string directory = bench::MakeScratchDirectory("lentok-read-speed");
  const std::string images = directory + "/images";
  std::filesystem::create_directory(images);
  const std::string image = directory + "/full.rks";
  const std::string recording = directory + "/full.wav";
  bench::WriteWholeFile(image, FullImage());

  // A first pass, untimed, warms the caches and shows what each reader
  // makes of the recording.
  const std::vector<std::string> convert = {writer, image, recording};
  const std::vector<std::string> readBack = {readTool, "-q", "--force", "-o", images, recording};
  bool failed = bench::TimeProcess(convert, true) < 0;
  bool toolFailed = readTool.empty() || bench::TimeProcess(readBack, true) < 0;
  const LibraryRead firstLibraryRead = failed ? LibraryRead{} : TimeLibraryRead(recording);
  const std::string flacRecording = directory + "/full.flac";
  const std::vector<std::string> readFlac = {readTool, "-q", "--force", "-o", images, flacRecording};
  bool flacFailed = toolFailed || failed ||
                    bench::TimeProcess({kFlacEncoder, "-s", "-f", "-o", flacRecording, recording}, true) < 0 ||
                    bench::TimeProcess(readFlac, true) < 0;

  std::vector<double> writes;
  std::vector<double> toolReads;
  std::vector<double> libraryReads;
  std::vector<double> flacReads;
  for (int round = 0; round < rounds && !failed; ++round) {
    const double write = bench::TimeProcess(convert, true);
    failed = write < 0;
    writes.push_back(write);
    if (!toolFailed) {
      const double toolRead = bench::TimeProcess(readBack, true);
      toolFailed = toolRead < 0;
      toolReads.push_back(toolRead);
    }
    const LibraryRead libraryRead = TimeLibraryRead(recording);
    if (libraryRead.seconds >= 0) libraryReads.push_back(libraryRead.seconds);
    if (!flacFailed) {
      const double flacRead = bench::TimeProcess(readFlac, true);
      flacFailed = flacRead < 0;
      flacReads.push_back(flacRead);
    }
  }
  const off_t flacLength = bench::FileLength(flacRecording);

  const off_t length = bench::FileLength(recording);
  std::error_code ignored;
  std::filesystem::remove_all(directory, ignored);
  if (failed) {
    std::fprintf(stderr, "lentok_read_speed: lentok failed to convert the image\n");
    return 1;
  }

  const double write = bench::Median(writes);
  std::printf("full-size image, %lld-byte recording, median of %d rounds\n", static_cast<long long>(length), rounds);
  std::printf("  (a) lentok writes it:            %8.2f ms\n", write * 1e3);
  if (readTool.empty()) {
    std::printf("  (b) lentok-read reads it:        not built\n");
  } else if (toolFailed) {
    std::printf("  (b) lentok-read reads it:        failed (no exit status 0)\n");
  } else {
    const double toolRead = bench::Median(toolReads);
    std::printf("  (b) lentok-read reads it:        %8.2f ms   ratio read/write %5.2f\n", toolRead * 1e3,
                toolRead / write);
  }
  if (libraryReads.empty()) {
    std::printf("  (c) reader library, in-process:  failed (the file was refused)\n");
  } else {
    const double libraryRead = bench::Median(libraryReads);
    std::printf("  (c) reader library, in-process:  %8.2f ms   ratio read/write %5.2f\n", libraryRead * 1e3,
                libraryRead / write);
  }
  if (flacFailed) {
    std::printf("  (d) lentok-read reads it as FLAC: not measured (lentok-read or %s missing, or it failed)\n",
                kFlacEncoder);
  } else {
    const double flacRead = bench::Median(flacReads);
    std::printf("  (d) lentok-read reads it as FLAC: %7.2f ms   (%lld bytes) ratio FLAC/WAV %5.2f\n", flacRead * 1e3,
                static_cast<long long>(flacLength), flacRead / bench::Median(toolReads));
  }
  std::printf("  records the library found: %zu, sound: %zu (1 expected)\n", firstLibraryRead.records,
              firstLibraryRead.sound);
  return 0;
}
