// The reading side as the web page sees it: a thin C interface over one
// reader::ReadContext per group of recordings read together (the files
// chosen or dropped at once, or one capture), so that the page reads,
// combines, repairs, names images and tells of them exactly as lentok-read
// does over the recordings of one command line. A WAV file is fed as its
// bytes; live capture and the recordings the browser decodes as float
// frames at their own rate. The page renders the report's JSON, the maps'
// SVG and the pointer's readings it gets here; every text handed out stays
// good until the next call on the same read. Images stay in the read's
// memory under their names, for the page to offer as downloads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/conversion_state.h"
#include "decoding/container_probe.h"
#include "reader/read_context.h"
#include "reader_tool/recording_input.h"
#include "reader_tool/report_format.h"
#include "reader_tool/run_report.h"
#include "reader_tool/texts.h"
#include "tape/tape_name.h"

namespace web {

// The page keeps images in memory under the names the context gives them;
// no name on the page is a file the read must not write over.
class MemoryImageStore : public reader::ImageStore {
 public:
  bool Reserved(const std::string&) override { return false; }

  reader::StoredImage Store(const std::string& name, const std::vector<std::uint8_t>& image) override {
    images_[name] = image;
    return {name, ""};
  }

  const std::vector<std::uint8_t>* Find(const std::string& name) const {
    const auto found = images_.find(name);
    return found == images_.end() ? nullptr : &found->second;
  }

 private:
  std::unordered_map<std::string, std::vector<std::uint8_t>> images_;
};

// How the recording being read comes in.
enum class Input { kNone, kBytes, kFrames, kRefused };

reader::ReadSettings PageSettings(bool separate) {
  reader::ReadSettings settings;
  settings.separate = separate;
  settings.keepMap = true;      // each recording's map, once the read is done
  settings.keepEntries = true;  // the report is rendered whole, and pointed into
  return settings;
}

struct PageRead {
  explicit PageRead(bool separate) : context(PageSettings(separate), &store) {}

  MemoryImageStore store;  // before the context, which writes into it
  reader::ReadContext context;
  Input input = Input::kNone;
  int channels = 0;
  std::vector<std::uint8_t> bytes;  // room for the next input
  std::vector<float> frames;
  std::string text;  // the latest text handed out
  const std::vector<std::uint8_t>* image = nullptr;
};

reader_tool::Language LanguageOf(int russian) {
  return russian != 0 ? reader_tool::Language::kRussian : reader_tool::Language::kEnglish;
}

const char* Keep(PageRead& read, std::string text) {
  read.text = std::move(text);
  return read.text.c_str();
}

// Final entries are kept in the report; the context's queue of them is
// let go, as nothing here prints them one by one.
void Settle(PageRead& read) { read.context.TakeEntries(); }

// Why the recording ended early, in `language`: the WAV reader's word, the
// decoder's refusal of its channels, or the page's failure to read the file.
std::string FailureText(const PageRead& read, bool failed, reader_tool::Language language) {
  using reader_tool::TextId;
  if (read.input == Input::kRefused) return reader_tool::Text(TextId::kStreamUnsupportedChannels, language);
  if (read.input == Input::kBytes && read.context.WavErrorCode() != formats::WavError::kNone) {
    return reader_tool::WavErrorText(read.context.WavErrorCode(), language);
  }
  if (failed) {
    return reader_tool::Say(TextId::kCannotRead, language,
                            {reader_tool::FileErrorText(platform::FileError::kOther, language)});
  }
  return "";
}

bool EndsWith(const std::string& name, const char* ending) {
  const std::size_t length = std::strlen(ending);
  if (name.size() < length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const char c = name[name.size() - length + i];
    if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ending[i]) return false;
  }
  return true;
}

// A name the user gave a recording in a format the page knows: a file of
// such a name whose content is not recognised is told so, rather than taken
// for a tape image.
bool RecordingName(const std::string& name) {
  for (const char* ending : {".wav", ".w64", ".flac", ".oga", ".ogg", ".opus", ".mp3", ".aif", ".aiff", ".aifc"}) {
    if (EndsWith(name, ending)) return true;
  }
  return false;
}

// What the page does with a file, by its head and, where the head does
// not tell, its name.
std::string ProbeJson(const std::uint8_t* head, std::size_t count, std::size_t tagBytes, const std::string& name) {
  const decoding::RecordingHead found = decoding::ProbeRecordingHead(head, count, tagBytes > 0);
  if (tagBytes == 0 && found.tagBytes > 0) return "{\"readFrom\":" + std::to_string(found.tagBytes) + "}";
  // A head too short to hold RIFF's four letters proves nothing.
  const bool riff = found.container == decoding::Container::kRiffWave && count >= 4;
  const bool unknown = found.container == decoding::Container::kUnknown ||
                       (found.container == decoding::Container::kRiffWave && !riff);
  if (riff || (unknown && EndsWith(name, ".wav"))) {
    // The WAV reader reads it, and says what is wrong with it.
    return "{\"kind\":\"wav\"}";
  }
  if (!unknown) {
    return "{\"kind\":\"decode\",\"container\":" + reader_tool::JsonTextString(found.name) +
           ",\"sampleRate\":" + reader_tool::JsonNumber(found.sampleRate, 0) + "}";
  }
  if (RecordingName(name)) return "{\"kind\":\"unknown\"}";
  // One byte more than the largest image lentok takes is enough for it to
  // refuse a longer one by its size, and a huge file chosen by mistake is
  // not loaded whole.
  return "{\"kind\":\"image\",\"bytes\":" + std::to_string(kImageBufferSize + 1) + "}";
}

std::string BothLanguages(const std::string& english, const std::string& russian) {
  return "{\"en\":" + reader_tool::JsonTextString(english) + ",\"ru\":" + reader_tool::JsonTextString(russian) + "}";
}

// `text` made with malloc, for a caller that holds no read to keep it.
char* Copied(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

bool HasRecording(const PageRead& read, int recording) {
  return recording >= 0 && static_cast<std::size_t>(recording) < read.context.Report().recordings.size();
}

}  // namespace web

using web::PageRead;

extern "C" {

// A read of a group of recordings; `separate` reads each record on its own,
// with no copies combined and no repair.
PageRead* web_open(int separate) { return new PageRead(separate != 0); }

void web_close(PageRead* read) { delete read; }

// How many of a file's first bytes web_probe wants.
std::size_t web_head_bytes() { return decoding::kHeadBytes; }

// What the page does with a file: its first bytes (up to
// decoding::kHeadBytes), or with `tagBytes` the bytes after an ID3v2 tag of
// that size, and its name. A JSON object made with malloc, for the caller
// to free: {"kind":"wav"}, {"kind":"decode","container","sampleRate"} (0
// when the header gives none), {"kind":"unknown"}, {"kind":"image","bytes"}
// (as many bytes as lentok needs of it), or {"readFrom": N}: probe again with
// the bytes from N on.
char* web_probe(const std::uint8_t* head, std::size_t count, std::size_t tagBytes, const char* name) {
  return web::Copied(web::ProbeJson(head, count, tagBytes, name));
}

// The name lentok puts on tape for an image of this file name, made with
// malloc for the caller to free.
char* web_tape_name(const char* fileName) { return web::Copied(TapeNameOf(fileName)); }

// A new recording of the group, under the name the user knows it by (UTF-8).
void web_begin_recording(PageRead* read, const char* name) {
  read->context.BeginRecording(name);
  read->input = web::Input::kNone;
}

// Room for the next input: `count` bytes of a WAV file, or `frames` frames
// of the channels web_begin_frames was given.
std::uint8_t* web_input_bytes(PageRead* read, std::size_t count) {
  read->bytes.resize(count);
  return read->bytes.data();
}

float* web_input_frames(PageRead* read, std::size_t frames) {
  read->frames.resize(frames * static_cast<std::size_t>(read->channels));
  return read->frames.data();
}

// Feeds the first `count` bytes of the room as the recording's next bytes;
// a reader::ReadError. After an error the page ends the recording.
int web_feed_bytes(PageRead* read, std::size_t count) {
  read->input = web::Input::kBytes;
  const reader::ReadError error = read->context.FeedBytes(read->bytes.data(), count);
  web::Settle(*read);
  return static_cast<int>(error);
}

// The recording comes as float frames, `channels` interleaved, at
// `sampleRate`; 0 when the decoder cannot take them (the page then ends
// the recording, and its failure says why).
int web_begin_frames(PageRead* read, double sampleRate, int channels) {
  const bool taken = read->context.BeginFrames(sampleRate, channels);
  read->input = taken ? web::Input::kFrames : web::Input::kRefused;
  read->channels = taken ? channels : 0;
  return taken ? 1 : 0;
}

void web_feed_frames(PageRead* read, std::size_t frames) {
  if (read->input != web::Input::kFrames) return;
  read->context.FeedFrames(read->frames.data(), frames);
  web::Settle(*read);
}

// The recording has ended; `failed` when the page could not read the whole
// file. Returns why it ended early as {"en","ru"}, or null.
const char* web_end_recording(PageRead* read, int failed) {
  std::string english = web::FailureText(*read, failed != 0, reader_tool::Language::kEnglish);
  std::string russian = web::FailureText(*read, failed != 0, reader_tool::Language::kRussian);
  read->context.EndRecording(english);
  // A file that ends inside its header is refused only at its end.
  if (english.empty() && read->input == web::Input::kBytes) {
    english = web::FailureText(*read, false, reader_tool::Language::kEnglish);
    russian = web::FailureText(*read, false, reader_tool::Language::kRussian);
    if (!english.empty()) read->context.EndRecording(english);
  }
  web::Settle(*read);
  read->input = web::Input::kNone;
  return web::Keep(*read, english.empty() ? "null" : web::BothLanguages(english, russian));
}

// Every recording of the group has been read: copies are combined, damaged
// records repaired, and what waited for them takes its place.
void web_finish(PageRead* read) {
  read->context.Finish();
  web::Settle(*read);
}

// How many entries of the report are final: the page asks for the report
// again when this grows.
int web_entries(PageRead* read) { return static_cast<int>(read->context.Report().entries.size()); }

// The report as lentok-read --json gives it, with what the page shows of
// each entry in that language.
const char* web_report_json(PageRead* read, int russian) {
  const reader_tool::Language language = web::LanguageOf(russian);
  const reader::RunReport& report = read->context.Report();
  return web::Keep(*read, reader_tool::ReportJson(report, reader_tool::ReportStatus(report), &language));
}

// The image stored under `name` (the report's "image"); its size comes
// from web_image_size. Null for no such image.
const std::uint8_t* web_image(PageRead* read, const char* name) {
  read->image = read->store.Find(name);
  return read->image != nullptr ? read->image->data() : nullptr;
}

std::size_t web_image_size(PageRead* read) { return read->image != nullptr ? read->image->size() : 0; }

// The damage map of one recording of the group, as lentok-read --map draws
// it for that recording alone, each record shown as what became of it; ""
// for a recording that could not be read at all, which has nothing to show.
const char* web_map_svg(PageRead* read, int recording, int russian) {
  if (!web::HasRecording(*read, recording)) return web::Keep(*read, "");
  const reader::RunReport& report = read->context.Report();
  const reader::RecordingReport& shown = report.recordings[static_cast<std::size_t>(recording)];
  if (!shown.failure.empty() && shown.records == 0) return web::Keep(*read, "");
  return web::Keep(*read, reader_tool::RecordingMapSvg(report, static_cast<std::size_t>(recording),
                                                        web::LanguageOf(russian)));
}

// What lies `seconds` into a recording, for the map's pointer:
// {"time","address","byte","line"}, the address and byte null where no
// data byte lies; the line in that language.
const char* web_point_json(PageRead* read, int recording, double seconds, int russian) {
  if (!web::HasRecording(*read, recording)) return web::Keep(*read, "null");
  const reader::RunReport& report = read->context.Report();
  const auto index = static_cast<std::size_t>(recording);
  const reader_tool::PointedByte byte = reader_tool::ByteAt(report, index, seconds);
  std::string json = "{\"time\":" + reader_tool::JsonTextString(reader_tool::FormatTime(seconds));
  json += ",\"address\":" + (byte.found ? "\"" + reader_tool::Hex4(byte.address) + "\"" : std::string("null"));
  json += ",\"byte\":" + (byte.found ? "\"" + reader_tool::Hex2(byte.value) + "\"" : std::string("null"));
  json += ",\"line\":" +
          reader_tool::JsonTextString(reader_tool::PointLine(report, index, seconds, web::LanguageOf(russian)));
  return web::Keep(*read, json + "}");
}

// The peak level of the latest frames, for the capture's meter.
float web_recent_peak(PageRead* read) { return read->context.RecentPeak(); }

}  // extern "C"
