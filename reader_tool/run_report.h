// The report of a read, from the reading context's plain value: a line for
// each entry, the note on standard error that an image is damaged or only
// a repair, and the whole report as one JSON document. lentok-read prints
// these and the web page shows them, so both say the same.
#pragma once

#include <cstddef>
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
// adds each record's line in that language (for the page).
std::string ReportJson(const reader::RunReport& report, int status, const Language* lines = nullptr);

// The damage map of every recording read, from what the context kept.
std::string ReportMapSvg(const reader::RunReport& report, Language language);

}  // namespace reader_tool
