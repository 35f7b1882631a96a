// Every text lentok-side prints, in English and Russian, in one table so
// that neither language can miss a line. Patterns hold %1 to %9 for the
// values, filled in as lentok-read's are (reader_tool/texts.h).
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "reader_tool/record_report.h"

namespace side {

using Language = reader_tool::Language;

enum class SideText {
  // The table of contents.
  kContentsNumber,
  kContentsStart,
  kContentsLength,
  kContentsName,
  kContentsEntry,
  kContentsNoName,
  kContentsTotal,
  // Warnings.
  kWarning,
  kWarnLongerThanCassette,
  kWarnNameNotTypeable,
  kWarnNoNames,
  // Help, version and the command line.
  kHelp,
  kVersion,
  kCommandLineError,
  kUnknownOption,
  kAmbiguousOption,
  kMissingValue,
  kUnexpectedValue,
  kNoOutput,
  kNoImages,
  kOutputFormat,
  kBadGap,
  kGapTooShort,
  kBadLength,
  kStandardInputImage,
  // Refusals of what the side would be.
  kRefusal,
  kImageTooShort,
  kImageTooLong,
  kSameName,
  kOutputIsImage,
  kLabelsIsImage,
  kLabelsIsOutput,
  kTooLongForWav,
  kNoFlac,
  kNoFlacInBuild,
  // Failures while writing, and the end of a run.
  kFileFailure,
  kCannotRead,
  kCannotWrite,
  kEncoderFailed,
  kStopped,
  kReportNotWritten,

  kCount  // not a text: the number of them
};

constexpr std::size_t kSideTextCount = static_cast<std::size_t>(SideText::kCount);

// The text in `language`; never null, "" for an id without an entry.
const char* Text(SideText id, Language language);

// Text with %1 to %9 filled in by the values in order.
std::string Say(SideText id, Language language, std::initializer_list<std::string> values = {});

}  // namespace side
