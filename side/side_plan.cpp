// Planning a side: each image checked as lentok checks it, named as lentok
// names it, laid out in the order lentok writes a record, and placed after
// the programs and gaps before it.
#include "side/side_plan.h"

#include <map>

#include "formats/byte_order.h"
#include "tape/tape_checksum.h"
#include "tape/tape_name.h"
#include "tape/tape_format.h"
#include "tape/tape_signal.h"

namespace side {

namespace {

// A byte on tape is 8 cells of two half-cells; the record ends with one
// more half-cell, the change that closes the checksum's last bit.
constexpr std::uint64_t kFramesPerTapeByte = kSamplesPerByte;
constexpr std::uint64_t kClosingFrames = kHalfCellSamples;

constexpr std::size_t kChecksumBytes = 2;
constexpr std::size_t kAddressBytes = 4;

// The record in the order tape/tape_record.cpp plays it for lentok: the
// leader, a sync byte, the monitor's header (unless -x), the image without
// its stored checksum, and the checksum word low byte first. Returns how
// many bytes come before the data block.
std::size_t AppendRecord(const std::vector<std::uint8_t>& image, const std::string& tapeName,
                         const SideOptions& options, std::uint16_t checksum, std::vector<std::uint8_t>& tape) {
  tape.insert(tape.end(), kLeaderBytes, 0x00);
  tape.push_back(kSyncByte);
  if (!options.noHeader) {
    tape.insert(tape.end(), kHeaderMarkCount, kHeaderMarkByte);
    tape.insert(tape.end(), tapeName.begin(), tapeName.end());
    tape.insert(tape.end(), HeaderZeroRunLength(static_cast<std::uint32_t>(tapeName.size())), 0x00);
    tape.push_back(kSyncByte);
  }
  const std::size_t beforeBlock = tape.size();
  tape.insert(tape.end(), image.begin(), image.end() - kChecksumBytes);
  tape.push_back(static_cast<std::uint8_t>(checksum));
  tape.push_back(static_cast<std::uint8_t>(checksum >> 8));
  return beforeBlock;
}

std::uint16_t ChecksumForTape(const std::vector<std::uint8_t>& image, bool compute) {
  const std::size_t checksumAt = image.size() - kChecksumBytes;
  if (!compute) return LoadLe16(image.data() + checksumAt);
  return TapeChecksum(image.data() + kAddressBytes, image.data() + checksumAt - 1);
}

}  // namespace

PlanResult PlanSide(const std::vector<SideImage>& images, const SideOptions& options) {
  PlanResult result;
  if (images.empty()) {
    result.problem = PlanProblem::kNoImages;
    return result;
  }
  SideContents& contents = result.plan.contents;
  contents.gapFrames = options.gapFrames;
  contents.named = !options.noHeader;
  // Names already on the side, and the image that put each there.
  std::map<std::string, std::size_t> named;
  std::uint64_t frame = 0;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::vector<std::uint8_t>& bytes = images[i].bytes;
    result.image = i;
    if (bytes.size() < kSmallestImage) {
      result.problem = PlanProblem::kImageTooShort;
      return result;
    }
    if (bytes.size() > kLargestImage) {
      result.problem = PlanProblem::kImageTooLong;
      return result;
    }
    ProgramEntry entry;
    entry.path = images[i].path;
    if (!options.noHeader) {
      entry.tapeName = TapeNameOf(images[i].fileName);
      const auto [place, fresh] = named.emplace(entry.tapeName, i);
      if (!fresh) {
        result.problem = PlanProblem::kSameName;
        result.other = place->second;
        return result;
      }
    }
    entry.startAddress = LoadLe16(bytes.data());
    entry.endAddress = LoadLe16(bytes.data() + 2);
    entry.checksum = ChecksumForTape(bytes, options.computeChecksum);
    entry.dataBytes = static_cast<std::uint32_t>(bytes.size() - kAddressBytes - kChecksumBytes);

    std::vector<std::uint8_t> tape;
    const std::size_t beforeBlock = AppendRecord(bytes, entry.tapeName, options, entry.checksum, tape);
    if (i > 0) frame += options.gapFrames;
    entry.firstFrame = frame;
    entry.blockFrame = frame + beforeBlock * kFramesPerTapeByte;
    entry.endFrame = frame + tape.size() * kFramesPerTapeByte + kClosingFrames;
    frame = entry.endFrame;
    contents.programs.push_back(std::move(entry));
    result.plan.tapeBytes.push_back(std::move(tape));
  }
  contents.frames = frame;
  result.image = 0;
  return result;
}

bool NameIsTypeable(const std::string& tapeName) {
  for (const char c : tapeName) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

std::vector<SideWarning> SideWarnings(const SideContents& contents, int cassetteMinutes) {
  std::vector<SideWarning> warnings;
  const std::uint64_t cassetteFrames = static_cast<std::uint64_t>(cassetteMinutes) * 60 * contents.sampleRate;
  if (contents.frames > cassetteFrames) warnings.push_back({WarningKind::kLongerThanCassette, 0});
  if (!contents.named) {
    warnings.push_back({WarningKind::kNoNames, 0});
    return warnings;
  }
  for (std::size_t i = 0; i < contents.programs.size(); ++i) {
    if (!NameIsTypeable(contents.programs[i].tapeName)) warnings.push_back({WarningKind::kNameNotTypeable, i});
  }
  return warnings;
}

}  // namespace side
