// What the tool is expected to produce, built independently of its code:
// the console texts as a user reads them, and the exact recording.
#pragma once

#include <string>

#include "tests/support/test_files.h"

// The forms in which the tool writes its texts.
enum class TextForm {
  kUtf8,     // UTF-8 with LF line ends, as a user reads them
  kStored,   // code page 866 with CR LF, as stored
  kDefault,  // the form of the tool under test on a file or pipe: kStored
             // when LENTOK_TEXTS=cp866 (a Windows build), kUtf8 otherwise
};

// A console text, given in UTF-8 with LF line ends, in `form`.
std::string ConsoleText(const std::string& utf8, TextForm form = TextForm::kDefault);

std::string UsageText(TextForm form = TextForm::kDefault);
std::string CommandLineErrorText(TextForm form = TextForm::kDefault);
std::string ReadErrorText(TextForm form = TextForm::kDefault);
std::string WriteErrorText(TextForm form = TextForm::kDefault);
// A number as the report prints it: upper-case hexadecimal, no leading zeros.
std::string Hex(unsigned value);

std::string ReportText(const std::string& start, const std::string& end,
                       const std::string& checksum, TextForm form = TextForm::kDefault);

struct RecordingOptions {
  bool computeChecksum = false;  // -k
  bool noHeader = false;         // -x
  std::string tapeName;          // the name bytes as they go on tape
};

// A recording with a name header of `name`, and one without a header.
RecordingOptions Named(const std::string& name);
RecordingOptions Headerless();

// The bytes that go on tape for `image`, in order.
Bytes ExpectedTapeBytes(const Bytes& image, const RecordingOptions& options);

// The whole WAV file for those bytes: header with real sizes, then the
// samples of every bit cell.
Bytes ExpectedRecording(const Bytes& image, const RecordingOptions& options);
