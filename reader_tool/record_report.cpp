// The report of one record: its line, its JSON object and its image's name.
#include "reader_tool/record_report.h"

#include <vector>

#include "reader/loader_watch.h"
#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

// Russian writes a decimal comma; times keep their point, as timecodes do,
// so that a list of them still splits at the commas.
char DecimalPoint(Language language) { return language == Language::kRussian ? ',' : '.'; }

std::string TimeAt(const reader::DecodedRecord& record, std::int64_t frame) {
  return FormatTime(reader::SecondsAt(record, frame));
}

// The number of data bytes the addresses call for.
std::size_t DeclaredLength(const reader::DecodedRecord& record) {
  if (record.endAddress < record.startAddress) return record.data.size();
  return static_cast<std::size_t>(record.endAddress - record.startAddress) + 1;
}

std::string NamePart(const reader::DecodedRecord& record, Language language) {
  if (!record.hasHeader) return Text(TextId::kNoName, language);
  return Say(TextId::kQuotedName, language, {PrintableName(record.name)});
}

std::string AddressPart(const reader::DecodedRecord& record, Language language) {
  if (!record.addressesRead) return Text(TextId::kNoAddresses, language);
  const std::string start = Hex4(record.startAddress);
  const std::string end = Hex4(record.endAddress);
  const std::size_t declared = DeclaredLength(record);
  if (record.data.size() < declared) {
    return Say(TextId::kAddressesCutShort, language,
               {start, end, std::to_string(declared), std::to_string(record.data.size())});
  }
  return Say(TextId::kAddresses, language, {start, end, std::to_string(declared)});
}

std::string ChecksumPart(const reader::DecodedRecord& record, Language language) {
  if (!record.checksumRead) {
    return Say(TextId::kChecksumNotRead, language, {Hex4(record.computedChecksum)});
  }
  return Say(TextId::kChecksums, language, {Hex4(record.tapeChecksum), Hex4(record.computedChecksum)});
}

std::string SignalPart(const reader::SignalMeasure& signal, Language language) {
  const char point = DecimalPoint(language);
  return std::string(Text(signal.inverted ? TextId::kPolarityInverted : TextId::kPolarityNormal, language)) +
         ", " + Say(TextId::kSpeed, language, {FormatFixed(signal.speed, 2, point)}) + ", " +
         Say(TextId::kLevel, language, {FormatFixed(signal.levelDbfs, 1, point)});
}

std::string DoubtfulPart(const reader::DecodedRecord& record, Language language) {
  std::string times;
  for (std::int64_t frame : record.doubtfulBitFrames) {
    if (!times.empty()) times += ", ";
    times += TimeAt(record, frame);
  }
  return Say(TextId::kDoubtfulBits, language, {times, std::to_string(record.doubtfulBitCount)});
}

std::string RepairPart(const reader::DecodedRecord& record, Language language) {
  std::string bits;
  for (const reader::ChangedBit& changed : record.repairedBits) {
    if (!bits.empty()) bits += ", ";
    bits += changed.inChecksum
                ? Say(TextId::kChangedChecksumBit, language, {std::to_string(8 * changed.address + changed.bit)})
                : Say(TextId::kChangedBit, language, {Hex4(changed.address), std::to_string(changed.bit)});
  }
  return Say(TextId::kRepairedBits, language, {bits, std::to_string(record.repairTried)});
}

std::string JsonRepair(const reader::DecodedRecord& record) {
  std::string bits;
  for (const reader::ChangedBit& changed : record.repairedBits) {
    if (!bits.empty()) bits += ",";
    bits += changed.inChecksum ? "{\"checksumBit\":" + std::to_string(8 * changed.address + changed.bit) + "}"
                               : "{\"address\":" + std::to_string(changed.address) +
                                     ",\"bit\":" + std::to_string(changed.bit) + "}";
  }
  return "{\"bits\":[" + bits + "],\"tried\":" + std::to_string(record.repairTried) + "}";
}

const char* StatusWord(reader::RecordStatus status) {
  switch (status) {
    case reader::RecordStatus::kSound: return "sound";
    case reader::RecordStatus::kChecksumError: return "checksum error";
    case reader::RecordStatus::kCutShort: return "cut short";
    case reader::RecordStatus::kCombined: return "combined";
    case reader::RecordStatus::kRepaired: return "repaired";
    case reader::RecordStatus::kNoChecksum: return "no checksum";
  }
  return "cut short";
}

std::string JsonSeconds(const reader::DecodedRecord& record, std::int64_t frame) {
  return JsonNumber(reader::SecondsAt(record, frame), 3);
}

std::string JsonDoubtfulBits(const reader::DecodedRecord& record) {
  std::string at;
  for (std::int64_t frame : record.doubtfulBitFrames) {
    if (!at.empty()) at += ",";
    at += JsonSeconds(record, frame);
  }
  return "{\"count\":" + std::to_string(record.doubtfulBitCount) + ",\"at\":[" + at + "]}";
}


const char* ProblemWord(reader::LoadProblemKind kind) {
  using Kind = reader::LoadProblemKind;
  switch (kind) {
    case Kind::kNoClosingChange: return "no closing change";
    case Kind::kCellTooShort: return "cells too short";
    case Kind::kCellTooLong: return "cells too long";
    case Kind::kChangeTooClose: return "change too close";
    case Kind::kCutShort: return "cut short";
    case Kind::kChecksumError: return "checksum error";
    case Kind::kNoSync: return "no sync";
    case Kind::kNoChecksum: return "no checksum";
  }
  return "cut short";
}

std::string JsonMachine(const reader::DecodedRecord& record) {
  std::string problems;
  for (const reader::LoadProblem& problem : record.machine.problems) {
    if (!problems.empty()) problems += ",";
    problems += "{\"kind\":\"" + std::string(ProblemWord(problem.kind)) + "\"";
    problems += ",\"at\":" + JsonSeconds(record, problem.frame);
    if (problem.kind == reader::LoadProblemKind::kCellTooShort ||
        problem.kind == reader::LoadProblemKind::kCellTooLong) {
      problems += ",\"cellMicroseconds\":" + JsonNumber(problem.cellMicroseconds, 0);
    }
    problems += "}";
  }
  std::string monitors;
  for (const reader::MonitorRead read : reader::kMonitorReads) {
    if (!monitors.empty()) monitors += ",";
    monitors += std::string("{\"monitor\":\"") + MonitorWord(reader::MonitorOf(read)) + "\"";
    if (read == reader::MonitorRead::kLaterPlain) monitors += ",\"read\":\"plain\"";
    if (read == reader::MonitorRead::kLaterNamed) monitors += ",\"read\":\"named\"";
    monitors += std::string(",\"loads\":") + (record.machine.LoadsOn(read) ? "true" : "false") + "}";
  }
  return "{\"loads\":" + std::string(record.machine.loads ? "true" : "false") + ",\"problems\":[" +
         problems + "],\"monitors\":[" + monitors + "]}";
}

// The monitors that load the record, in words: the earlier monitor and
// the compatible machine read alike and are named together.
std::string LoadingMonitors(const reader::MachineVerdict& machine, Language language) {
  using reader::MonitorRead;
  if (machine.LoadsOn(MonitorRead::kLaterPlain) && machine.LoadsOn(MonitorRead::kEarlier) &&
      machine.LoadsOn(MonitorRead::kCompatible)) {
    return Text(TextId::kMachineLoadsEverywhere, language);
  }
  std::vector<std::string> names;
  if (machine.LoadsOn(MonitorRead::kLaterPlain)) names.push_back(Text(TextId::kMonitorLaterPlain, language));
  if (machine.LoadsOn(MonitorRead::kLaterNamed)) names.push_back(Text(TextId::kMonitorLaterNamed, language));
  if (machine.LoadsOn(MonitorRead::kEarlier)) names.push_back(Text(TextId::kMonitorEarlier, language));
  if (machine.LoadsOn(MonitorRead::kCompatible)) names.push_back(Text(TextId::kMonitorCompatible, language));
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i == 0) {
      list = names[i];
    } else if (i + 1 == names.size()) {
      list = Say(TextId::kMonitorList, language, {list, names[i]});
    } else {
      list += ", " + names[i];
    }
  }
  return Say(TextId::kMachineLoads, language, {list});
}

}  // namespace

std::string ProblemText(const reader::DecodedRecord& record, const reader::LoadProblem& problem,
                        Language language) {
  using Kind = reader::LoadProblemKind;
  const std::string at = TimeAt(record, problem.frame);
  const std::string cell = FormatFixed(problem.cellMicroseconds, 0);
  const std::string shortest = FormatFixed(reader::kLoaderShortestCellMicroseconds, 0);
  const std::string longest = FormatFixed(reader::kLoaderLongestCellMicroseconds, 0);
  switch (problem.kind) {
    case Kind::kNoClosingChange: return Say(TextId::kProblemNoClosingChange, language, {at});
    case Kind::kCellTooShort: return Say(TextId::kProblemCellsTooShort, language, {at, cell, shortest, longest});
    case Kind::kCellTooLong: return Say(TextId::kProblemCellsTooLong, language, {at, cell, shortest, longest});
    case Kind::kChangeTooClose: return Say(TextId::kProblemChangeTooClose, language, {at});
    case Kind::kCutShort: return Say(TextId::kProblemCutShort, language, {at});
    case Kind::kChecksumError: return Say(TextId::kProblemChecksumError, language, {at});
    case Kind::kNoSync: return Say(TextId::kProblemNoSync, language, {at});
    case Kind::kNoChecksum: return Say(TextId::kProblemNoChecksum, language, {at});
  }
  return Say(TextId::kProblemCutShort, language, {at});
}

const char* MonitorWord(reader::Monitor monitor) {
  switch (monitor) {
    case reader::Monitor::kLater: return "later";
    case reader::Monitor::kEarlier: return "earlier";
    case reader::Monitor::kCompatible: return "compatible";
  }
  return "later";
}

std::string MachineVerdictWords(const reader::DecodedRecord& record, Language language) {
  if (!record.machine.loads) return Text(TextId::kMachineWillNotLoad, language);
  return LoadingMonitors(record.machine, language);
}

std::string MachineVerdictText(const reader::DecodedRecord& record, Language language) {
  std::string reasons;
  for (const reader::LoadProblem& problem : record.machine.problems) {
    if (!reasons.empty()) reasons += "; ";
    reasons += ProblemText(record, problem, language);
  }
  if (reasons.empty()) return MachineVerdictWords(record, language);
  // Problems on a record that loads somewhere lie after its data, where
  // only the later monitor reads on.
  return Say(record.machine.loads ? TextId::kMachineNotOnLater : TextId::kMachineReasons, language,
             {MachineVerdictWords(record, language), reasons});
}

std::string StatusText(reader::RecordStatus status, Language language) {
  switch (status) {
    case reader::RecordStatus::kSound: return Text(TextId::kStatusSound, language);
    case reader::RecordStatus::kChecksumError: return Text(TextId::kStatusChecksumError, language);
    case reader::RecordStatus::kCutShort: return Text(TextId::kStatusCutShort, language);
    case reader::RecordStatus::kCombined: return Text(TextId::kStatusCombined, language);
    case reader::RecordStatus::kRepaired: return Text(TextId::kStatusRepaired, language);
    case reader::RecordStatus::kNoChecksum: return Text(TextId::kStatusNoChecksum, language);
  }
  return Text(TextId::kStatusCutShort, language);
}

std::string ChannelText(int channel, int channels, Language language) {
  if (channels <= 1) return "";
  if (channels == 2) return Text(channel == 0 ? TextId::kLeftChannel : TextId::kRightChannel, language);
  return Say(TextId::kChannelNumber, language, {std::to_string(channel + 1)});
}

std::string RecordLine(const reader::DecodedRecord& record, Language language, const std::string& channel) {
  std::string line = Say(TextId::kTimeSpan, language,
                         {TimeAt(record, record.firstFrame), TimeAt(record, record.endFrame)});
  line += ": " + NamePart(record, language);
  line += ", " + AddressPart(record, language);
  line += ", " + ChecksumPart(record, language);
  line += ", " + StatusText(record.status, language);
  const bool noChecksum = record.status == reader::RecordStatus::kNoChecksum;
  if (noChecksum) line += " (" + std::string(Text(TextId::kNoChecksumWritten, language)) + ")";
  line += "; " + (channel.empty() ? "" : channel + ", ") + SignalPart(record.signal, language);
  if (record.status == reader::RecordStatus::kRepaired) line += "; " + RepairPart(record, language);
  // Without a checksum, how clearly the bits were read is all that vouches
  // for the data: the line says so either way.
  if (noChecksum && record.doubtfulBitCount == 0) line += "; " + std::string(Text(TextId::kNoBitInDoubt, language));
  if (record.status != reader::RecordStatus::kSound && !record.doubtfulBitFrames.empty()) {
    line += "; " + DoubtfulPart(record, language);
  }
  // A combined image lies on no recording as it is, so no playing of it
  // can be judged; every record read from a recording has its verdict.
  if (!record.machine.judged) return line;
  return line + "; " + MachineVerdictText(record, language);
}

std::string RecordJson(const reader::DecodedRecord& record) {
  const bool addresses = record.addressesRead;
  std::string json = "{";
  json += "\"from\":" + JsonSeconds(record, record.firstFrame);
  json += ",\"to\":" + JsonSeconds(record, record.endFrame);
  json += ",\"firstFrame\":" + std::to_string(record.firstFrame);
  json += ",\"endFrame\":" + std::to_string(record.endFrame);
  json += ",\"sampleRate\":" + JsonNumber(record.sampleRate, 0);
  json += ",\"channel\":" + std::to_string(record.channel + 1);
  json += ",\"name\":" + (record.hasHeader ? JsonByteString(record.name) : std::string("null"));
  json += ",\"start\":" + (addresses ? std::to_string(record.startAddress) : std::string("null"));
  json += ",\"end\":" + (addresses ? std::to_string(record.endAddress) : std::string("null"));
  json += ",\"length\":" + (addresses ? std::to_string(DeclaredLength(record)) : std::string("null"));
  json += ",\"bytesRead\":" + std::to_string(record.data.size());
  json += ",\"checksumOnTape\":" +
          (record.checksumRead ? std::to_string(record.tapeChecksum) : std::string("null"));
  json += ",\"checksumComputed\":" + std::to_string(record.computedChecksum);
  json += ",\"status\":\"" + std::string(StatusWord(record.status)) + "\"";
  json += ",\"signal\":{\"polarity\":\"";
  json += record.signal.inverted ? "inverted" : "normal";
  json += "\",\"speed\":" + JsonNumber(record.signal.speed, 3);
  json += ",\"levelDbfs\":" + JsonNumber(record.signal.levelDbfs, 2) + "}";
  json += ",\"doubtfulBits\":" + JsonDoubtfulBits(record);
  // Only a repaired record has a repair to tell of.
  if (record.status == reader::RecordStatus::kRepaired) json += ",\"repair\":" + JsonRepair(record);
  json += ",\"machine\":" + (record.machine.judged ? JsonMachine(record) : std::string("null"));
  return json + "}";
}

}  // namespace reader_tool
