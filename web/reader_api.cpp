// The reading side as the web page sees it: a small C interface over the
// recording reader (WAV files, fed as bytes) and the tape decoder (live
// capture and the recordings the browser decodes, fed as float samples),
// with the report texts lentok-read uses. The page
// holds a session per file or capture; each session keeps the records taken
// last and the texts it hands out, so every pointer it returns stays good
// until the next call on the same session. Each session also collects what
// its damage map needs as it goes: the level profile and the records' map
// values in both languages. Recordings taken in together (files dropped at
// once, or one capture) form a group: once each is read, its records join
// the group, and the group combines copies and repairs records as
// lentok-read does over the recordings of one command line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "map/damage_map.h"
#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "reader/image_names.h"
#include "reader/recording_reader.h"
#include "reader/signal_profile.h"
#include "reader/tape_decoder.h"
#include "reader_tool/combination_report.h"
#include "reader_tool/map_report.h"
#include "reader_tool/record_report.h"
#include "reader_tool/recording_input.h"

namespace web {

// The decoder reads up to this many channels; a recording with more is
// refused rather than cut down to some of them.
constexpr int kMostChannels = 8;

struct Session {
  // Exactly one of the two is set.
  std::optional<reader::RecordingReader> file;
  std::optional<reader::TapeDecoder> live;
  int channels = 1;

  std::vector<std::uint8_t> inputBytes;
  std::vector<float> inputSamples;
  std::vector<char> inputText;

  std::vector<reader::DecodedRecord> records;
  std::string text;
  std::vector<std::uint8_t> image;
  std::vector<double> byteSeconds;

  reader::SignalProfile profile;
  // Every record taken so far, as read, and as the map draws it: English,
  // then Russian.
  std::vector<reader::DecodedRecord> taken;
  std::vector<tape_map::MapRecord> mapRecords[2];
};

// A recording that joined a group: its name and its level, for its map.
struct GroupMember {
  std::string name;
  tape_map::MapRecording level;  // without records
  std::size_t firstRecord = 0;   // its records' place in Group::records
};

struct Group {
  std::vector<GroupMember> members;
  std::vector<reader::DecodedRecord> records;  // every member's, in order
  std::vector<std::size_t> memberOf;
  std::vector<reader::RecordStatus> readAs;
  reader::Recovery recovery;

  std::string text;
  std::vector<std::uint8_t> image;
};

}  // namespace web

namespace {

using web::Group;
using web::kMostChannels;
using web::Session;

reader_tool::Language LanguageOf(int russian) {
  return russian != 0 ? reader_tool::Language::kRussian : reader_tool::Language::kEnglish;
}

// Null for an index the page should never pass; the callers answer it with
// an empty result rather than read past the list.
const reader::DecodedRecord* RecordAt(const Session& session, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= session.records.size()) return nullptr;
  return &session.records[static_cast<std::size_t>(index)];
}

template <typename Holder>
const char* Keep(Holder& holder, std::string text) {
  holder.text = std::move(text);
  return holder.text.c_str();
}

template <typename Holder>
const std::uint8_t* KeepImage(Holder& holder, const reader::DecodedRecord* record) {
  holder.image = record != nullptr ? reader::ImageBytes(*record) : std::vector<std::uint8_t>{};
  return holder.image.data();
}

const reader::CopyCombination* CombinationAt(const Group& group, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= group.recovery.combinations.size()) return nullptr;
  return &group.recovery.combinations[static_cast<std::size_t>(index)];
}

// A record of the group after recovery.
const reader::DecodedRecord* RecoveredAt(const Group& group, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= group.recovery.records.size()) return nullptr;
  return &group.recovery.records[static_cast<std::size_t>(index)];
}

std::size_t CombinedInto(const Group& group, std::size_t index) {
  return index < group.recovery.combinedInto.size() ? group.recovery.combinedInto[index] : reader::kNotCombined;
}

}  // namespace

extern "C" {

Session* web_open_file_reader() {
  auto* session = new Session;
  session->file.emplace();
  session->file->AttachProfile(&session->profile);
  return session;
}

// Float samples, `channels` interleaved, at `sampleRate`; null when the
// decoder cannot take that many channels.
Session* web_open_sample_decoder(double sampleRate, int channels) {
  if (channels < 1 || channels > kMostChannels) return nullptr;
  auto* session = new Session;
  session->live.emplace(sampleRate, channels);
  session->channels = channels;
  session->profile.SetSampleRate(sampleRate);
  return session;
}

void web_close(Session* session) { delete session; }

// Room for the page to copy the next input into.
std::uint8_t* web_input_bytes(Session* session, std::size_t count) {
  session->inputBytes.resize(count);
  return session->inputBytes.data();
}

float* web_input_samples(Session* session, std::size_t frames) {
  session->inputSamples.resize(frames * static_cast<std::size_t>(session->channels));
  return session->inputSamples.data();
}

// Room for a NUL-terminated UTF-8 text of `bytes` bytes, terminator included.
char* web_input_text(Session* session, std::size_t bytes) {
  session->inputText.assign(bytes, '\0');
  return session->inputText.data();
}

// Feeds the first `count` bytes of the input room; a reader::ReadError.
int web_feed_bytes(Session* session, std::size_t count) {
  if (!session->file) return static_cast<int>(reader::ReadError::kNone);
  return static_cast<int>(session->file->Feed(session->inputBytes.data(), count));
}

void web_feed_samples(Session* session, std::size_t frames) {
  if (!session->live) return;
  session->live->Feed(session->inputSamples.data(), frames);
  session->profile.Feed(session->inputSamples.data(), frames, session->channels);
}

// The input has ended; a reader::ReadError.
int web_finish(Session* session) {
  if (session->live) {
    session->live->Finish();
    return static_cast<int>(reader::ReadError::kNone);
  }
  return static_cast<int>(session->file->Finish());
}

// Why the WAV reader refused the file, in the words lentok-read uses.
const char* web_wav_error_text(Session* session, int russian) {
  if (!session->file) return Keep(*session, {});
  return Keep(*session, reader_tool::WavErrorText(session->file->WavErrorCode(), LanguageOf(russian)));
}

float web_recent_peak(Session* session) { return session->live ? session->live->RecentPeak() : 0; }

// Replaces the session's records with those completed since the last call;
// returns how many there are.
int web_take_records(Session* session) {
  session->records = session->file ? session->file->TakeRecords() : session->live->TakeRecords();
  for (const reader::DecodedRecord& record : session->records) {
    session->taken.push_back(record);
    session->mapRecords[0].push_back(reader_tool::MapRecordOf(record, record.status, reader_tool::Language::kEnglish));
    session->mapRecords[1].push_back(reader_tool::MapRecordOf(record, record.status, reader_tool::Language::kRussian));
  }
  return static_cast<int>(session->records.size());
}

// A reader::RecordStatus, or -1 for no such record.
int web_record_status(Session* session, int index) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  return record != nullptr ? static_cast<int>(record->status) : -1;
}

const char* web_record_status_text(Session* session, int index, int russian) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  if (record == nullptr) return Keep(*session, {});
  return Keep(*session, reader_tool::StatusText(record->status, LanguageOf(russian)));
}

const char* web_record_line(Session* session, int index, int russian) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  if (record == nullptr) return Keep(*session, {});
  return Keep(*session, reader_tool::RecordLine(*record, LanguageOf(russian)));
}

// 1 when the machine's loader would load the record as it was played, 0
// when not, -1 for no such record.
int web_record_machine_loads(Session* session, int index) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  return record != nullptr ? (record->machine.loads ? 1 : 0) : -1;
}

// The machine's verdict in lentok-read's words, without the problems (the
// record line ends with them).
const char* web_record_machine_verdict(Session* session, int index, int russian) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  if (record == nullptr) return Keep(*session, {});
  return Keep(*session, reader_tool::MachineVerdictWords(*record, LanguageOf(russian)));
}

// The image's file name; the recording's own name is the text last put in
// the input text room.
const char* web_record_image_name(Session* session, int index) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  if (record == nullptr) return Keep(*session, {});
  const std::string recordingName(session->inputText.empty() ? "" : session->inputText.data());
  return Keep(*session, reader::ImageFileName(*record, recordingName));
}

// The record's tape image; its size comes from web_record_image_size.
const std::uint8_t* web_record_image(Session* session, int index) {
  return KeepImage(*session, RecordAt(*session, index));
}

std::size_t web_record_image_size(Session* session) { return session->image.size(); }

// Where each of the record's data bytes began, in seconds from the start of
// the recording, one per byte of its image's data; for the page to tell
// which byte lies under the pointer.
const double* web_record_byte_seconds(Session* session, int index) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  session->byteSeconds.clear();
  if (record != nullptr) {
    for (std::int64_t frame : record->byteFrames) session->byteSeconds.push_back(reader::SecondsAt(*record, frame));
  }
  return session->byteSeconds.data();
}

std::size_t web_record_byte_seconds_count(Session* session) { return session->byteSeconds.size(); }

// The damage map of everything read so far, as lentok-read --map draws a
// recording, under the name last put in the input text room.
const char* web_map_svg(Session* session, int russian) {
  const reader_tool::Language language = LanguageOf(russian);
  const std::string title(session->inputText.empty() ? "" : session->inputText.data());
  std::vector<tape_map::MapRecording> recordings = {
      reader_tool::MapRecordingOf(title, session->profile, session->mapRecords[russian != 0 ? 1 : 0])};
  return Keep(*session, tape_map::DrawDamageMap(recordings, reader_tool::MapLabelsIn(language)));
}

Group* web_open_group() { return new Group; }

void web_close_group(Group* group) { delete group; }

// The session's recording joins the group with every record read from it;
// the session may be closed afterwards.
void web_group_add(Group* group, Session* session) {
  web::GroupMember member;
  member.name = session->inputText.empty() ? "" : session->inputText.data();
  member.level = reader_tool::MapRecordingOf(member.name, session->profile, {});
  member.firstRecord = group->records.size();
  for (reader::DecodedRecord& record : session->taken) {
    group->memberOf.push_back(group->members.size());
    group->readAs.push_back(record.status);
    group->records.push_back(std::move(record));
  }
  session->taken.clear();
  group->members.push_back(std::move(member));
}

// Combines and repairs the group's records; returns how many combined
// images there are.
int web_group_recover(Group* group) {
  group->recovery = reader::RecoverRecords(group->records);
  return static_cast<int>(group->recovery.combinations.size());
}

int web_group_record_count(Group* group) { return static_cast<int>(group->records.size()); }

// Which recording of the group (from 0, in the order they joined) a record
// came from, and its place among that recording's records.
int web_group_record_member(Group* group, int index) {
  if (RecoveredAt(*group, index) == nullptr) return -1;
  return static_cast<int>(group->memberOf[static_cast<std::size_t>(index)]);
}

int web_group_record_index(Group* group, int index) {
  if (RecoveredAt(*group, index) == nullptr) return -1;
  const std::size_t member = group->memberOf[static_cast<std::size_t>(index)];
  return index - static_cast<int>(group->members[member].firstRecord);
}

// The combination the record went into, or -1.
int web_group_record_combined_into(Group* group, int index) {
  if (RecoveredAt(*group, index) == nullptr) return -1;
  const std::size_t into = CombinedInto(*group, static_cast<std::size_t>(index));
  return into == reader::kNotCombined ? -1 : static_cast<int>(into);
}

// 1 when recovery changed the record on its own (a repair), else 0.
int web_group_record_changed(Group* group, int index) {
  const reader::DecodedRecord* record = RecoveredAt(*group, index);
  if (record == nullptr) return 0;
  return record->status != group->readAs[static_cast<std::size_t>(index)] ? 1 : 0;
}

int web_group_record_status(Group* group, int index) {
  const reader::DecodedRecord* record = RecoveredAt(*group, index);
  return record != nullptr ? static_cast<int>(record->status) : -1;
}

const char* web_group_record_status_text(Group* group, int index, int russian) {
  const reader::DecodedRecord* record = RecoveredAt(*group, index);
  if (record == nullptr) return Keep(*group, {});
  return Keep(*group, reader_tool::StatusText(record->status, LanguageOf(russian)));
}

const char* web_group_record_line(Group* group, int index, int russian) {
  const reader::DecodedRecord* record = RecoveredAt(*group, index);
  if (record == nullptr) return Keep(*group, {});
  return Keep(*group, reader_tool::RecordLine(*record, LanguageOf(russian)));
}

const std::uint8_t* web_group_record_image(Group* group, int index) {
  return KeepImage(*group, RecoveredAt(*group, index));
}

std::size_t web_group_image_size(Group* group) { return group->image.size(); }

// The recording of the group that a combination's first copy came from.
int web_group_combination_member(Group* group, int index) {
  const reader::CopyCombination* combination = CombinationAt(*group, index);
  if (combination == nullptr || combination->copies.empty()) return -1;
  return static_cast<int>(group->memberOf[combination->copies.front()]);
}

int web_group_combination_status(Group* group, int index) {
  const reader::CopyCombination* combination = CombinationAt(*group, index);
  return combination != nullptr ? static_cast<int>(combination->record.status) : -1;
}

const char* web_group_combination_status_text(Group* group, int index, int russian) {
  const reader::CopyCombination* combination = CombinationAt(*group, index);
  if (combination == nullptr) return Keep(*group, {});
  return Keep(*group, reader_tool::StatusText(combination->record.status, LanguageOf(russian)));
}

// The combination's line as lentok-read prints it: its copies by recording
// and time, and the supplier of each doubtful stretch.
const char* web_group_combination_line(Group* group, int index, int russian) {
  const reader::CopyCombination* combination = CombinationAt(*group, index);
  if (combination == nullptr) return Keep(*group, {});
  std::vector<reader_tool::CopyPlace> places;
  for (std::size_t copy : combination->copies) {
    const reader::DecodedRecord& record = group->records[copy];
    places.push_back({group->members[group->memberOf[copy]].name, reader::SecondsAt(record, record.firstFrame)});
  }
  return Keep(*group, reader_tool::CombinationLine(*combination, places, LanguageOf(russian)));
}

const std::uint8_t* web_group_combination_image(Group* group, int index) {
  const reader::CopyCombination* combination = CombinationAt(*group, index);
  return KeepImage(*group, combination != nullptr ? &combination->record : nullptr);
}

const char* web_group_combination_image_name(Group* group, int index) {
  const reader::CopyCombination* combination = CombinationAt(*group, index);
  if (combination == nullptr || combination->copies.empty()) return Keep(*group, {});
  const std::string& recording = group->members[group->memberOf[combination->copies.front()]].name;
  return Keep(*group, reader::ImageFileName(combination->record, recording));
}

// A recording's map after recovery: each copy shown by what became of it.
const char* web_group_map_svg(Group* group, int member, int russian) {
  if (member < 0 || static_cast<std::size_t>(member) >= group->members.size()) return Keep(*group, {});
  const reader_tool::Language language = LanguageOf(russian);
  tape_map::MapRecording recording = group->members[static_cast<std::size_t>(member)].level;
  for (std::size_t i = 0; i < group->records.size(); ++i) {
    if (group->memberOf[i] != static_cast<std::size_t>(member)) continue;
    const reader::DecodedRecord& record = group->recovery.records[i];
    const std::size_t into = CombinedInto(*group, i);
    const reader::RecordStatus shown =
        into == reader::kNotCombined ? record.status : group->recovery.combinations[into].record.status;
    recording.records.push_back(reader_tool::MapRecordOf(record, shown, language));
  }
  return Keep(*group, tape_map::DrawDamageMap({recording}, reader_tool::MapLabelsIn(language)));
}

}  // extern "C"
