// Lines, notes and JSON of a read.
#include "reader_tool/run_report.h"

#include <algorithm>
#include <vector>

#include "map/damage_map.h"
#include "reader_tool/combination_report.h"
#include "reader_tool/exit_status.h"
#include "reader_tool/map_report.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

std::vector<CopyPlace> PlacesOf(const reader::RunReport& report, const reader::ReportEntry& entry,
                                Language language) {
  std::vector<CopyPlace> places;
  for (const reader::CopyPlace& copy : entry.copies) {
    places.push_back({RecordingShown(report, copy.recording, language), copy.seconds, copy.channel + 1,
                      ChannelText(copy.channel, report.recordings[copy.recording].channels, language)});
  }
  return places;
}

// The entry's channel in words, where its recording has more than one.
std::string EntryChannel(const reader::RunReport& report, const reader::ReportEntry& entry, Language language) {
  return ChannelText(entry.record.channel, report.recordings[entry.recording].channels, language);
}

// What the line says of the image.
std::string ImagePart(const reader::ReportEntry& entry, Language language) {
  if (entry.kind == reader::EntryKind::kCopy) {
    return "; " + Say(TextId::kWentInto, language, {PrintableText(entry.combinedInto)});
  }
  std::string part;
  if (!entry.image.path.empty()) {
    const std::string path = PrintableText(entry.image.path);
    part = "; " + (entry.renamed ? Say(TextId::kImageRenamed, language, {path, PrintableText(entry.wantedName)})
                                 : Say(TextId::kImageWritten, language, {path}));
  }
  if (entry.released == reader::Release::kOverBudget) part += std::string("; ") + Text(TextId::kWrittenOverBudget, language);
  if (entry.released == reader::Release::kStopped) part += std::string("; ") + Text(TextId::kWrittenOnStop, language);
  return part;
}

std::string ShownName(const reader::DecodedRecord& record, Language language) {
  if (!record.hasHeader) return Text(TextId::kNoName, language);
  return Say(TextId::kQuotedName, language, {PrintableName(record.name)});
}

// The name, and the channel where the recording has more than one.
std::string ShownNameOn(const std::string& channel, const reader::DecodedRecord& record, Language language) {
  return channel.empty() ? ShownName(record, language) : ShownName(record, language) + ", " + channel;
}

std::string JsonPath(const std::string& path) { return path.empty() ? std::string("null") : JsonTextString(path); }

double UnreadSeconds(const reader::UnreadStretch& stretch, std::int64_t frame) {
  return stretch.sampleRate > 0 ? static_cast<double>(frame) / stretch.sampleRate : 0;
}

// Signal no record explains: its times and the commonest spacing of its
// changes, and where its samples were kept.
std::string UnreadWords(const reader::UnreadStretch& stretch, Language language) {
  const std::string span = Say(TextId::kTimeSpan, language,
                               {FormatTime(UnreadSeconds(stretch, stretch.firstFrame)),
                                FormatTime(UnreadSeconds(stretch, stretch.endFrame))});
  return Say(TextId::kUnreadSignal, language, {span, FormatFixed(stretch.changeMicroseconds, 0)});
}

std::string UnreadLine(const reader::ReportEntry& entry, Language language) {
  std::string line = UnreadWords(entry.unread, language);
  if (!entry.image.path.empty()) line += "; " + Say(TextId::kUnreadKept, language, {PrintableText(entry.image.path)});
  return line;
}

std::string UnreadJson(const reader::ReportEntry& entry, const Language* lines) {
  const reader::UnreadStretch& stretch = entry.unread;
  std::string json = "{\"from\":" + JsonNumber(UnreadSeconds(stretch, stretch.firstFrame), 3);
  json += ",\"to\":" + JsonNumber(UnreadSeconds(stretch, stretch.endFrame), 3);
  json += ",\"firstFrame\":" + std::to_string(stretch.firstFrame);
  json += ",\"endFrame\":" + std::to_string(stretch.endFrame);
  json += ",\"changeMicroseconds\":" + JsonNumber(stretch.changeMicroseconds, 0);
  // Which channel only where there was a choice.
  if (stretch.channelsRead > 1) json += ",\"channel\":" + std::to_string(stretch.channel + 1);
  json += ",\"kept\":" + JsonPath(entry.image.path);
  if (lines != nullptr) {
    json += ",\"line\":" + JsonTextString(UnreadLine(entry, *lines));
    json += ",\"statusText\":" + JsonTextString(Text(TextId::kMapUnread, *lines));
  }
  return json + "}";
}

// The object's closing brace gives way to more members.
std::string Extended(std::string object, const std::string& members) {
  object.pop_back();
  return object + members + "}";
}

// What a front end shows of the entry, in `language`.
std::string ShownJson(const reader::RunReport& report, const reader::ReportEntry& entry, Language language) {
  const reader::DecodedRecord& record = entry.record;
  std::string members = ",\"line\":" + JsonTextString(EntryLine(report, entry, language, false));
  members += ",\"statusText\":" + JsonTextString(StatusText(record.status, language));
  // Whether the run counts it as damaged: a record without a checksum is
  // not, unless a bit of it was read doubtfully.
  members += std::string(",\"damaged\":") + (reader::IsDamaged(record) ? "true" : "false");
  members += ",\"machineText\":" +
             (record.machine.judged ? JsonTextString(MachineVerdictWords(record, language)) : std::string("null"));
  if (entry.kind == reader::EntryKind::kCombination) members += ",\"shownWith\":" + std::to_string(entry.recording);
  return members;
}

std::string EntryJson(const reader::RunReport& report, const reader::ReportEntry& entry, const Language* lines) {
  std::string members;
  if (entry.kind == reader::EntryKind::kCopy) {
    members = ",\"image\":null,\"combinedInto\":" + JsonPath(entry.combinedInto);
  } else {
    members = ",\"image\":" + JsonPath(entry.image.path);
  }
  if (entry.renamed) members += ",\"renamedFrom\":" + JsonTextString(entry.wantedName);
  if (entry.released != reader::Release::kNone) {
    members += ",\"writtenAsRead\":\"";
    members += entry.released == reader::Release::kOverBudget ? "memory" : "stopped";
    members += "\"";
  }
  if (lines != nullptr) members += ShownJson(report, entry, *lines);
  if (entry.kind != reader::EntryKind::kCombination) return Extended(RecordJson(entry.record), members);
  std::vector<CopyPlace> places;
  for (const reader::CopyPlace& copy : entry.copies) {
    places.push_back({report.recordings[copy.recording].name, copy.seconds, copy.channel + 1, ""});
  }
  return Extended(CombinationJson(entry.record, places, entry.suppliers), members);
}

// A recording's panel of the map: its level and its records, each shown as
// what became of it.
tape_map::MapRecording MapPanel(const reader::RunReport& report, std::size_t index, Language language) {
  const reader::RecordingReport& recording = report.recordings[index];
  // Records read from more than one channel are drawn in a lane for each.
  std::vector<int> channels;
  for (const reader::MappedRecord& mapped : recording.mapped) channels.push_back(mapped.record.channel);
  std::sort(channels.begin(), channels.end());
  channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
  std::vector<tape_map::MapRecord> records;
  for (const reader::MappedRecord& mapped : recording.mapped) {
    records.push_back(MapRecordOf(mapped.record, mapped.shownAs, mapped.shownDamaged, language, mapped.supplied));
    if (channels.size() > 1) {
      records.back().lane = static_cast<std::size_t>(
          std::lower_bound(channels.begin(), channels.end(), mapped.record.channel) - channels.begin());
    }
  }
  tape_map::MapRecording panel =
      MapRecordingOf(RecordingShown(report, index, language), recording.profile, std::move(records));
  if (channels.size() > 1) {
    for (const int channel : channels) panel.lanes.push_back(ChannelText(channel, recording.channels, language));
  }
  for (const reader::UnreadStretch& stretch : recording.unread) {
    panel.unread.push_back({UnreadSeconds(stretch, stretch.firstFrame), UnreadSeconds(stretch, stretch.endFrame),
                            UnreadWords(stretch, language)});
  }
  return panel;
}

}  // namespace

std::string RecordingShown(const reader::RunReport& report, std::size_t recording, Language language) {
  return PrintableText(DisplayName(report.recordings[recording].name, language));
}

std::string EntryLine(const reader::RunReport& report, const reader::ReportEntry& entry, Language language,
                      bool withRecording) {
  std::string line;
  if (withRecording) line = RecordingShown(report, entry.recording, language) + ": ";
  if (entry.kind == reader::EntryKind::kUnread) return line + UnreadLine(entry, language);
  if (entry.kind == reader::EntryKind::kCombination) {
    line += CombinationLine(entry.record, PlacesOf(report, entry, language), entry.suppliers, language);
  } else {
    line += RecordLine(entry.record, language, EntryChannel(report, entry, language));
  }
  return line + ImagePart(entry, language);
}

std::string EntryNote(const reader::RunReport& report, const reader::ReportEntry& entry, Language language) {
  const reader::DecodedRecord& record = entry.record;
  if (entry.kind == reader::EntryKind::kCopy || entry.kind == reader::EntryKind::kUnread || entry.image.path.empty())
    return "";
  if (!reader::IsDamaged(record)) return "";
  const std::string recording = RecordingShown(report, entry.recording, language);
  const std::string at = FormatTime(reader::SecondsAt(record, record.firstFrame));
  const std::string image = PrintableText(entry.image.path);
  const std::string name = ShownNameOn(EntryChannel(report, entry, language), record, language);
  if (record.status == reader::RecordStatus::kRepaired) {
    return Say(TextId::kRepairedRecord, language, {recording, at, name, image});
  }
  return Say(TextId::kDamagedRecord, language, {recording, at, name, StatusText(record.status, language), image});
}

std::string ReportJson(const reader::RunReport& report, int status, const Language* lines) {
  std::vector<const reader::ReportEntry*> combined;
  std::vector<std::vector<const reader::ReportEntry*>> byRecording(report.recordings.size());
  std::vector<std::vector<const reader::ReportEntry*>> unread(report.recordings.size());
  for (const reader::ReportEntry& entry : report.entries) {
    if (entry.kind == reader::EntryKind::kUnread) {
      unread[entry.recording].push_back(&entry);
    } else if (entry.kind == reader::EntryKind::kCombination) {
      combined.push_back(&entry);
    } else {
      byRecording[entry.recording].push_back(&entry);
    }
  }
  std::string json = "{\"recordings\":[";
  for (std::size_t i = 0; i < report.recordings.size(); ++i) {
    std::vector<const reader::ReportEntry*>& records = byRecording[i];
    // Stable: a record and its other channels' copies share their place.
    std::stable_sort(records.begin(), records.end(),
              [](const reader::ReportEntry* a, const reader::ReportEntry* b) { return a->order < b->order; });
    if (i > 0) json += ",";
    json += "{\"recording\":" + JsonTextString(report.recordings[i].name) + ",\"records\":[";
    for (std::size_t r = 0; r < records.size(); ++r) json += (r > 0 ? "," : "") + EntryJson(report, *records[r], lines);
    json += "],\"unread\":[";
    for (std::size_t u = 0; u < unread[i].size(); ++u) json += (u > 0 ? "," : "") + UnreadJson(*unread[i][u], lines);
    json += "],\"error\":" + JsonPath(report.recordings[i].failure);
    if (lines != nullptr) {
      json += ",\"waiting\":" + std::to_string(report.recordings[i].records - records.size());
    }
    json += "}";
  }
  json += "]";
  // Only a run that combined copies has combinations to tell of.
  if (!combined.empty()) {
    json += ",\"combined\":[";
    for (std::size_t i = 0; i < combined.size(); ++i) json += (i > 0 ? "," : "") + EntryJson(report, *combined[i], lines);
    json += "]";
  }
  if (report.stopped) json += ",\"stopped\":true";
  return json + ",\"status\":" + std::to_string(status) + "}\n";
}

int ReportStatus(const reader::RunReport& report) {
  RunTally tally;
  tally.failed = report.unstored > 0;
  for (const reader::RecordingReport& recording : report.recordings) {
    if (!recording.failure.empty()) {
      tally.failed = true;
    } else if (recording.records == 0 && !report.stopped) {
      ++tally.recordingsWithoutRecords;
    }
  }
  tally.records = static_cast<int>(report.records);
  tally.damagedRecords = static_cast<int>(report.damaged);
  tally.unreadStretches = static_cast<int>(report.unread);
  return ExitStatus(tally);
}

std::string ReportMapSvg(const reader::RunReport& report, Language language) {
  std::vector<tape_map::MapRecording> recordings;
  for (std::size_t i = 0; i < report.recordings.size(); ++i) recordings.push_back(MapPanel(report, i, language));
  return tape_map::DrawDamageMap(recordings, MapLabelsIn(language));
}

std::string RecordingMapSvg(const reader::RunReport& report, std::size_t recording, Language language) {
  return tape_map::DrawDamageMap({MapPanel(report, recording, language)}, MapLabelsIn(language));
}

PointedByte ByteAt(const reader::RunReport& report, std::size_t recording, double seconds) {
  for (const reader::ReportEntry& entry : report.entries) {
    const reader::DecodedRecord& record = entry.record;
    if (entry.kind == reader::EntryKind::kCombination || entry.kind == reader::EntryKind::kUnread ||
        entry.recording != recording)
      continue;
    const bool spans =
        seconds >= reader::SecondsAt(record, record.firstFrame) && seconds <= reader::SecondsAt(record, record.endFrame);
    if (!spans) continue;
    const auto bytes = static_cast<std::ptrdiff_t>(std::min(record.byteFrames.size(), record.data.size()));
    // The first byte that began after the time; the one before it holds it.
    const auto later = [&](double at, std::int64_t frame) { return at < reader::SecondsAt(record, frame); };
    const auto after = std::upper_bound(record.byteFrames.begin(), record.byteFrames.begin() + bytes, seconds, later);
    const auto index = static_cast<std::size_t>(after - record.byteFrames.begin());
    if (index == 0) return {};
    return {true, static_cast<std::uint16_t>(record.startAddress + index - 1), record.data[index - 1]};
  }
  return {};
}

std::string PointLine(const reader::RunReport& report, std::size_t recording, double seconds, Language language) {
  const std::string time = FormatTime(seconds);
  const PointedByte byte = ByteAt(report, recording, seconds);
  if (!byte.found) return time;
  return Say(TextId::kMapPoint, language, {time, Hex4(byte.address), Hex2(byte.value)});
}

}  // namespace reader_tool
