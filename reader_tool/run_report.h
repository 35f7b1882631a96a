// The report of a read, from the reading context's plain value: a line for
// each entry, the note on standard error that an image is damaged or only
// a repair, and the whole report as one JSON document. lentok-read prints
// these and the web page shows them, so both say the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "reader/read_context.h"
#include "reader_tool/record_report.h"

namespace reader_tool {

// A recording as the user is shown it: "standard input" for "-", any
// control character escaped.
std::string RecordingShown(const reader::RunReport& report, std::size_t recording, Language language);

// The entry's line, without a line end; `withRecording` puts the
// recording's name in front, for a run over several.
std::string EntryLine(const reader::RunReport& report, const reader::ReportEntry& entry, Language language,
                      bool withRecording);

// What standard error says of the entry even in a quiet run: that its image
// is damaged, or only a repair. "" for nothing.
std::string EntryNote(const reader::RunReport& report, const reader::ReportEntry& entry, Language language);

// The whole report: every recording with its records in the order they
// were read, the combinations, and the exit status. `lines`, when given,
// adds what a front end shows in that language (for the page): each
// entry's line, status and the machine's verdict in words, the recording
// a combination is shown with, and for each recording how many of its
// records still wait for the end of the read.
std::string ReportJson(const reader::RunReport& report, int status, const Language* lines = nullptr);

// The exit status the read alone calls for (a front end adds its own
// failures): a recording that failed or an image not stored, then damage
// or no record, then success.
int ReportStatus(const reader::RunReport& report);

// The damage map of every recording read, from what the context kept.
std::string ReportMapSvg(const reader::RunReport& report, Language language);

// One recording's map alone, as ReportMapSvg draws it for a run of that
// recording only.
std::string RecordingMapSvg(const reader::RunReport& report, std::size_t recording, Language language);

// The data byte under the map's pointer: in the recording's record that
// spans `seconds`, the last byte that began at or before it. Looked up
// among the entries kept (keepEntries), each record as read or repaired.
struct PointedByte {
  bool found = false;
  std::uint16_t address = 0;
  std::uint8_t value = 0;
};
PointedByte ByteAt(const reader::RunReport& report, std::size_t recording, double seconds);

// The pointer's reading in words: the time, and the address and byte there
// when there is one.
std::string PointLine(const reader::RunReport& report, std::size_t recording, double seconds, Language language);

}  // namespace reader_tool
