// Feeding the reader library as a caller would, and comparing its records
// with the images that went onto tape.
#include "tests/support/read_back.h"

#include <algorithm>

#include "formats/byte_order.h"
#include "reader/read_context.h"
#include "reader/tape_decoder.h"

namespace {

// Sizes that fall on no cell or byte boundary; one frame at a time now and
// then, and once a block longer than 64 Ki frames.
constexpr std::size_t kBlockSizes[] = {1, 4093, 3, 509, 65537, 17, 251, 1021};

std::string Hex4(unsigned value) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

}  // namespace

std::vector<reader::DecodedRecord> DecodeSignal(const degrade::Signal& signal, double sampleRate) {
  reader::TapeDecoder decoder(sampleRate, 1);
  std::vector<reader::DecodedRecord> records;
  const auto take = [&] {
    for (reader::DecodedRecord& record : decoder.TakeRecords()) records.push_back(std::move(record));
  };
  std::size_t done = 0;
  for (std::size_t turn = 0; done < signal.size(); ++turn) {
    const std::size_t block = std::min(kBlockSizes[turn % std::size(kBlockSizes)], signal.size() - done);
    decoder.Feed(signal.data() + done, block);
    done += block;
    take();
  }
  decoder.Finish();
  take();
  return records;
}

FileReadBack ReadRecordingBytes(const Bytes& file, std::size_t blockSize) {
  // Every record as read, as lentok-read --separate takes them.
  reader::ReadSettings settings;
  settings.separate = true;
  settings.writeImages = false;
  reader::ReadContext context(settings, nullptr);
  context.BeginRecording("recording.wav");
  FileReadBack result;
  for (std::size_t done = 0; done < file.size() && result.error == reader::ReadError::kNone;) {
    const std::size_t block = std::min(blockSize, file.size() - done);
    result.error = context.FeedBytes(file.data() + done, block);
    done += block;
  }
  const reader::ReadError ended = context.EndRecording();
  if (result.error == reader::ReadError::kNone) result.error = ended;
  context.Finish();
  for (reader::ReportEntry& entry : context.TakeEntries()) result.records.push_back(std::move(entry.record));
  return result;
}

std::string ImageMismatch(const reader::DecodedRecord& record, const Bytes& image) {
  const std::uint16_t start = LoadLe16(&image[0]);
  const std::uint16_t end = LoadLe16(&image[2]);
  const Bytes data(image.begin() + 4, image.end() - 2);
  const std::uint16_t checksum = LoadLe16(&image[image.size() - 2]);

  if (!record.addressesRead) return "addresses not read";
  if (record.startAddress != start || record.endAddress != end) {
    return "addresses " + Hex4(record.startAddress) + "-" + Hex4(record.endAddress) + ", expected " +
           Hex4(start) + "-" + Hex4(end);
  }
  if (record.data != data) {
    const auto differ = std::mismatch(record.data.begin(), record.data.end(), data.begin(), data.end());
    return std::to_string(record.data.size()) + " data bytes of " + std::to_string(data.size()) +
           ", first difference at byte " + std::to_string(differ.first - record.data.begin());
  }
  if (!record.checksumRead) return "checksum not read";
  if (record.tapeChecksum != checksum) {
    return "checksum " + Hex4(record.tapeChecksum) + " read, " + Hex4(checksum) + " recorded";
  }
  if (reader::ImageBytes(record) != image) return "image bytes differ from the fields";
  return "";
}

const char* StatusName(reader::RecordStatus status) {
  switch (status) {
    case reader::RecordStatus::kSound: return "sound";
    case reader::RecordStatus::kChecksumError: return "checksum error";
    case reader::RecordStatus::kCutShort: return "cut short";
    case reader::RecordStatus::kCombined: return "combined";
    case reader::RecordStatus::kRepaired: return "repaired";
    case reader::RecordStatus::kNoChecksum: return "no checksum";
  }
  return "?";
}
