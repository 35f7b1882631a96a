// The recording reader: a recording file's bytes in, records out, through
// the WAV reader and the tape decoder; its channel choice and its errors.
#include "reader/recording_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "formats/byte_order.h"
#include "tests/support/expected.h"
#include "tests/support/test_files.h"

using reader::DecodedRecord;
using reader::ReadError;
using reader::RecordingReader;

namespace {

constexpr std::size_t kLentokHeaderBytes = 46;

struct Outcome {
  ReadError feedError = ReadError::kNone;
  ReadError finishError = ReadError::kNone;
  std::vector<DecodedRecord> records;
};

// Feeds `file` in blocks whose sizes go round `blockSizes`, taking records
// as they come.
Outcome ReadRecording(const Bytes& file, const std::vector<std::size_t>& blockSizes,
                      reader::DecoderOptions options = {}) {
  RecordingReader recording(options);
  Outcome outcome;
  auto take = [&] {
    for (DecodedRecord& record : recording.TakeRecords())
      outcome.records.push_back(std::move(record));
  };
  std::size_t turn = 0;
  for (std::size_t at = 0; at < file.size() && outcome.feedError == ReadError::kNone;) {
    const std::size_t count = std::min(blockSizes[turn++ % blockSizes.size()], file.size() - at);
    outcome.feedError = recording.Feed(file.data() + at, count);
    at += count;
    take();
  }
  outcome.finishError = recording.Finish();
  take();
  return outcome;
}

// lentok's recording with its mono samples moved to channel `channel` of a
// stereo file; the other channel is silent.
Bytes AsStereo(const Bytes& mono, int channel) {
  const std::size_t samples = (mono.size() - kLentokHeaderBytes) / 2;
  Bytes file(44 + samples * 4, 0);
  std::uint8_t* at = file.data();
  at = std::copy_n("RIFF", 4, at);
  at = StoreLe32(static_cast<std::uint32_t>(file.size() - 8), at);
  at = std::copy_n("WAVEfmt ", 8, at);
  at = StoreLe32(16, at);
  at = StoreLe16(1, at);  // PCM
  at = StoreLe16(2, at);  // channels
  at = StoreLe32(44100, at);
  at = StoreLe32(44100 * 4, at);
  at = StoreLe16(4, at);  // block align
  at = StoreLe16(16, at);
  at = std::copy_n("data", 4, at);
  StoreLe32(static_cast<std::uint32_t>(samples * 4), at);
  for (std::size_t i = 0; i < samples; ++i) {
    std::copy_n(&mono[kLentokHeaderBytes + 2 * i], 2, &file[44 + 4 * i + 2 * channel]);
  }
  return file;
}

const Bytes& SmallImage() {
  static const Bytes image =
      MakeConsistentImage(0x2000, {0x31, 0x00, 0x80, 0xC3, 0x00, 0x20, 0x7F});
  return image;
}

}  // namespace

TEST(RecordingReader, GivesLentoksRecordingBackInOddBlocks) {
  const Bytes file = ExpectedRecording(SmallImage(), {false, false, "DEMO.RKS"});
  for (const std::vector<std::size_t>& blocks :
       {std::vector<std::size_t>{1, 7, 45, 1009, 3}, {file.size()}}) {
    SCOPED_TRACE(blocks.size());
    const Outcome outcome = ReadRecording(file, blocks);
    EXPECT_EQ(outcome.feedError, ReadError::kNone);
    EXPECT_EQ(outcome.finishError, ReadError::kNone);
    ASSERT_EQ(outcome.records.size(), 1u);
    const DecodedRecord& record = outcome.records[0];
    EXPECT_EQ(record.status, reader::RecordStatus::kSound);
    EXPECT_EQ(record.name, "DEMO.RKS");
    EXPECT_EQ(record.sampleRate, 44100);
    EXPECT_EQ(reader::ImageBytes(record), SmallImage());
  }
}

TEST(RecordingReader, TellsTheFormatAndReadsTheChosenChannel) {
  const Bytes stereo = AsStereo(ExpectedRecording(SmallImage(), {false, true, ""}), 1);

  RecordingReader recording(reader::DecoderOptions{1});
  EXPECT_FALSE(recording.Format());
  ASSERT_EQ(recording.Feed(stereo.data(), stereo.size()), ReadError::kNone);
  ASSERT_EQ(recording.Finish(), ReadError::kNone);
  ASSERT_TRUE(recording.Format());
  EXPECT_EQ(recording.Format()->channels, 2);
  const std::vector<DecodedRecord> records = recording.TakeRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].channel, 1);
  EXPECT_FALSE(records[0].hasHeader);
  EXPECT_EQ(reader::ImageBytes(records[0]), SmallImage());

  // The silent channel holds nothing; every channel finds the one record.
  EXPECT_TRUE(ReadRecording(stereo, {4096}, reader::DecoderOptions{0}).records.empty());
  const Outcome every = ReadRecording(stereo, {333}, reader::DecoderOptions{-1});
  ASSERT_EQ(every.records.size(), 1u);
  EXPECT_EQ(every.records[0].channel, 1);
}

TEST(RecordingReader, RefusesAChannelTheFileDoesNotHave) {
  const Bytes mono = ExpectedRecording(SmallImage(), {false, true, ""});
  for (int channel : {1, 7, -2}) {
    RecordingReader recording(reader::DecoderOptions{channel});
    EXPECT_EQ(recording.Feed(mono.data(), 100), ReadError::kNoSuchChannel) << channel;
    EXPECT_EQ(recording.Feed(mono.data() + 100, mono.size() - 100), ReadError::kNoSuchChannel);
    EXPECT_EQ(recording.Finish(), ReadError::kNoSuchChannel);
    EXPECT_EQ(recording.WavErrorCode(), formats::WavError::kNone);
    EXPECT_TRUE(recording.Format());  // known, so a caller can say how many there are
    EXPECT_TRUE(recording.TakeRecords().empty());
  }
}

TEST(RecordingReader, ReportsTheWavReadersErrors) {
  const Bytes recording = ExpectedRecording(SmallImage(), {false, true, ""});
  Bytes file = recording;
  file[20] = 2;  // a compressed format tag
  RecordingReader refused;
  EXPECT_EQ(refused.Feed(file.data(), file.size()), ReadError::kWav);
  EXPECT_EQ(refused.Finish(), ReadError::kWav);
  EXPECT_EQ(refused.WavErrorCode(), formats::WavError::kUnsupportedEncoding);

  const Bytes cut(recording.begin(), recording.begin() + 40);  // ends inside the header
  const Outcome outcome = ReadRecording(cut, {7});
  EXPECT_EQ(outcome.feedError, ReadError::kNone);
  EXPECT_EQ(outcome.finishError, ReadError::kWav);
}
