// How lentok-read tells of a record: the status words, the report line, the
// JSON object and the name its image is written under. The web page shows
// records with the same functions, so both say the same.
#pragma once

#include <string>

#include "reader/decoded_record.h"

namespace reader_tool {

enum class Language { kEnglish, kRussian };

// The status as the report gives it: "sound", "checksum error", "cut short",
// "no checksum", or their Russian forms.
std::string StatusText(reader::RecordStatus status, Language language);

// One problem of the verdict with where it lies, as the verdict names it.
std::string ProblemText(const reader::DecodedRecord& record, const reader::LoadProblem& problem,
                        Language language);

// Which monitors would load the record as it was played: "loads on the
// later monitor (named read)", "loads on every monitor (plain read)",
// "will not load on any monitor: " and the problems, each with where it
// lies (after a list of monitors, the problems that stop the later one);
// or their Russian forms.
std::string MachineVerdictText(const reader::DecodedRecord& record, Language language);

// The verdict alone, without the problems, or its Russian form.
std::string MachineVerdictWords(const reader::DecodedRecord& record, Language language);

// The channel a record was read from, in words, where the recording has
// more than one: "left channel" or "right channel" of two, "channel N"
// (from 1) of more; "" of one.
std::string ChannelText(int channel, int channels, Language language);

// A monitor as the command line and the JSON name it: "later", "earlier",
// "compatible".
const char* MonitorWord(reader::Monitor monitor);

// One line of the report for a record, as lentok-read prints it, without a
// line end; `channel` (ChannelText) goes before the signal's measures.
std::string RecordLine(const reader::DecodedRecord& record, Language language, const std::string& channel = "");

// The record as one JSON object, as --json prints it.
std::string RecordJson(const reader::DecodedRecord& record);


}  // namespace reader_tool
