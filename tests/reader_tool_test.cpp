// Unit tests of lentok-read's parts: the command line, image names, the
// texts table, the report line and JSON, verification and the exit status.
#include <gtest/gtest.h>

#include <set>

#include "platform/files.h"
#include "reader_tool/command_line.h"
#include "reader_tool/exit_status.h"
#include "reader/image_names.h"
#include "reader_tool/record_report.h"
#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"
#include "reader_tool/verification.h"
#include "tests/support/json_check.h"

using namespace reader_tool;
using namespace reader;

namespace {

ParsedCommandLine Parse(const std::vector<std::string>& arguments) { return ParseCommandLine(arguments); }

// A sound record of three bytes at 0x1000, found 1.5 s into a 44100 Hz
// recording.
reader::DecodedRecord SampleRecord() {
  reader::DecodedRecord record;
  record.sampleRate = 44100;
  record.firstFrame = 66150;
  record.endFrame = 66150 + 44100 * 2 + 441;
  record.channel = 0;
  record.hasHeader = true;
  record.name = "HELLO.RKS";
  record.startAddress = 0x1000;
  record.endAddress = 0x1002;
  record.data = {0x11, 0x22, 0x33};
  record.byteFrames = {70000, 71000, 72000};
  record.addressesRead = true;
  record.checksumRead = true;
  record.tapeChecksum = 0x3355;
  record.computedChecksum = 0x3355;
  record.status = reader::RecordStatus::kSound;
  record.signal.inverted = false;
  record.signal.speed = 0.971;
  record.signal.levelDbfs = -6.04;
  record.machine.judged = true;
  record.machine.loads = true;
  record.machine.loadsOn[static_cast<std::size_t>(reader::MonitorRead::kLaterNamed)] = true;
  return record;
}

// The %N placeholders a text uses.
std::set<char> Placeholders(const std::string& text) {
  std::set<char> found;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') found.insert(text[i + 1]);
  }
  return found;
}

}  // namespace

// --- Command line ---

TEST(ReadToolCommandLine, RecordingsAndTheOptionsTheyCarry) {
  const ParsedCommandLine parsed =
      Parse({"-q", "a.wav", "--json", "--force", "--channel", "2", "b.wav", "-"});
  ASSERT_EQ(parsed.error, CommandLineError::kNone);
  EXPECT_TRUE(parsed.options.quiet);
  EXPECT_TRUE(parsed.options.json);
  EXPECT_TRUE(parsed.options.force);
  EXPECT_FALSE(parsed.options.verify);
  EXPECT_EQ(parsed.options.channel, 1);  // the decoder counts from 0
  EXPECT_EQ(parsed.options.operands, (std::vector<std::string>{"a.wav", "b.wav", "-"}));
}

TEST(ReadToolCommandLine, EveryFormOfTheOutputDirectory) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"-o", "out", "a.wav"}, {"-oout", "a.wav"}, {"--output-dir=out", "a.wav"},
           {"--output-dir", "out", "a.wav"}, {"--output=out", "a.wav"}, {"-qo", "out", "a.wav"}}) {
    const ParsedCommandLine parsed = Parse(arguments);
    EXPECT_EQ(parsed.error, CommandLineError::kNone) << arguments[0];
    EXPECT_EQ(parsed.options.outputDirectory, "out") << arguments[0];
    EXPECT_EQ(parsed.options.operands, std::vector<std::string>{"a.wav"}) << arguments[0];
  }
}

TEST(ReadToolCommandLine, DoubleDashEndsTheOptions) {
  const ParsedCommandLine parsed = Parse({"--", "-q", "--json"});
  ASSERT_EQ(parsed.error, CommandLineError::kNone);
  EXPECT_FALSE(parsed.options.quiet);
  EXPECT_EQ(parsed.options.operands, (std::vector<std::string>{"-q", "--json"}));
}

TEST(ReadToolCommandLine, VerifyTakesImagesAndOneRecording) {
  const ParsedCommandLine parsed = Parse({"--verify", "game.rks", "game.wav"});
  ASSERT_EQ(parsed.error, CommandLineError::kNone);
  EXPECT_TRUE(parsed.options.verify);
  EXPECT_EQ(parsed.options.operands, (std::vector<std::string>{"game.rks", "game.wav"}));
  EXPECT_EQ(Parse({"--verify", "game.rks"}).error, CommandLineError::kVerifyOperands);
  EXPECT_EQ(Parse({"--verify"}).error, CommandLineError::kVerifyOperands);
  // The images of a side, then its recording.
  EXPECT_EQ(Parse({"--verify", "a", "b", "side.wav"}).options.operands,
            (std::vector<std::string>{"a", "b", "side.wav"}));
}

TEST(ReadToolCommandLine, ErrorsNameTheirCulprit) {
  struct Case {
    std::vector<std::string> arguments;
    CommandLineError error;
    std::string culprit;
  };
  const Case cases[] = {
      {{"--frobnicate", "a.wav"}, CommandLineError::kUnknownOption, "--frobnicate"},
      {{"-x", "a.wav"}, CommandLineError::kUnknownOption, "-x"},
      {{"--ver", "a", "b"}, CommandLineError::kAmbiguousOption, "--ver"},
      {{"a.wav", "-o"}, CommandLineError::kMissingValue, "-o"},
      {{"a.wav", "--channel"}, CommandLineError::kMissingValue, "--channel"},
      {{"--json=yes", "a.wav"}, CommandLineError::kUnexpectedValue, "--json"},
      {{"--channel=0", "a.wav"}, CommandLineError::kBadChannel, "0"},
      {{"--channel=9", "a.wav"}, CommandLineError::kBadChannel, "9"},
      {{"--channel", "two", "a.wav"}, CommandLineError::kBadChannel, "two"},
      {{"-q"}, CommandLineError::kNoRecording, ""},
      {{"-", "-"}, CommandLineError::kStandardInputTwice, "-"},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = Parse(c.arguments);
    EXPECT_EQ(parsed.error, c.error) << c.arguments[0];
    EXPECT_EQ(parsed.culprit, c.culprit) << c.arguments[0];
  }
}

TEST(ReadToolCommandLine, HelpAndVersionWinOverErrors) {
  EXPECT_TRUE(Parse({"--bogus", "--help"}).options.help);
  EXPECT_EQ(Parse({"--bogus", "--help"}).error, CommandLineError::kNone);
  EXPECT_EQ(Parse({"-h"}).error, CommandLineError::kNone);
  EXPECT_TRUE(Parse({"--version"}).options.version);
  EXPECT_EQ(Parse({"--version"}).error, CommandLineError::kNone);
}

// --- Image names ---

TEST(ReadToolImageNames, NothingEscapesTheDirectory) {
  EXPECT_EQ(SafeImageName("../../etc/passwd"), "___.._etc_passwd");
  EXPECT_EQ(SafeImageName("a/b\\c.rks"), "a_b_c.rks");
  EXPECT_EQ(SafeImageName("."), "_.rks");
  EXPECT_EQ(SafeImageName(".."), "__.rks");
  EXPECT_EQ(SafeImageName(".hidden"), "_hidden.rks");
  EXPECT_EQ(SafeImageName("C:\\x.rks"), "C__x.rks");
  EXPECT_EQ(SafeImageName(""), "");
}

TEST(ReadToolImageNames, ControlAndForbiddenCharactersAndHighBytes) {
  EXPECT_EQ(SafeImageName(std::string("A\0B\n\x7F", 5) + ".RKS"), "A_B__.RKS");
  EXPECT_EQ(SafeImageName("a<b>c:d\"e|f?g*h.RKS"), "a_b_c_d_e_f_g_h.RKS");
  EXPECT_EQ(SafeImageName("\xC7\xC1\xCD\xC5.RKS"), "____.RKS");
  // Windows drops trailing dots and spaces: they would change the name.
  EXPECT_EQ(SafeImageName("GAME. "), "GAME__.rks");
}

TEST(ReadToolImageNames, WindowsDeviceNamesAreNeverUsed) {
  EXPECT_EQ(SafeImageName("CON"), "_CON.rks");
  EXPECT_EQ(SafeImageName("nul.rks"), "_nul.rks");
  EXPECT_EQ(SafeImageName("COM1.TXT"), "_COM1.TXT");
  EXPECT_EQ(SafeImageName("lpt9"), "_lpt9.rks");
  EXPECT_EQ(SafeImageName("AUX .RKS"), "_AUX .RKS");
  EXPECT_EQ(SafeImageName("CONSOLE"), "CONSOLE.rks");
  EXPECT_EQ(SafeImageName("COM10"), "COM10.rks");
}

TEST(ReadToolImageNames, AnExtensionIsKeptOrRksAdded) {
  EXPECT_EQ(SafeImageName("HELLO.RKS"), "HELLO.RKS");
  EXPECT_EQ(SafeImageName("HELLO.BIN"), "HELLO.BIN");
  EXPECT_EQ(SafeImageName("HELLO"), "HELLO.rks");
  EXPECT_EQ(SafeImageName("A"), "A.rks");
  EXPECT_EQ(SafeImageName("V1.2.GAME"), "V1.2.GAME");
}

TEST(ReadToolImageNames, LongNamesAreCut) {
  const std::string name = SafeImageName(std::string(300, 'N'));
  EXPECT_EQ(name, std::string(kLongestImageName, 'N') + ".rks");
}

TEST(ReadToolImageNames, RecordingStems) {
  EXPECT_EQ(RecordingStem("-"), "stdin");
  EXPECT_EQ(RecordingStem("dir/sub/tape.wav"), "tape");
  EXPECT_EQ(RecordingStem("C:\\tapes\\side a.WAV"), "side a");
  EXPECT_EQ(RecordingStem("dir/.wav"), "_wav");
  EXPECT_EQ(RecordingStem("dir/"), "recording");
  EXPECT_EQ(RecordingStem("кассета.wav"), "кассета");
  EXPECT_EQ(RecordingStem("nul.wav"), "_nul");
}

TEST(ReadToolImageNames, RepeatedNamesAreNumberedBeforeTheExtension) {
  NameRegistry names;
  EXPECT_EQ(names.Claim("GAME.RKS"), "GAME.RKS");
  EXPECT_EQ(names.Claim("GAME.RKS"), "GAME-2.RKS");
  EXPECT_EQ(names.Claim("game.rks"), "game-3.rks");
  EXPECT_EQ(names.Claim("GAME-2.RKS"), "GAME-2-2.RKS");
  EXPECT_EQ(names.Claim("tape.rks"), "tape.rks");
  EXPECT_EQ(names.Claim("tape.rks"), "tape-2.rks");
}

TEST(ReadToolImageNames, ImageFileNameFromHeaderOrRecording) {
  reader::DecodedRecord record = SampleRecord();
  EXPECT_EQ(ImageFileName(record, "x/side.wav"), "HELLO.RKS");
  record.name = "../EVIL";
  EXPECT_EQ(ImageFileName(record, "x/side.wav"), "___EVIL.rks");
  record.name = "";
  EXPECT_EQ(ImageFileName(record, "x/side.wav"), "side.rks");
  record.hasHeader = false;
  record.name = "IGNORED";
  EXPECT_EQ(ImageFileName(record, "-"), "stdin.rks");
}

TEST(ReadToolImageNames, JoinedPaths) {
  EXPECT_EQ(JoinPath("", "A.RKS"), "A.RKS");
  EXPECT_EQ(JoinPath(".", "A.RKS"), "A.RKS");
  EXPECT_EQ(JoinPath("out", "A.RKS"), "out/A.RKS");
  EXPECT_EQ(JoinPath("out/", "A.RKS"), "out/A.RKS");
}

// --- Texts ---

TEST(ReadToolTexts, BothLanguagesAreCompleteWithTheSamePlaceholders) {
  for (std::size_t i = 0; i < kTextCount; ++i) {
    const auto id = static_cast<TextId>(i);
    const std::string english = Text(id, Language::kEnglish);
    const std::string russian = Text(id, Language::kRussian);
    EXPECT_FALSE(english.empty()) << "text " << i;
    EXPECT_FALSE(russian.empty()) << "text " << i;
    EXPECT_EQ(Placeholders(english), Placeholders(russian)) << "text " << i;
  }
}

TEST(ReadToolTexts, RussianTextsAreRussian) {
  // Every text a user reads as a sentence has Cyrillic letters in Russian
  // (a few, such as the version line, are the same in both languages).
  int cyrillic = 0;
  for (std::size_t i = 0; i < kTextCount; ++i) {
    const std::string russian = Text(static_cast<TextId>(i), Language::kRussian);
    if (russian.find("\xD0") != std::string::npos || russian.find("\xD1") != std::string::npos) ++cyrillic;
  }
  EXPECT_GE(cyrillic, static_cast<int>(kTextCount) - 6);
  EXPECT_EQ(StatusText(reader::RecordStatus::kSound, Language::kRussian), "исправна");
  EXPECT_EQ(StatusText(reader::RecordStatus::kChecksumError, Language::kEnglish), "checksum error");
  EXPECT_EQ(StatusText(reader::RecordStatus::kCutShort, Language::kEnglish), "cut short");
}

TEST(ReadToolTexts, FillReplacesNumberedPlaceholders) {
  EXPECT_EQ(Fill("%2 before %1, 100%%", {"a", "b"}), "b before a, 100%");
  EXPECT_EQ(Fill("%1 and %3", {"x"}), "x and ");
  EXPECT_EQ(Fill("ends with %", {}), "ends with %");
}

TEST(ReadToolTexts, TheLanguageComesFromTheFirstSetLocaleVariable) {
  EXPECT_TRUE(platform::LocaleVariablesMeanRussian("ru_RU.UTF-8", nullptr, nullptr));
  EXPECT_TRUE(platform::LocaleVariablesMeanRussian("", "", "ru_UA"));
  EXPECT_FALSE(platform::LocaleVariablesMeanRussian("C", "ru_RU.UTF-8", "ru_RU.UTF-8"));
  EXPECT_FALSE(platform::LocaleVariablesMeanRussian(nullptr, "en_GB", "ru_RU"));
  EXPECT_TRUE(platform::LocaleVariablesMeanRussian(nullptr, "ru", "en_GB"));
  EXPECT_FALSE(platform::LocaleVariablesMeanRussian(nullptr, nullptr, nullptr));
}

// --- Report ---

TEST(ReadToolReport, NumbersWithoutTheLocale) {
  EXPECT_EQ(FormatTime(0), "0:00.000");
  EXPECT_EQ(FormatTime(61.2345), "1:01.235");
  EXPECT_EQ(FormatTime(3599.9996), "60:00.000");
  EXPECT_EQ(FormatFixed(0.971, 2), "0.97");
  EXPECT_EQ(FormatFixed(-6.04, 1, ','), "-6,0");
  EXPECT_EQ(FormatFixed(-0.01, 1), "0.0");
  EXPECT_EQ(FormatFixed(12.0, 0), "12");
  EXPECT_EQ(Hex4(0x0A0F), "0A0F");
}

TEST(ReadToolReport, TheLineOfASoundRecord) {
  EXPECT_EQ(RecordLine(SampleRecord(), Language::kEnglish),
            "0:01.500 to 0:03.510: \"HELLO.RKS\", start 1000, end 1002, length 3, "
            "checksum on tape 3355, computed 3355, sound; polarity normal, speed 0.97×, level -6.0 dBFS; loads on the later monitor (named read)");
  EXPECT_EQ(RecordLine(SampleRecord(), Language::kRussian),
            "0:01.500 – 0:03.510: «HELLO.RKS», начало 1000, конец 1002, длина 3, "
            "контрольная сумма на ленте 3355, вычисленная 3355, исправна; "
            "полярность прямая, скорость 0,97×, уровень -6,0 дБFS; загрузится на позднем мониторе (чтение по имени)");
}

TEST(ReadToolReport, TheLineOfADamagedRecordShowsItsDoubtfulBits) {
  reader::DecodedRecord record = SampleRecord();
  record.hasHeader = false;
  record.data.resize(2);
  record.checksumRead = false;
  record.computedChecksum = 0x1122;
  record.status = reader::RecordStatus::kCutShort;
  record.signal.inverted = true;
  record.doubtfulBitFrames = {88200, 88641};
  record.doubtfulBitCount = 5;
  record.machine.loads = false;
  record.machine.loadsOn[static_cast<std::size_t>(reader::MonitorRead::kLaterNamed)] = false;
  record.machine.problems = {{reader::LoadProblemKind::kCellTooLong, 88200, 1040.4},
                             {reader::LoadProblemKind::kCutShort, record.endFrame, 0}};
  EXPECT_EQ(RecordLine(record, Language::kEnglish),
            "0:01.500 to 0:03.510: no name, start 1000, end 1002, length 3 (2 read), "
            "checksum not read, computed 1122, cut short; polarity inverted, speed 0.97×, level -6.0 dBFS; "
            "doubtful bits at 0:02.000, 0:02.010 (5 in all); will not load on any monitor: "
            "cells too long at 0:02.000: 1040 µs, outside the loader's 650 to 1010 µs; cut short at 0:03.510");
  EXPECT_EQ(RecordLine(record, Language::kRussian),
            "0:01.500 – 0:03.510: без имени, начало 1000, конец 1002, длина 3 (прочитано 2), "
            "контрольная сумма не прочитана, вычисленная 1122, оборвана; полярность обратная, скорость 0,97×, "
            "уровень -6,0 дБFS; сомнительные биты: 0:02.000, 0:02.010 (всего 5); не загрузится ни на одном мониторе: "
            "слишком длинные биты с 0:02.000: 1040 мкс, а загрузчик принимает 650–1010 мкс; "
            "запись оборвана (0:03.510)");
  const std::string json = RecordJson(record);
  EXPECT_TRUE(IsValidJson(json)) << json;
  EXPECT_NE(json.find("\"machine\":{\"loads\":false,\"problems\":[{\"kind\":\"cells too long\",\"at\":2.000,"
                      "\"cellMicroseconds\":1040},{\"kind\":\"cut short\",\"at\":3.510}],\"monitors\":["
                      "{\"monitor\":\"later\",\"read\":\"plain\",\"loads\":false},"
                      "{\"monitor\":\"later\",\"read\":\"named\",\"loads\":false},"
                      "{\"monitor\":\"earlier\",\"loads\":false},{\"monitor\":\"compatible\",\"loads\":false}]}"),
            std::string::npos)
      << json;
}

// Every kind of problem has its own words in both languages, with its time.
TEST(ReadToolReport, EveryLoadProblemIsToldWithItsPlace) {
  using Kind = reader::LoadProblemKind;
  for (const Kind kind : {Kind::kNoClosingChange, Kind::kCellTooShort, Kind::kCellTooLong, Kind::kChangeTooClose,
                          Kind::kCutShort, Kind::kChecksumError, Kind::kNoSync, Kind::kNoChecksum}) {
    reader::DecodedRecord record = SampleRecord();
    record.machine.loads = false;
    record.machine.problems = {{kind, 88200, 600}};
    std::set<std::string> seen;
    for (const Language language : {Language::kEnglish, Language::kRussian}) {
      const std::string text = MachineVerdictText(record, language);
      EXPECT_NE(text.find("0:02.000"), std::string::npos) << text;
      EXPECT_TRUE(seen.insert(text).second) << text;
    }
  }
}

TEST(ReadToolReport, OddNameBytesAreShownEscaped) {
  reader::DecodedRecord record = SampleRecord();
  record.name = std::string("A\"B\\C\x01\xFF", 7);
  const std::string line = RecordLine(record, Language::kEnglish);
  EXPECT_NE(line.find("\"A\\\"B\\\\C\\x01\\xFF\""), std::string::npos) << line;
}

TEST(ReadToolReport, JsonOfASoundRecord) {
  EXPECT_EQ(RecordJson(SampleRecord()),
            "{\"from\":1.500,\"to\":3.510,\"firstFrame\":66150,\"endFrame\":154791,\"sampleRate\":44100,"
            "\"channel\":1,\"name\":\"HELLO.RKS\",\"start\":4096,\"end\":4098,\"length\":3,\"bytesRead\":3,"
            "\"checksumOnTape\":13141,\"checksumComputed\":13141,\"status\":\"sound\","
            "\"signal\":{\"polarity\":\"normal\",\"speed\":0.971,\"levelDbfs\":-6.04},"
            "\"doubtfulBits\":{\"count\":0,\"at\":[]},\"machine\":{\"loads\":true,\"problems\":[],\"monitors\":["
            "{\"monitor\":\"later\",\"read\":\"plain\",\"loads\":false},"
            "{\"monitor\":\"later\",\"read\":\"named\",\"loads\":true},"
            "{\"monitor\":\"earlier\",\"loads\":false},{\"monitor\":\"compatible\",\"loads\":false}]}}");
}

TEST(ReadToolReport, JsonStaysValidWhateverTheNameBytes) {
  reader::DecodedRecord record = SampleRecord();
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte) everyByte += static_cast<char>(byte);
  record.name = everyByte;
  record.addressesRead = false;
  record.checksumRead = false;
  record.status = reader::RecordStatus::kChecksumError;
  record.doubtfulBitFrames = {1, 2, 3};
  record.doubtfulBitCount = 3;
  const std::string json = RecordJson(record);
  EXPECT_TRUE(IsValidJson(json)) << json;
  EXPECT_NE(json.find("\"start\":null"), std::string::npos);
  EXPECT_NE(json.find("\"checksumOnTape\":null"), std::string::npos);
  EXPECT_NE(json.find("\\u0000\\u0001"), std::string::npos);
  EXPECT_NE(json.find("!\\\"#"), std::string::npos);
  EXPECT_NE(json.find("[\\\\]"), std::string::npos);
  EXPECT_NE(json.find("~\\u007F\\u0080"), std::string::npos);
  EXPECT_NE(json.find("\\u00FF\""), std::string::npos);
  record.hasHeader = false;
  EXPECT_NE(RecordJson(record).find("\"name\":null"), std::string::npos);
}

// Bytes that are not UTF-8 come out as lone surrogates of their value, so
// that a path in any encoding is had back byte for byte.
TEST(ReadToolReport, JsonTextKeepsUtf8AndEscapesEveryOtherByte) {
  EXPECT_EQ(JsonTextString("кассета/a\tb.wav"), "\"кассета/a\\tb.wav\"");
  EXPECT_EQ(JsonTextString("bad\xC3(\xED\xA0\x80"), "\"bad\\udcc3(\\udced\\udca0\\udc80\"");
  EXPECT_EQ(JsonTextString("caf\xE9.wav"), "\"caf\\udce9.wav\"");
  EXPECT_TRUE(IsValidJson(JsonTextString(std::string("\x01\xF0\x9F\x98\x80\xC0\xAF", 7))));
}

TEST(ReadToolReport, PrintableTextEscapesWhatCouldMoveTheCursorOrSplitALine) {
  EXPECT_EQ(PrintableText("кассета/side a.wav"), "кассета/side a.wav");
  EXPECT_EQ(PrintableText("a\x1b[31m\x07\r\nb.wav"), "a\\x1B[31m\\x07\\x0D\\x0Ab.wav");
  EXPECT_EQ(PrintableText("x\x7F\xE9\xC3"), "x\\x7F\\xE9\\xC3");
}

TEST(ReadToolReport, TheJsonCheckItselfRefusesBrokenDocuments) {
  EXPECT_TRUE(IsValidJson("{\"a\":[1,2.5,-0.1e3,true,null,\"x\"]}"));
  EXPECT_FALSE(IsValidJson("{\"a\":[1,2,]}"));
  EXPECT_FALSE(IsValidJson("{\"a\":1}}"));
  EXPECT_FALSE(IsValidJson("\"raw\ttab\""));
  EXPECT_FALSE(IsValidJson("\"\xFF\""));
  EXPECT_FALSE(IsValidJson("{\"a\":01}"));
}

// --- Verification ---

TEST(ReadToolVerification, ImagesAreTakenOnlyWhenTheirSizeFitsTheirAddresses) {
  TapeImage image;
  EXPECT_EQ(ParseImage({0x00, 0x10, 0x02, 0x10, 1, 2, 3, 0x06, 0x00}, image), ImageProblem::kNone);
  EXPECT_EQ(image.startAddress, 0x1000);
  EXPECT_EQ(image.endAddress, 0x1002);
  EXPECT_EQ(image.data, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(image.storedChecksum, 6);
  EXPECT_EQ(ParseImage({0, 0, 0, 0, 1, 0}, image), ImageProblem::kTooShort);
  EXPECT_EQ(ParseImage({0x00, 0x10, 0x05, 0x10, 1, 2, 3, 0, 0}, image), ImageProblem::kSizeMismatch);
  EXPECT_EQ(ParseImage(std::vector<std::uint8_t>(kLargestImage + 1), image), ImageProblem::kTooLong);
}

TEST(ReadToolVerification, VerdictsOnRecordsOfTheImage) {
  TapeImage image;
  ASSERT_EQ(ParseImage({0x00, 0x10, 0x02, 0x10, 0x11, 0x22, 0x33, 0x55, 0x33}, image), ImageProblem::kNone);
  reader::DecodedRecord record = SampleRecord();
  Comparison comparison = CompareWithImage(record, image);
  EXPECT_EQ(comparison.verdict, Verdict::kMatch);
  EXPECT_FALSE(comparison.storedChecksumDiffers);

  image.storedChecksum = 0x1234;
  comparison = CompareWithImage(record, image);
  EXPECT_EQ(comparison.verdict, Verdict::kMatch);
  EXPECT_TRUE(comparison.storedChecksumDiffers);

  record.data[1] = 0x23;
  comparison = CompareWithImage(record, image);
  EXPECT_EQ(comparison.verdict, Verdict::kDiffers);
  EXPECT_EQ(comparison.index, 1u);

  record = SampleRecord();
  record.data.resize(2);
  record.checksumRead = false;
  record.status = reader::RecordStatus::kCutShort;
  comparison = CompareWithImage(record, image);
  EXPECT_EQ(comparison.verdict, Verdict::kCutShort);
  EXPECT_EQ(comparison.index, 2u);

  record = SampleRecord();
  record.checksumRead = false;
  record.status = reader::RecordStatus::kCutShort;
  EXPECT_EQ(CompareWithImage(record, image).verdict, Verdict::kNoChecksum);

  record = SampleRecord();
  record.tapeChecksum = 0x0001;
  record.status = reader::RecordStatus::kChecksumError;
  EXPECT_EQ(CompareWithImage(record, image).verdict, Verdict::kChecksumBad);

  record = SampleRecord();
  record.endAddress = 0x1003;
  EXPECT_EQ(CompareWithImage(record, image).verdict, Verdict::kOtherAddresses);
}

TEST(ReadToolVerification, TheCandidateThatAgreesFurtherIsKept) {
  Comparison none;
  Comparison early{Verdict::kDiffers, 1, 1, false};
  Comparison late{Verdict::kCutShort, 5, 5, false};
  EXPECT_TRUE(BetterCandidate(early, none));
  EXPECT_TRUE(BetterCandidate(late, early));
  EXPECT_FALSE(BetterCandidate(early, late));
  EXPECT_FALSE(BetterCandidate(none, early));
}

// --- Exit status ---

TEST(ReadToolExitStatus, FailureOutweighsDamageWhichOutweighsUnreadSignalWhichOutweighsSuccess) {
  RunTally tally;
  EXPECT_EQ(ExitStatus(tally), kExitDamaged);  // nothing found at all
  tally.records = 2;
  EXPECT_EQ(ExitStatus(tally), kExitSound);
  tally.unreadStretches = 1;
  EXPECT_EQ(ExitStatus(tally), kExitUnreadSignal);
  tally.recordingsWithoutRecords = 1;
  EXPECT_EQ(ExitStatus(tally), kExitDamaged);
  tally.recordingsWithoutRecords = 0;
  tally.damagedRecords = 1;
  EXPECT_EQ(ExitStatus(tally), kExitDamaged);
  tally.failed = true;
  EXPECT_EQ(ExitStatus(tally), kExitFailure);
  RunTally verify;
  verify.records = 1;
  verify.verifyDiffers = true;
  EXPECT_EQ(ExitStatus(verify), kExitDamaged);
}
