// Tape sides as the web page sees them: a thin C interface over the side
// library, so that the images chosen together become one recording with
// the very samples, table of contents and label track lentok-side gives for
// the same images and options. The page renders what it gets here. A page
// side of a few images is small, so its WAV file is made whole in memory.
// FLAC is not offered: the page's build has no FLAC encoder.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "reader_tool/report_format.h"
#include "side/command_line.h"
#include "side/contents_report.h"
#include "side/side_plan.h"
#include "side/side_writer.h"
#include "side/texts.h"

namespace web {

struct PageSide {
  side::SideOptions options;
  std::vector<side::SideImage> images;
  side::SidePlan plan;
  bool planned = false;
  std::vector<std::uint8_t> file;  // the latest file made
  std::string text;  // the latest text handed out
};

std::string BothWords(const std::string& english, const std::string& russian) {
  return "{\"en\":" + reader_tool::JsonTextString(english) + ",\"ru\":" + reader_tool::JsonTextString(russian) + "}";
}

// Why the side cannot be made, in `language`, as lentok-side words it.
std::string PlanProblemWords(const side::PlanResult& planned, const std::vector<side::SideImage>& images,
                             side::Language language) {
  return side::Say(side::SideText::kRefusal, language, {side::PlanProblemText(planned, images, language)});
}

std::string WarningWords(const std::vector<side::SideWarning>& warnings, const side::SideContents& contents,
                         int cassetteMinutes, side::Language language) {
  std::string json = "[";
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    if (i > 0) json += ",";
    json += reader_tool::JsonTextString(side::Say(
        side::SideText::kWarning, language, {side::WarningText(warnings[i], contents, cassetteMinutes, language)}));
  }
  return json + "]";
}

// What the page shows of each program beside lentok-side's own JSON: its
// place and length as the table gives them, and the name to type as a
// terminal would show it (none with -x).
std::string ShownPrograms(const side::SideContents& contents) {
  std::string json = "[";
  for (std::size_t i = 0; i < contents.programs.size(); ++i) {
    const side::ProgramEntry& program = contents.programs[i];
    if (i > 0) json += ",";
    json += "{\"start\":" + reader_tool::JsonTextString(side::SideTime(program.firstFrame, contents.sampleRate));
    json += ",\"length\":" +
            reader_tool::JsonTextString(side::SideTime(program.endFrame - program.firstFrame, contents.sampleRate));
    json += ",\"name\":" + (contents.named ? reader_tool::JsonTextString(side::ShownName(program.tapeName))
                                            : std::string("null"));
    json += "}";
  }
  return json + "]";
}

std::string PlanJson(PageSide& side) {
  const side::PlanResult planned = side::PlanSide(side.images, side.options);
  if (planned.problem != side::PlanProblem::kNone) {
    return "{\"refusal\":" +
           BothWords(PlanProblemWords(planned, side.images, side::Language::kEnglish),
                     PlanProblemWords(planned, side.images, side::Language::kRussian)) +
           "}";
  }
  const side::SideContents& contents = planned.plan.contents;
  if (!side::WavHoldsSide(contents.frames)) {
    const auto words = [&](side::Language language) {
      return side::Say(side::SideText::kRefusal, language,
                       {side::Say(side::SideText::kTooLongForWav, language,
                                  {side::SideTime(contents.frames, contents.sampleRate),
                                   side::SideTime(side::LongestWavSide(), contents.sampleRate)})});
    };
    return "{\"refusal\":" + BothWords(words(side::Language::kEnglish), words(side::Language::kRussian)) + "}";
  }
  side.plan = planned.plan;
  side.planned = true;
  // The cassette side lentok-side warns for unless told otherwise.
  const int minutes = side::SideToolOptions{}.cassetteMinutes;
  const std::vector<side::SideWarning> warnings = side::SideWarnings(contents, minutes);
  std::string json = "{\"contents\":" + side::ContentsJson(contents, warnings, minutes);
  json += ",\"table\":" + BothWords(side::ContentsText(contents, side::Language::kEnglish),
                                    side::ContentsText(contents, side::Language::kRussian));
  json += ",\"warnings\":{\"en\":" + WarningWords(warnings, contents, minutes, side::Language::kEnglish);
  json += ",\"ru\":" + WarningWords(warnings, contents, minutes, side::Language::kRussian) + "}";
  json += ",\"programs\":" + ShownPrograms(contents);
  json += ",\"total\":" + reader_tool::JsonTextString(side::SideTime(contents.frames, contents.sampleRate));
  json += ",\"labels\":" + reader_tool::JsonTextString(side::LabelTrack(contents));
  return json + "}";
}

}  // namespace web

using web::PageSide;

extern "C" {

// A side of images to come, with lentok-side's -k and -x.
PageSide* web_side_open(int computeChecksum, int noHeader) {
  auto* side = new PageSide;
  side->options.computeChecksum = computeChecksum != 0;
  side->options.noHeader = noHeader != 0;
  return side;
}

void web_side_close(PageSide* side) { delete side; }

// Room for the `count` bytes of the side's next image, whose file name
// (UTF-8) goes on tape as lentok puts it there.
std::uint8_t* web_side_image(PageSide* side, const char* fileName, std::size_t count) {
  side->images.push_back({fileName, fileName, std::vector<std::uint8_t>(count)});
  side->planned = false;
  return side->images.back().bytes.data();
}

// The side planned from its images in the order given: {"refusal":{"en","ru"}}
// in lentok-side's words, or {"contents": lentok-side --json's document,
// "table":{"en","ru"} its table, "warnings":{"en":[],"ru":[]}, "programs":
// [{"start","length","name"}], "total", "labels": the label track}. Good
// until the next call on the side.
const char* web_side_plan(PageSide* side) {
  side->text = web::PlanJson(*side);
  return side->text.c_str();
}

// The planned side's file, whole: WAV (`flac` 0) or FLAC (1), the bytes
// lentok-side writes for the same images and options; its size from
// web_side_file_size. Null before a plan that was not refused, or when the
// encoder failed. Good until the next call on the side.
const std::uint8_t* web_side_file(PageSide* side, int flac) {
  side->file.clear();
  if (!side->planned) return nullptr;
  std::vector<std::uint8_t>& file = side->file;
  const std::uint64_t frames = side->plan.contents.frames;
  const side::ByteSink sink = [&file](const std::uint8_t* bytes, std::size_t count) {
    file.insert(file.end(), bytes, bytes + count);
    return true;
  };
  std::unique_ptr<side::SideEncoder> encoder;
  if (flac != 0) {
    encoder = side::MakeFlacEncoder(frames, sink).encoder;
    if (!encoder) return nullptr;
  } else {
    // The WAV's size is known; the FLAC's, a fraction of it, grows.
    file.reserve(side::kWavSideHeaderBytes + frames * 2);
    encoder = side::MakeWavEncoder(frames, sink);
  }
  const side::WriteResult written = side::WriteSide(side->plan, *encoder, [] { return true; });
  if (written.outcome != side::WriteOutcome::kWritten) {
    file.clear();
    return nullptr;
  }
  return file.data();
}

std::size_t web_side_file_size(PageSide* side) { return side->file.size(); }

}  // extern "C"
