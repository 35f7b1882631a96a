// A tape side planned from its images: for each program the bytes that go
// on tape, exactly as lentok puts them there for that image and options,
// and where on the side its samples lie; the side's refusals and warnings.
// Plain values, with no files and no console, for the tool and the page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace side {

constexpr std::uint32_t kSampleRate = 44100;

// What lentok accepts: the two addresses, at least one data byte and the
// checksum word, in at most the 65552 bytes of its image buffer.
constexpr std::size_t kSmallestImage = 7;
constexpr std::size_t kLargestImage = 65552;

// The gap the tool puts between programs unless told otherwise.
constexpr double kDefaultGapSeconds = 2.0;
// The shortest gap the monitor's named read needs: none. After a header of
// another name it searches for a leader again while that program's data
// passes, and finds the next program's leader however soon it follows (the
// loader model in the tests is played every gap from none upward).
constexpr double kShortestGapSeconds = 0.0;
// The longest gap taken: ten minutes of silence is no gap any more.
constexpr double kLongestGapSeconds = 600.0;

struct SideImage {
  std::string path;      // as the user gave it, for the contents and messages
  std::string fileName;  // its final component, whose name goes on tape
  std::vector<std::uint8_t> bytes;
};

struct SideOptions {
  bool computeChecksum = false;  // -k: the checksum computed from the data
  bool noHeader = false;         // -x: no name header for the monitor
  std::uint64_t gapFrames = static_cast<std::uint64_t>(kDefaultGapSeconds * kSampleRate);
};

// One program's place on the side. Frames count samples from the side's
// first; each span ends one past its last sample.
struct ProgramEntry {
  std::string path;
  std::string tapeName;  // the name bytes on tape; empty with -x
  std::uint16_t startAddress = 0;
  std::uint16_t endAddress = 0;
  std::uint16_t checksum = 0;     // the word that goes on tape
  std::uint32_t dataBytes = 0;    // the image's data bytes, between the addresses and the checksum
  std::uint64_t firstFrame = 0;   // the leader's first sample
  std::uint64_t blockFrame = 0;   // the data block's first sample, after the last sync byte
  std::uint64_t endFrame = 0;     // one past the half-cell that closes the last bit
};

// The table of contents: every program in the order played, and the side.
struct SideContents {
  std::vector<ProgramEntry> programs;
  std::uint32_t sampleRate = kSampleRate;
  std::uint64_t gapFrames = 0;
  std::uint64_t frames = 0;  // the whole side
  bool named = true;         // the programs carry name headers (no -x)
};

struct SidePlan {
  SideContents contents;
  // Each program's bytes on tape, leader to checksum, for the samples.
  std::vector<std::vector<std::uint8_t>> tapeBytes;
};

enum class PlanProblem {
  kNone,
  kNoImages,
  kImageTooShort,  // lentok refuses it: no data byte
  kImageTooLong,   // lentok refuses it: past its image buffer
  kSameName,       // two images go on tape under one name
};

struct PlanResult {
  PlanProblem problem = PlanProblem::kNone;
  std::size_t image = 0;  // the image the problem is about
  std::size_t other = 0;  // kSameName: the earlier image of that name
  SidePlan plan;
};

// Plans the side of `images` in the order given.
PlanResult PlanSide(const std::vector<SideImage>& images, const SideOptions& options);

enum class WarningKind {
  kLongerThanCassette,  // the side is longer than the cassette side it is for
  kNameNotTypeable,     // a name that is not plain printable ASCII
  kNoNames,             // -x: nothing to find a program by but its position
};

struct SideWarning {
  WarningKind kind;
  std::size_t program = 0;  // kNameNotTypeable: which one
};

// What the user should know before recording the side onto a cassette
// side of `cassetteMinutes`.
std::vector<SideWarning> SideWarnings(const SideContents& contents, int cassetteMinutes);

// True when a name on tape is typed on the machine's keyboard: printable
// ASCII only.
bool NameIsTypeable(const std::string& tapeName);

}  // namespace side
