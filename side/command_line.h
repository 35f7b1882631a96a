// lentok-side's command line, by lentok-read's conventions: short options
// (bundled as -kx, -o SIDE or -oSIDE), long options with --name=value or
// --name value and unique abbreviations, -- ending the options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "side/side_plan.h"
#include "side/side_writer.h"

namespace side {

struct SideToolOptions {
  bool computeChecksum = false;  // -k
  bool noHeader = false;         // -x
  bool json = false;
  bool help = false;
  bool version = false;
  std::uint64_t gapFrames = static_cast<std::uint64_t>(kDefaultGapSeconds * kSampleRate);
  int cassetteMinutes = 45;
  std::string output;  // -o: the side
  SideFormat format = SideFormat::kWav;
  std::string labels;  // --labels: the label track; empty: none
  std::vector<std::string> images;
};

enum class CommandLineError {
  kNone,
  kUnknownOption,
  kAmbiguousOption,
  kMissingValue,
  kUnexpectedValue,
  kBadGap,       // not a number of seconds, or longer than the longest gap
  kGapTooShort,  // shorter than the monitor's named read allows
  kBadLength,
  kNoOutput,
  kOutputFormat,  // the side's name ends in neither .wav nor .flac
  kNoImages,
  kStandardInputImage,
};

struct ParsedCommandLine {
  SideToolOptions options;
  CommandLineError error = CommandLineError::kNone;
  std::string culprit;  // the option or value the error is about
};

// `arguments` without the program name. --help and --version win over any
// error in the rest.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

enum class GapReading { kGap, kNotAGap, kTooShort, kTooLong };

// A gap in seconds, such as "2", "0.5" or ".25", as whole samples (rounded
// to the nearest); a sign is read so that a negative gap is told as too
// short rather than as no number.
GapReading ReadGap(const std::string& text, std::uint64_t& frames);

}  // namespace side
