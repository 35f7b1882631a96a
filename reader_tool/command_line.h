// lentok-read's command line, parsed by GNU conventions: short options
// (-h, -q, -o DIR, -oDIR, bundled as -qo DIR), long options with
// --name=value or --name value and unique abbreviations, -- ending the
// options, and - as the name of standard input.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "reader/decoded_record.h"

namespace reader_tool {

struct ToolOptions {
  std::string outputDirectory;  // empty: the current one
  bool force = false;
  bool json = false;
  bool quiet = false;
  bool verify = false;
  bool separate = false;  // each record on its own: no combining of copies, no repair
  bool keepUnread = false;  // each stretch of signal no record explains kept as a WAV file
  bool help = false;
  bool version = false;
  int channel = -1;  // from 0, as the decoder counts; -1: the decoder picks
  std::string mapPath;  // --map: where the damage map goes; empty: none
  // --monitor, with --verify: the monitor the record must load on; none
  // given: any one of them.
  std::optional<reader::Monitor> monitor;
  // The recordings; with --verify the image and then the recording.
  std::vector<std::string> operands;
};

enum class CommandLineError {
  kNone,
  kUnknownOption,
  kAmbiguousOption,
  kMissingValue,
  kUnexpectedValue,
  kBadChannel,
  kNoRecording,
  kVerifyOperands,
  kStandardInputTwice,
  kMapWithVerify,
  kMapIsRecording,  // --map names one of the recordings to be read
  kBadMonitor,
  kMonitorWithoutVerify,
};

struct ParsedCommandLine {
  ToolOptions options;
  CommandLineError error = CommandLineError::kNone;
  std::string culprit;  // the option or value the error is about
};

// The highest channel a WAV file can have.
constexpr int kMostChannels = 8;

// `arguments` without the program name. --help and --version win over any
// error in the rest, as the user asked for them.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace reader_tool
