// What the tool is expected to produce, built independently of its code:
// the console texts as a user reads them, and the exact recording.
#pragma once

#include <string>

#include "tests/support/test_files.h"

// A console text, given in UTF-8 with LF line ends, as the tool under test
// presents it: unchanged for the POSIX build, or as code page 866 with CR LF
// when LENTOK_TEXTS=cp866 (a Windows build writing to a file or pipe).
std::string ConsoleText(const std::string& utf8);

std::string UsageText();
std::string CommandLineErrorText();
std::string ReadErrorText();
std::string WriteErrorText();
std::string ReportText(const std::string& start, const std::string& end,
                       const std::string& checksum);

struct RecordingOptions {
  bool computeChecksum = false;  // -k
  bool noHeader = false;         // -x
  std::string tapeName;          // the name bytes as they go on tape
};

// The bytes that go on tape for `image`, in order.
Bytes ExpectedTapeBytes(const Bytes& image, const RecordingOptions& options);

// The whole WAV file for those bytes: header with real sizes, then the
// samples of every bit cell.
Bytes ExpectedRecording(const Bytes& image, const RecordingOptions& options);
