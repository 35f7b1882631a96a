// Records and level profiles into the damage map's values.
#include "reader_tool/map_report.h"

#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

tape_map::BandStatus BandOf(reader::RecordStatus status) {
  switch (status) {
    case reader::RecordStatus::kSound: return tape_map::BandStatus::kSound;
    case reader::RecordStatus::kChecksumError: return tape_map::BandStatus::kDamaged;
    case reader::RecordStatus::kCombined: return tape_map::BandStatus::kCombined;
    case reader::RecordStatus::kRepaired: return tape_map::BandStatus::kRepaired;
    // Read in full, with nothing to check it by: sound or damaged as the
    // run counts it (below).
    case reader::RecordStatus::kNoChecksum: return tape_map::BandStatus::kSound;
    case reader::RecordStatus::kCutShort: break;
  }
  return tape_map::BandStatus::kCutShort;
}

std::string NameOf(const reader::DecodedRecord& record, Language language) {
  if (!record.hasHeader) return Text(TextId::kNoName, language);
  return Say(TextId::kQuotedName, language, {PrintableName(record.name)});
}

static_assert(tape_map::kDoubtfulConfidence == reader::kDoubtfulConfidence, "one threshold for doubt");

}  // namespace

tape_map::MapRecord MapRecordOf(const reader::DecodedRecord& record, reader::RecordStatus shownAs,
                                bool shownDamaged, Language language,
                                const std::vector<reader::SuppliedStretch>& supplied) {
  tape_map::MapRecord out;
  out.fromSeconds = reader::SecondsAt(record, record.firstFrame);
  out.toSeconds = reader::SecondsAt(record, record.endFrame);
  out.status = BandOf(shownAs);
  if (shownAs == reader::RecordStatus::kNoChecksum && shownDamaged) out.status = tape_map::BandStatus::kDamaged;
  const std::string addresses = record.addressesRead ? Hex4(record.startAddress) : "?";
  const std::string end = record.addressesRead ? Hex4(record.endAddress) : "?";
  out.label = Say(TextId::kMapRecordLabel, language,
                  {NameOf(record, language), addresses, end, StatusText(shownAs, language)});
  out.shortLabel = NameOf(record, language) + ": " + StatusText(shownAs, language);
  out.byteSeconds.reserve(record.byteFrames.size());
  for (std::int64_t frame : record.byteFrames) out.byteSeconds.push_back(reader::SecondsAt(record, frame));
  out.bitConfidence = record.bitConfidence;
  for (std::int64_t frame : record.doubtfulBitFrames) out.doubtfulSeconds.push_back(reader::SecondsAt(record, frame));
  out.doubtfulCount = record.doubtfulBitCount;
  for (const reader::LoadProblem& problem : record.machine.problems) {
    // The label says the record has no checksum; where it lacks one is
    // its end, and the earlier monitors load it.
    if (problem.kind == reader::LoadProblemKind::kNoChecksum) continue;
    out.loadMarks.push_back({reader::SecondsAt(record, problem.frame), ProblemText(record, problem, language)});
  }
  const std::vector<std::int64_t>& bytes = record.byteFrames;
  for (const reader::SuppliedStretch& stretch : supplied) {
    if (stretch.firstByte >= bytes.size()) continue;
    const std::size_t after = stretch.firstByte + stretch.byteCount;
    const std::int64_t end = after < bytes.size() ? bytes[after] : record.endFrame;
    out.supplied.push_back({reader::SecondsAt(record, bytes[stretch.firstByte]), reader::SecondsAt(record, end)});
  }
  return out;
}

tape_map::MapRecording MapRecordingOf(const std::string& title, const reader::SignalProfile& profile,
                                      std::vector<tape_map::MapRecord> records) {
  tape_map::MapRecording out;
  out.title = title;
  out.records = std::move(records);
  const double rate = profile.SampleRate();
  if (rate <= 0) return out;
  out.seconds = static_cast<double>(profile.Frames()) / rate;
  out.secondsPerLevel = static_cast<double>(profile.FramesPerBucket()) / rate;
  out.levels.reserve(profile.Buckets().size());
  for (const reader::LevelBucket& bucket : profile.Buckets()) out.levels.push_back({bucket.low, bucket.high});
  return out;
}

tape_map::MapLabels MapLabelsIn(Language language) {
  tape_map::MapLabels labels;
  labels.heading = Text(TextId::kMapHeading, language);
  labels.level = Text(TextId::kMapLevel, language);
  labels.records = Text(TextId::kMapRecords, language);
  labels.confidence = Text(TextId::kMapConfidence, language);
  labels.speed = Text(TextId::kMapSpeed, language);
  labels.time = Text(TextId::kMapTime, language);
  labels.doubtful = Text(TextId::kMapDoubtful, language);
  labels.drift = Text(TextId::kMapDrift, language);
  labels.wouldNotLoad = Text(TextId::kMapWouldNotLoad, language);
  labels.supplied = Text(TextId::kMapSupplied, language);
  labels.noRecords = Text(TextId::kMapNoRecords, language);
  labels.unread = Text(TextId::kMapUnread, language);
  labels.status = {StatusText(reader::RecordStatus::kSound, language),
                   StatusText(reader::RecordStatus::kCombined, language),
                   StatusText(reader::RecordStatus::kRepaired, language),
                   StatusText(reader::RecordStatus::kChecksumError, language),
                   StatusText(reader::RecordStatus::kCutShort, language)};
  labels.decimalPoint = language == Language::kRussian ? ',' : '.';
  return labels;
}

}  // namespace reader_tool
