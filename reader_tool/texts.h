// Every text lentok-read prints, in English and Russian, kept in one table
// so that neither language can miss a line. Patterns hold %1 to %9 for the
// values filled in by Fill.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "reader_tool/record_report.h"

namespace reader_tool {

enum class TextId {
  // The record line.
  kTimeSpan,
  kQuotedName,
  kNoName,
  kAddresses,
  kAddressesCutShort,
  kNoAddresses,
  kChecksums,
  kChecksumNotRead,
  kStatusSound,
  kStatusChecksumError,
  kStatusCutShort,
  kStatusCombined,
  kStatusRepaired,
  kStatusNoChecksum,
  kNoChecksumWritten,
  kNoBitInDoubt,
  kPolarityNormal,
  kPolarityInverted,
  kSpeed,
  kLevel,
  kDoubtfulBits,
  kRepairedBits,
  kChangedBit,
  kChangedChecksumBit,
  // Copies combined.
  kCombinedFrom,
  kCopyAt,
  kCopyOnChannelAt,
  kLeftChannel,
  kRightChannel,
  kChannelNumber,
  kDoubtfulStretch,
  kDoubtfulByte,
  kDoubtfulStretches,
  kNoDoubtfulStretch,
  kWentInto,
  kUnreadSignal,
  kUnreadKept,
  // The machine's verdict, at the end of the record line.
  kMachineLoads,
  kMachineWillNotLoad,
  kMachineReasons,
  kMachineLoadsEverywhere,
  kMachineNotOnLater,
  kMonitorLaterPlain,
  kMonitorLaterNamed,
  kMonitorEarlier,
  kMonitorCompatible,
  kMonitorList,
  kProblemNoClosingChange,
  kProblemCellsTooShort,
  kProblemCellsTooLong,
  kProblemChangeTooClose,
  kProblemCutShort,
  kProblemChecksumError,
  kProblemNoSync,
  kProblemNoChecksum,
  // The run around it.
  kImageWritten,
  kDamagedRecord,
  kRepairedRecord,
  kNoRecordFound,
  kImageRenamed,
  kWrittenOverBudget,
  kWrittenOnStop,
  kStoppedBySignal,
  kReportNotWritten,
  // Help, version and the command line.
  kHelp,
  kVersion,
  kCommandLineError,
  kUnknownOption,
  kAmbiguousOption,
  kMissingValue,
  kUnexpectedValue,
  kBadChannel,
  kNoRecording,
  kVerifyOperands,
  kStandardInputTwice,
  kNoSuchDirectory,
  kBadMonitor,
  kMonitorWithoutVerify,
  // Failures with a file.
  kStandardInputName,
  kFileFailure,
  kCannotRead,
  kCannotWriteImage,
  kNotFound,
  kAccessDenied,
  kAlreadyExists,
  kIsDirectory,
  kNoSpace,
  kBadName,
  kInputOutputError,
  kWavNotRiff,
  kWavNotWave,
  kWavNoFormatChunk,
  kWavBadFormatChunk,
  kWavUnsupportedEncoding,
  kWavUnsupportedBits,
  kWavUnsupportedChannels,
  kWavUnsupportedRate,
  kWavNoData,
  kNoSuchChannel,
  kUnknownFormat,
  kStreamCannotDecode,
  kStreamDamaged,
  kStreamUnsupportedChannels,
  kStreamSeeksBack,
  // --verify.
  kImageTooShort,
  kImageTooLong,
  kImageSizeMismatch,
  kVerifyMatch,
  kVerifyChecksumNote,
  kVerifyNoRecord,
  kVerifyDiffers,
  kVerifyCutShort,
  kVerifyChecksumBad,
  kVerifyNoChecksum,
  kVerifyWillNotLoad,
  kVerifyNotOnMonitor,
  kVerifyFailure,
  kVerifyShouldLie,
  kVerifyFromTheStart,
  kVerifyToTheEnd,
  // The damage map (--map).
  kMapHeading,
  kMapLevel,
  kMapRecords,
  kMapConfidence,
  kMapSpeed,
  kMapTime,
  kMapDoubtful,
  kMapDrift,
  kMapWouldNotLoad,
  kMapSupplied,
  kMapNoRecords,
  kMapUnread,
  kMapRecordLabel,
  kMapPoint,
  kCannotWriteMap,
  kMapWithVerify,
  kMapIsRecording,

  kCount  // not a text: the number of them
};

constexpr std::size_t kTextCount = static_cast<std::size_t>(TextId::kCount);

// The text in `language`; never null, "" for an id without an entry.
const char* Text(TextId id, Language language);

// One line of a table of texts, in both languages.
template <typename Id>
struct TextEntry {
  Id id;
  const char* english;
  const char* russian;
};

// The entry for `id` found by its id rather than its place, so that an
// entry out of order cannot give a wrong text; a missing one gives ""
// (which the tests catch).
template <typename Id, std::size_t N>
const char* FindText(const TextEntry<Id> (&table)[N], Id id, Language language) {
  for (const TextEntry<Id>& entry : table) {
    if (entry.id == id) return language == Language::kRussian ? entry.russian : entry.english;
  }
  return "";
}

// `pattern` with %1 to %9 replaced by the values in order; %% is a percent
// sign. A number with no value is left out.
std::string Fill(const char* pattern, std::initializer_list<std::string> values);

// Text and Fill together.
std::string Say(TextId id, Language language, std::initializer_list<std::string> values = {});

}  // namespace reader_tool
