// The streaming WAV reader: sample types and channel counts, the extensible
// form, chunks it walks past, blocks of any size, sizes that lie, files cut
// short, and every format it refuses. The test files are built here, field
// by field.
#include "formats/wav_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "formats/byte_order.h"
#include "formats/wav_file.h"
#include "tests/support/test_files.h"

using formats::WavError;
using formats::WavSampleType;

namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;

void Put24(Bytes& bytes, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 24; shift += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
}

void PutFloat(Bytes& bytes, float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  AppendLe32(bytes, bits);
}

void PutDouble(Bytes& bytes, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, 8);
  AppendLe32(bytes, static_cast<std::uint32_t>(bits));
  AppendLe32(bytes, static_cast<std::uint32_t>(bits >> 32));
}

void PutId(Bytes& bytes, const char* id) { bytes.insert(bytes.end(), id, id + 4); }

// A chunk with its stated size (the body's length unless given) and a pad
// byte after an odd body.
Bytes Chunk(const char* id, const Bytes& body, std::optional<std::uint32_t> statedSize = {}) {
  Bytes chunk;
  PutId(chunk, id);
  AppendLe32(chunk, statedSize ? *statedSize : static_cast<std::uint32_t>(body.size()));
  chunk.insert(chunk.end(), body.begin(), body.end());
  if (body.size() % 2 != 0) chunk.push_back(0);
  return chunk;
}

struct FormatFields {
  FormatFields(std::uint16_t tag = kPcm, std::uint16_t channels = 1, std::uint32_t rate = 44100,
               std::uint16_t bits = 16, std::optional<std::uint16_t> blockAlign = {})
      : tag(tag), channels(channels), rate(rate), bits(bits), blockAlign(blockAlign) {}
  std::uint16_t tag;
  std::uint16_t channels;
  std::uint32_t rate;
  std::uint16_t bits;
  std::optional<std::uint16_t> blockAlign;  // channels * bytes per sample unless given
};

Bytes FormatBody(const FormatFields& fields) {
  const std::uint16_t blockAlign =
      fields.blockAlign ? *fields.blockAlign : fields.channels * ((fields.bits + 7) / 8);
  Bytes body;
  AppendLe16(body, fields.tag);
  AppendLe16(body, fields.channels);
  AppendLe32(body, fields.rate);
  AppendLe32(body, fields.rate * blockAlign);
  AppendLe16(body, blockAlign);
  AppendLe16(body, fields.bits);
  return body;
}

// The extensible form: the plain fields, then extension size 22, valid bits,
// channel mask and the sub-format GUID of `subTag`.
Bytes ExtensibleBody(FormatFields fields, std::uint16_t subTag, bool standardGuid = true) {
  fields.tag = kExtensible;
  Bytes body = FormatBody(fields);
  AppendLe16(body, 22);
  AppendLe16(body, fields.bits);
  AppendLe32(body, 0);
  AppendLe32(body, subTag);
  const Bytes tail = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  body.insert(body.end(), tail.begin(), tail.end());
  if (!standardGuid) body.back() ^= 0xFF;
  return body;
}

Bytes RiffFile(const std::vector<Bytes>& chunks, std::optional<std::uint32_t> statedSize = {}) {
  Bytes body;
  PutId(body, "WAVE");
  for (const Bytes& chunk : chunks) body.insert(body.end(), chunk.begin(), chunk.end());
  Bytes file;
  PutId(file, "RIFF");
  AppendLe32(file, statedSize ? *statedSize : static_cast<std::uint32_t>(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

Bytes SimpleFile(const FormatFields& fields, const Bytes& samples) {
  return RiffFile({Chunk("fmt ", FormatBody(fields)), Chunk("data", samples)});
}

struct ReadResult {
  WavError feedError = WavError::kNone;
  WavError finishError = WavError::kNone;
  std::vector<float> frames;
  std::uint64_t framesRead = 0;
  bool endedShort = false;
  std::optional<formats::WavFormat> format;
};

// Feeds `file` in blocks of `blockSize` bytes (the last may be shorter),
// stopping at the first error, then finishes.
ReadResult Read(const Bytes& file,
                std::size_t blockSize = std::numeric_limits<std::size_t>::max()) {
  formats::WavStreamReader reader;
  ReadResult result;
  for (std::size_t at = 0; at < file.size() && result.feedError == WavError::kNone;) {
    const std::size_t count = std::min(blockSize, file.size() - at);
    result.feedError = reader.Feed(file.data() + at, count, result.frames);
    at += count;
  }
  result.finishError = reader.Finish();
  result.framesRead = reader.FramesRead();
  result.endedShort = reader.EndedShort();
  if (reader.HasFormat()) result.format = reader.Format();
  return result;
}

// The same, into the buffer that grows without clearing what it adds.
std::vector<float> ReadIntoBuffer(const Bytes& file, std::size_t blockSize) {
  formats::WavStreamReader reader;
  formats::SampleBuffer buffer;
  for (std::size_t at = 0; at < file.size(); at += blockSize) {
    reader.Feed(file.data() + at, std::min(blockSize, file.size() - at), buffer);
  }
  return std::vector<float>(buffer.Data(), buffer.Data() + buffer.Size());
}

WavError ErrorOf(const Bytes& file) {
  const ReadResult result = Read(file);
  return result.feedError != WavError::kNone ? result.feedError : result.finishError;
}

void ExpectSamples(const ReadResult& result, const std::vector<float>& expected) {
  EXPECT_EQ(result.feedError, WavError::kNone);
  EXPECT_EQ(result.finishError, WavError::kNone);
  ASSERT_EQ(result.frames.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_FLOAT_EQ(result.frames[i], expected[i]) << "sample " << i;
}

Bytes Int16Samples(const std::vector<std::int16_t>& values) {
  Bytes bytes;
  for (std::int16_t value : values) AppendLe16(bytes, static_cast<std::uint16_t>(value));
  return bytes;
}

}  // namespace

TEST(WavSamples, Unsigned8) {
  const ReadResult result = Read(SimpleFile({kPcm, 1, 8000, 8}, {0, 128, 255, 64, 192}));
  ExpectSamples(result, {-1.0f, 0.0f, 127 / 128.0f, -0.5f, 0.5f});
  ASSERT_TRUE(result.format);
  EXPECT_EQ(result.format->sampleType, WavSampleType::kUnsigned8);
  EXPECT_EQ(result.format->sampleRate, 8000u);
  EXPECT_EQ(result.framesRead, 5u);
}

TEST(WavSamples, Signed16) {
  const ReadResult result =
      Read(SimpleFile({kPcm, 1, 44100, 16}, Int16Samples({-32768, 0, 32767, 16384, -1})));
  ExpectSamples(result, {-1.0f, 0.0f, 32767 / 32768.0f, 0.5f, -1 / 32768.0f});
  EXPECT_EQ(result.format->sampleType, WavSampleType::kSigned16);
}

TEST(WavSamples, Signed24) {
  Bytes samples;
  for (std::int32_t value : {-8388608, 0, 8388607, 4194304, -1}) Put24(samples, value);
  const ReadResult result = Read(SimpleFile({kPcm, 1, 48000, 24}, samples));
  ExpectSamples(result, {-1.0f, 0.0f, 8388607 / 8388608.0f, 0.5f, -1 / 8388608.0f});
  EXPECT_EQ(result.format->sampleType, WavSampleType::kSigned24);
}

TEST(WavSamples, Signed32) {
  Bytes samples;
  for (std::uint32_t value : {0x80000000u, 0u, 0x7FFFFFFFu, 0x40000000u, 0xC0000000u})
    AppendLe32(samples, value);
  const ReadResult result = Read(SimpleFile({kPcm, 1, 96000, 32}, samples));
  ExpectSamples(result, {-1.0f, 0.0f, 1.0f, 0.5f, -0.5f});
  EXPECT_EQ(result.format->sampleType, WavSampleType::kSigned32);
}

TEST(WavSamples, Float32KeepsValuesAndTamesTheWild) {
  Bytes samples;
  for (float value : {0.25f, -1.0f, 3.5f, 100.0f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                      -std::numeric_limits<float>::infinity()})
    PutFloat(samples, value);
  const ReadResult result = Read(SimpleFile({kFloat, 1, 44100, 32}, samples));
  ExpectSamples(result, {0.25f, -1.0f, 3.5f, 16.0f, -16.0f, 0.0f, 0.0f});
  EXPECT_EQ(result.format->sampleType, WavSampleType::kFloat32);
}

TEST(WavSamples, Float64KeepsValuesAndTamesTheWild) {
  Bytes samples;
  for (double value : {-0.125, 0.75, 1e300, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity()})
    PutDouble(samples, value);
  const ReadResult result = Read(SimpleFile({kFloat, 1, 192000, 64}, samples));
  ExpectSamples(result, {-0.125f, 0.75f, 16.0f, 0.0f, 0.0f});
  EXPECT_EQ(result.format->sampleType, WavSampleType::kFloat64);
}

TEST(WavSamples, EveryChannelCountInterleavesInOrder) {
  for (std::uint16_t channels = 1; channels <= 8; ++channels) {
    // Three frames; sample c of frame f holds (f * 8 + c) * 256.
    std::vector<std::int16_t> values;
    std::vector<float> expected;
    for (int frame = 0; frame < 3; ++frame)
      for (int channel = 0; channel < channels; ++channel) {
        values.push_back(static_cast<std::int16_t>((frame * 8 + channel) * 256));
        expected.push_back((frame * 8 + channel) / 128.0f);
      }
    const ReadResult result = Read(SimpleFile({kPcm, channels, 22050, 16}, Int16Samples(values)));
    SCOPED_TRACE(channels);
    ExpectSamples(result, expected);
    EXPECT_EQ(result.framesRead, 3u);
    EXPECT_EQ(result.format->channels, channels);
    EXPECT_EQ(result.format->blockAlign, channels * 2);
  }
}

TEST(WavExtensible, PcmAndFloatSubFormats) {
  Bytes samples24;
  for (std::int32_t value : {4194304, -4194304, 0, 8388607}) Put24(samples24, value);
  const ReadResult pcm = Read(
      RiffFile({Chunk("fmt ", ExtensibleBody({0, 2, 48000, 24}, kPcm)), Chunk("data", samples24)}));
  ExpectSamples(pcm, {0.5f, -0.5f, 0.0f, 8388607 / 8388608.0f});
  EXPECT_EQ(pcm.format->sampleType, WavSampleType::kSigned24);
  EXPECT_EQ(pcm.framesRead, 2u);

  Bytes floats;
  for (float value : {0.5f, -0.25f}) PutFloat(floats, value);
  const ReadResult ieee = Read(
      RiffFile({Chunk("fmt ", ExtensibleBody({0, 1, 44100, 32}, kFloat)), Chunk("data", floats)}));
  ExpectSamples(ieee, {0.5f, -0.25f});
  EXPECT_EQ(ieee.format->sampleType, WavSampleType::kFloat32);
}

TEST(WavExtensible, OtherGuidsAndShortExtensionsAreRefused) {
  const Bytes data = Chunk("data", Int16Samples({1, 2}));
  EXPECT_EQ(
      ErrorOf(RiffFile({Chunk("fmt ", ExtensibleBody({0, 1, 44100, 16}, kPcm, false)), data})),
      WavError::kUnsupportedEncoding);
  EXPECT_EQ(ErrorOf(RiffFile({Chunk("fmt ", ExtensibleBody({0, 1, 44100, 16}, 2)), data})),
            WavError::kUnsupportedEncoding);
  Bytes cut = ExtensibleBody({0, 1, 44100, 16}, kPcm);
  cut.resize(30);
  EXPECT_EQ(ErrorOf(RiffFile({Chunk("fmt ", cut), data})), WavError::kBadFormatChunk);
}

// A file with a bit of everything a reader walks past: unknown chunks before
// and after the format, odd sizes with their pad bytes, a format chunk
// longer than what is kept, an odd data chunk, and chunks after the data,
// one of them a second data chunk that must not be read.
Bytes FileWithManyChunks() {
  Bytes longFormat = FormatBody({kPcm, 1, 11025, 8});
  AppendLe16(longFormat, 180);
  longFormat.resize(longFormat.size() + 180, 0xEE);
  return RiffFile({
      Chunk("JUNK", Bytes(5, 'j')),
      Chunk("fmt ", longFormat),
      Chunk("fact", {4, 0, 0, 0}),
      Chunk("LIST", Bytes(7, 'i')),
      Chunk("data", {0, 64, 128, 192, 255}),
      Chunk("LIST", Bytes(3, 'x')),
      Chunk("data", {128, 128}),
      Chunk("cue ", Bytes(1, 'c')),
  });
}

TEST(WavChunks, UnknownChunksAndPadBytesAreWalkedPast) {
  const ReadResult result = Read(FileWithManyChunks());
  ExpectSamples(result, {-1.0f, -0.5f, 0.0f, 0.5f, 127 / 128.0f});
  EXPECT_EQ(result.format->sampleRate, 11025u);
  EXPECT_FALSE(result.endedShort);
}

TEST(WavChunks, AnOddFormatChunkIsPadded) {
  Bytes format = FormatBody({kPcm, 1, 8000, 8});
  format.push_back(0x55);  // 17 bytes: a pad byte follows
  const ReadResult result = Read(RiffFile({Chunk("fmt ", format), Chunk("data", {255, 0})}));
  ExpectSamples(result, {127 / 128.0f, -1.0f});
}

TEST(WavChunks, APartialLastFrameIsDropped) {
  Bytes samples = Int16Samples({100, 200, 300, 400});
  samples.push_back(0x7F);  // half of a third stereo frame, then a pad byte
  const ReadResult result = Read(RiffFile({Chunk("fmt ", FormatBody({kPcm, 2, 44100, 16})),
                                           Chunk("data", samples), Chunk("LIST", {1, 2})}));
  ExpectSamples(result, {100 / 32768.0f, 200 / 32768.0f, 300 / 32768.0f, 400 / 32768.0f});
  EXPECT_EQ(result.framesRead, 2u);
  EXPECT_FALSE(result.endedShort);
}

TEST(WavChunks, AWrongRiffSizeIsIgnored) {
  for (std::uint32_t size : {0u, 4u, 20u, 0xFFBFDFF8u, 0xFFFFFFFFu}) {
    const Bytes file =
        RiffFile({Chunk("fmt ", FormatBody({})), Chunk("data", Int16Samples({8192}))}, size);
    SCOPED_TRACE(size);
    ExpectSamples(Read(file), {0.25f});
  }
}

TEST(WavBlocks, AnyBlockSizeGivesTheSameFrames) {
  Bytes stereo24;
  for (int i = 0; i < 40; ++i) Put24(stereo24, (i * 7919 % 16000000) - 8000000);
  Bytes mono64;
  for (int i = 0; i < 9; ++i) PutDouble(mono64, i / 10.0 - 0.4);
  const std::vector<Bytes> files = {
      FileWithManyChunks(),
      SimpleFile({kPcm, 2, 32000, 24}, stereo24),
      SimpleFile({kFloat, 1, 8000, 64}, mono64),
      RiffFile({Chunk("fmt ", ExtensibleBody({0, 5, 44100, 24}, kPcm)), Chunk("data", stereo24)}),
  };
  for (std::size_t f = 0; f < files.size(); ++f) {
    const ReadResult whole = Read(files[f]);
    ASSERT_FALSE(whole.frames.empty());
    for (std::size_t blockSize : {1, 2, 3, 5, 7, 13, 64}) {
      SCOPED_TRACE("file " + std::to_string(f) + ", blocks of " + std::to_string(blockSize));
      const ReadResult pieces = Read(files[f], blockSize);
      EXPECT_EQ(pieces.frames, whole.frames);
      EXPECT_EQ(ReadIntoBuffer(files[f], blockSize), whole.frames);
      EXPECT_EQ(pieces.framesRead, whole.framesRead);
      EXPECT_EQ(pieces.finishError, WavError::kNone);
    }
  }
}

TEST(WavBlocks, ErrorsAreTheSameByteByByteAndStay) {
  const Bytes file = SimpleFile({kPcm, 9, 44100, 16}, Int16Samples({1}));
  EXPECT_EQ(Read(file, 1).feedError, WavError::kUnsupportedChannels);

  formats::WavStreamReader reader;
  std::vector<float> frames;
  EXPECT_EQ(reader.Feed(file.data(), file.size(), frames), WavError::kUnsupportedChannels);
  const Bytes good = SimpleFile({}, Int16Samples({1, 2}));
  EXPECT_EQ(reader.Feed(good.data(), good.size(), frames), WavError::kUnsupportedChannels);
  EXPECT_EQ(reader.Finish(), WavError::kUnsupportedChannels);
  EXPECT_TRUE(frames.empty());
}

// lentok's own header as it leaves it in a pipe: placeholder sizes.
TEST(WavSizes, LentokPipeHeaderReadsToTheEnd) {
  Bytes file(kWavHeaderTemplate.begin(), kWavHeaderTemplate.end());
  const Bytes samples = Int16Samples({32760, -32760, 32760, -32760, 0});
  file.insert(file.end(), samples.begin(), samples.end());
  file.push_back(0x01);  // a stray odd byte at the end is a partial frame
  const ReadResult result = Read(file);
  EXPECT_EQ(result.framesRead, 5u);
  EXPECT_FLOAT_EQ(result.frames[1], -32760 / 32768.0f);
  EXPECT_FALSE(result.endedShort);
  EXPECT_EQ(result.format->sampleRate, 44100u);
}

TEST(WavSizes, StreamingDataSizesReadToTheEnd) {
  for (std::uint32_t size : {0u, 0xFFFFFFFFu, kDataSizePlaceholder}) {
    Bytes file = RiffFile({Chunk("fmt ", FormatBody({}))}, kRiffSizePlaceholder);
    PutId(file, "data");
    AppendLe32(file, size);
    const Bytes samples = Int16Samples({1000, 2000, 3000});
    file.insert(file.end(), samples.begin(), samples.end());
    const ReadResult result = Read(file, 3);
    SCOPED_TRACE(size);
    EXPECT_EQ(result.framesRead, 3u);
    EXPECT_FALSE(result.endedShort);
    EXPECT_EQ(result.finishError, WavError::kNone);
  }
}

TEST(WavSizes, DataLargerThanTheFileGivesWhatIsThere) {
  Bytes file = RiffFile({Chunk("fmt ", FormatBody({}))});
  PutId(file, "data");
  AppendLe32(file, 1000);
  const Bytes samples = Int16Samples({-16384, 16384, 4096});
  file.insert(file.end(), samples.begin(), samples.end());
  file.push_back(0x12);  // half a frame more
  const ReadResult result = Read(file);
  ExpectSamples(result, {-0.5f, 0.5f, 0.125f});
  EXPECT_TRUE(result.endedShort);
}

TEST(WavSizes, DataThatEndsWhereTheFileEndsIsNotShort) {
  const ReadResult result = Read(SimpleFile({}, Int16Samples({1, 2, 3})));
  EXPECT_EQ(result.framesRead, 3u);
  EXPECT_FALSE(result.endedShort);
}

TEST(WavSizes, CutBeforeTheDataIsNoData) {
  const Bytes file = SimpleFile({}, Int16Samples({1, 2, 3}));
  // Inside the RIFF header, a chunk header, the fmt chunk, the data header.
  for (std::size_t length : {3, 11, 12, 15, 20, 35, 36, 43}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(ErrorOf(Bytes(file.begin(), file.begin() + length)), WavError::kNoData);
  }
  EXPECT_EQ(ErrorOf({}), WavError::kNoData);
  EXPECT_EQ(ErrorOf(RiffFile({Chunk("fmt ", FormatBody({})), Chunk("LIST", {1, 2})})),
            WavError::kNoData);
}

TEST(WavRefusals, EachFaultHasItsError) {
  const Bytes data = Chunk("data", Int16Samples({1, 2}));
  auto withFormat = [&](const Bytes& format) { return RiffFile({Chunk("fmt ", format), data}); };

  Bytes riff = SimpleFile({}, Int16Samples({1}));
  for (const char* id : {"RIFX", "RF64", "riff"}) {
    std::memcpy(riff.data(), id, 4);
    EXPECT_EQ(ErrorOf(riff), WavError::kNotRiff) << id;
  }
  EXPECT_EQ(ErrorOf({'M', 'Z'}), WavError::kNotRiff);  // too short, but plainly not RIFF
  Bytes avi = SimpleFile({}, Int16Samples({1}));
  std::memcpy(avi.data() + 8, "AVI ", 4);
  EXPECT_EQ(ErrorOf(avi), WavError::kNotWave);

  EXPECT_EQ(ErrorOf(RiffFile({data, Chunk("fmt ", FormatBody({}))})), WavError::kNoFormatChunk);
  EXPECT_EQ(ErrorOf(withFormat({1, 0, 1, 0, 0x44, 0xAC, 0, 0})), WavError::kBadFormatChunk);
  EXPECT_EQ(ErrorOf(RiffFile({Chunk("fmt ", {}), data})), WavError::kBadFormatChunk);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 2, 44100, 16, 2}))), WavError::kBadFormatChunk);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 1, 44100, 24, 4}))), WavError::kBadFormatChunk);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({2, 1, 44100, 4, 256}))), WavError::kUnsupportedEncoding);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({0x55, 2, 44100, 0, 1}))),
            WavError::kUnsupportedEncoding);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 1, 44100, 12, 2}))), WavError::kUnsupportedBits);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kFloat, 1, 44100, 16}))), WavError::kUnsupportedBits);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 9, 44100, 16}))), WavError::kUnsupportedChannels);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 0, 44100, 16}))), WavError::kUnsupportedChannels);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 1, 4000, 16}))), WavError::kUnsupportedRate);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 1, 192001, 16}))), WavError::kUnsupportedRate);
  // The limits themselves are taken.
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 8, 8000, 16}))), WavError::kNone);
  EXPECT_EQ(ErrorOf(withFormat(FormatBody({kPcm, 1, 192000, 16}))), WavError::kNone);
}

// Files written by another program, when sox is installed: its samples,
// converted by sox itself to 32-bit integers, are what the reader must give.
// sox writes a fact chunk into these, and the 24-bit file in the extensible
// form.
class SoxFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v sox >/dev/null 2>&1") != 0) GTEST_SKIP() << "sox is not installed";
  }

  void Run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

  void ExpectSameAsSox(const std::string& formatOptions, formats::WavSampleType type,
                       std::uint16_t channels, float tolerance) {
    const std::string wav = dir_ / "in.wav";
    const std::string raw = dir_ / "ref.raw";
    Run("sox -n -r 22050 -c " + std::to_string(channels) + " " + formatOptions + " " + wav +
        " synth 0.05 sine 440 sine 1250 vol 0.8 2>/dev/null");
    Run("sox " + wav + " -t raw -e signed-integer -b 32 " + raw);
    const Bytes file = ReadBytes(wav);
    const Bytes reference = ReadBytes(raw);
    ASSERT_NE(std::string(file.begin(), file.end()).find("fact"), std::string::npos);

    const ReadResult result = Read(file, 1000);
    EXPECT_EQ(result.finishError, WavError::kNone);
    ASSERT_TRUE(result.format);
    EXPECT_EQ(result.format->sampleType, type);
    EXPECT_EQ(result.format->channels, channels);
    ASSERT_EQ(result.frames.size() * 4, reference.size());
    float loudest = 0;
    for (std::size_t i = 0; i < result.frames.size(); ++i) {
      const auto expected = static_cast<std::int32_t>(
          LoadLe16(&reference[4 * i]) | std::uint32_t{LoadLe16(&reference[4 * i + 2])} << 16);
      ASSERT_NEAR(result.frames[i], expected / 2147483648.0, tolerance) << "sample " << i;
      loudest = std::max(loudest, std::fabs(result.frames[i]));
    }
    EXPECT_GT(loudest, 0.5f);  // a real signal, not silence
  }

  TempDir dir_;
};

TEST_F(SoxFiles, Stereo24Bit) {
  ExpectSameAsSox("-e signed-integer -b 24", WavSampleType::kSigned24, 2, 1e-6f);
}

TEST_F(SoxFiles, StereoFloat) {
  ExpectSameAsSox("-e floating-point -b 32", WavSampleType::kFloat32, 2, 1e-6f);
}
