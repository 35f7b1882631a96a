// The reading side as the web page sees it: a small C interface over the
// recording reader (WAV files, fed as bytes) and the tape decoder (live
// capture and the recordings the browser decodes, fed as float samples),
// with the report texts lentok-read uses. The page
// holds a session per file or capture; each session keeps the records taken
// last and the texts it hands out, so every pointer it returns stays good
// until the next call on the same session.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/decoded_record.h"
#include "reader/recording_reader.h"
#include "reader/tape_decoder.h"
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
};

}  // namespace web

namespace {

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

const char* Keep(Session& session, std::string text) {
  session.text = std::move(text);
  return session.text.c_str();
}

}  // namespace

extern "C" {

Session* web_open_file_reader() {
  auto* session = new Session;
  session->file.emplace();
  return session;
}

// Float samples, `channels` interleaved, at `sampleRate`; null when the
// decoder cannot take that many channels.
Session* web_open_sample_decoder(double sampleRate, int channels) {
  if (channels < 1 || channels > kMostChannels) return nullptr;
  auto* session = new Session;
  session->live.emplace(sampleRate, channels);
  session->channels = channels;
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
  if (session->live) session->live->Feed(session->inputSamples.data(), frames);
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
  return Keep(*session, reader_tool::ImageFileName(*record, recordingName));
}

// The record's tape image; its size comes from web_record_image_size.
const std::uint8_t* web_record_image(Session* session, int index) {
  const reader::DecodedRecord* record = RecordAt(*session, index);
  session->image = record != nullptr ? reader::ImageBytes(*record) : std::vector<std::uint8_t>{};
  return session->image.data();
}

std::size_t web_record_image_size(Session* session) { return session->image.size(); }

}  // extern "C"
