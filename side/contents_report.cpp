// The table of contents as text, JSON and labels, with lentok-read's
// report pieces (reader_tool/report_format.h) for numbers, names and JSON
// strings, so that the two tools show a name and a time alike.
#include "side/contents_report.h"

#include <algorithm>

#include "reader_tool/report_format.h"
#include "tape/tape_name.h"

namespace side {

namespace {

double Seconds(std::uint64_t frames, std::uint32_t sampleRate) {
  return static_cast<double>(frames) / sampleRate;
}

// Characters, not bytes, so that Russian headings line up.
std::size_t Width(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string PadLeft(const std::string& text, std::size_t width) {
  const std::size_t have = Width(text);
  return have >= width ? text : std::string(width - have, ' ') + text;
}

std::string NameColumn(const ProgramEntry& program, bool named, Language language) {
  const std::string name = named ? ShownName(program.tapeName) : Text(SideText::kContentsNoName, language);
  return Say(SideText::kContentsEntry, language, {name, reader_tool::PrintableText(program.path)});
}

std::string JsonSeconds(std::uint64_t frames, std::uint32_t sampleRate) {
  return reader_tool::JsonNumber(Seconds(frames, sampleRate), 6);
}

const char* WarningKindWord(WarningKind kind) {
  switch (kind) {
    case WarningKind::kLongerThanCassette: return "longer than the cassette side";
    case WarningKind::kNameNotTypeable: return "name not typeable";
    case WarningKind::kNoNames: break;
  }
  return "no names";
}

}  // namespace

std::string SideTime(std::uint64_t frames, std::uint32_t sampleRate) {
  const std::uint64_t tenths = frames * 10 / sampleRate;
  const std::uint64_t seconds = tenths / 10 % 60;
  return std::to_string(tenths / 600) + ":" + (seconds < 10 ? "0" : "") + std::to_string(seconds) + "." +
         std::to_string(tenths % 10);
}

std::string ShownName(const std::string& tapeName) { return reader_tool::PrintableText(tapeName); }

std::string ContentsText(const SideContents& contents, Language language) {
  const std::uint32_t rate = contents.sampleRate;
  std::vector<std::string> numbers{Text(SideText::kContentsNumber, language)};
  std::vector<std::string> starts{Text(SideText::kContentsStart, language)};
  std::vector<std::string> lengths{Text(SideText::kContentsLength, language)};
  std::vector<std::string> names{Text(SideText::kContentsName, language)};
  for (std::size_t i = 0; i < contents.programs.size(); ++i) {
    const ProgramEntry& program = contents.programs[i];
    numbers.push_back(std::to_string(i + 1));
    starts.push_back(SideTime(program.firstFrame, rate));
    lengths.push_back(SideTime(program.endFrame - program.firstFrame, rate));
    names.push_back(NameColumn(program, contents.named, language));
  }
  const auto widest = [](const std::vector<std::string>& column) {
    std::size_t width = 0;
    for (const std::string& cell : column) width = std::max(width, Width(cell));
    return width;
  };
  const std::size_t numberWidth = widest(numbers);
  const std::size_t startWidth = widest(starts);
  const std::size_t lengthWidth = widest(lengths);
  std::string text;
  for (std::size_t row = 0; row < numbers.size(); ++row) {
    text += PadLeft(numbers[row], numberWidth) + "  " + PadLeft(starts[row], startWidth) + "  " +
            PadLeft(lengths[row], lengthWidth) + "  " + names[row] + "\n";
  }
  text += Say(SideText::kContentsTotal, language,
              {SideTime(contents.frames, rate), std::to_string(contents.programs.size())}) +
          "\n";
  return text;
}

std::string ContentsJson(const SideContents& contents, const std::vector<SideWarning>& warnings,
                         int cassetteMinutes) {
  const std::uint32_t rate = contents.sampleRate;
  std::string json = "{\"side\":{";
  json += "\"sampleRate\":" + std::to_string(rate);
  json += ",\"frames\":" + std::to_string(contents.frames);
  json += ",\"seconds\":" + JsonSeconds(contents.frames, rate);
  json += ",\"gapFrames\":" + std::to_string(contents.gapFrames);
  json += ",\"gapSeconds\":" + JsonSeconds(contents.gapFrames, rate);
  json += ",\"named\":" + std::string(contents.named ? "true" : "false");
  json += ",\"programs\":[";
  for (std::size_t i = 0; i < contents.programs.size(); ++i) {
    const ProgramEntry& program = contents.programs[i];
    if (i > 0) json += ",";
    json += "{\"image\":" + reader_tool::JsonTextString(program.path);
    json += ",\"name\":" + (contents.named ? reader_tool::JsonByteString(program.tapeName) : std::string("null"));
    json += ",\"start\":" + std::to_string(program.startAddress);
    json += ",\"end\":" + std::to_string(program.endAddress);
    json += ",\"dataBytes\":" + std::to_string(program.dataBytes);
    json += ",\"checksumOnTape\":" + std::to_string(program.checksum);
    json += ",\"firstFrame\":" + std::to_string(program.firstFrame);
    json += ",\"blockFrame\":" + std::to_string(program.blockFrame);
    json += ",\"endFrame\":" + std::to_string(program.endFrame);
    json += ",\"from\":" + JsonSeconds(program.firstFrame, rate);
    json += ",\"to\":" + JsonSeconds(program.endFrame, rate) + "}";
  }
  json += "]},\"warnings\":[";
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    const SideWarning& warning = warnings[i];
    if (i > 0) json += ",";
    json += "{\"kind\":\"" + std::string(WarningKindWord(warning.kind)) + "\"";
    if (warning.kind == WarningKind::kLongerThanCassette) json += ",\"minutes\":" + std::to_string(cassetteMinutes);
    if (warning.kind == WarningKind::kNameNotTypeable) {
      const ProgramEntry& program = contents.programs[warning.program];
      json += ",\"image\":" + reader_tool::JsonTextString(program.path);
      json += ",\"name\":" + reader_tool::JsonByteString(program.tapeName);
    }
    json += "}";
  }
  return json + "]}\n";
}

std::string LabelTrack(const SideContents& contents) {
  std::string track;
  for (const ProgramEntry& program : contents.programs) {
    track += reader_tool::FormatFixed(Seconds(program.firstFrame, contents.sampleRate), 6) + "\t" +
             reader_tool::FormatFixed(Seconds(program.endFrame, contents.sampleRate), 6) + "\t" +
             ShownName(contents.named ? program.tapeName : program.path) + "\n";
  }
  return track;
}

std::string WarningText(const SideWarning& warning, const SideContents& contents, int cassetteMinutes,
                        Language language) {
  switch (warning.kind) {
    case WarningKind::kLongerThanCassette:
      return Say(SideText::kWarnLongerThanCassette, language,
                 {SideTime(contents.frames, contents.sampleRate), std::to_string(cassetteMinutes)});
    case WarningKind::kNameNotTypeable: {
      const ProgramEntry& program = contents.programs[warning.program];
      return Say(SideText::kWarnNameNotTypeable, language,
                 {reader_tool::PrintableText(program.path), ShownName(program.tapeName)});
    }
    case WarningKind::kNoNames: break;
  }
  return Text(SideText::kWarnNoNames, language);
}

std::string PlanProblemText(const PlanResult& planned, const std::vector<SideImage>& images, Language language) {
  const auto shown = [&](std::size_t image) { return reader_tool::PrintableText(images[image].path); };
  switch (planned.problem) {
    case PlanProblem::kImageTooShort: return Say(SideText::kImageTooShort, language, {shown(planned.image)});
    case PlanProblem::kImageTooLong: return Say(SideText::kImageTooLong, language, {shown(planned.image)});
    case PlanProblem::kSameName:
      return Say(SideText::kSameName, language,
                 {shown(planned.other), shown(planned.image), ShownName(TapeNameOf(images[planned.image].fileName))});
    case PlanProblem::kNone:
    case PlanProblem::kNoImages: break;
  }
  return Text(SideText::kNoImages, language);
}

}  // namespace side
