// The record's structure, byte by byte.
#include "reader/record_parser.h"

#include <cmath>
#include <utility>

#include "tape/tape_checksum.h"
#include "tape/tape_format.h"

namespace reader {

namespace {

// A byte's eight confidences after those before. Growing the vector by
// resize or a range insert calls out of line for every byte; one by one,
// into the room reserved for the record, each is a store.
void AppendConfidence(std::vector<std::uint8_t>& confidences, const ByteConfidence& confidence) {
  for (const std::uint8_t value : confidence) confidences.push_back(value);
}

}  // namespace

void RecordParser::Begin(std::int64_t firstFrame, double sampleRate) {
  record_ = DecodedRecord{};
  record_.sampleRate = sampleRate;
  record_.firstFrame = firstFrame;
  state_ = State::kMarks;
  marks_ = 0;
  addressBytes_.clear();
  dataLength_ = 0;
  checksumBytes_ = 0;
  checksumFrame_ = 0;
  halfCellSum_ = 0;
  amplitudeSum_ = 0;
  signalNotes_ = 0;
}

RecordParser::Step RecordParser::Take(std::uint8_t value, std::int64_t frame,
                                      const ByteConfidence& confidence) {
  switch (state_) {
    case State::kMarks:
      if (value == kHeaderMarkByte) {
        if (++marks_ == kHeaderMarkCount) {
          record_.hasHeader = true;
          state_ = State::kName;
        }
        return Step::kMoreBytes;
      }
      // Fewer marks than a header has: they were the block's first bytes.
      state_ = State::kAddresses;
      for (std::uint32_t i = 0; i < marks_; ++i) TakeBlockByte(kHeaderMarkByte, frame, kFullConfidence);
      return TakeBlockByte(value, frame, confidence);
    case State::kName:
      if (value == 0 || record_.name.size() == kLongestName) {
        state_ = State::kAddresses;
        return Step::kSecondSync;
      }
      record_.name.push_back(static_cast<char>(value));
      return Step::kMoreBytes;
    default:
      return TakeBlockByte(value, frame, confidence);
  }
}

RecordParser::Step RecordParser::TakeBlockByte(std::uint8_t value, std::int64_t frame,
                                               const ByteConfidence& confidence) {
  switch (state_) {
    case State::kAddresses:
      addressBytes_.push_back(value);
      if (addressBytes_.size() == 4) {
        record_.addressesRead = true;
        record_.startAddress = static_cast<std::uint16_t>(addressBytes_[0] | addressBytes_[1] << 8);
        record_.endAddress = static_cast<std::uint16_t>(addressBytes_[2] | addressBytes_[3] << 8);
        // The bytes from start to end inclusive; an end one below the start
        // wraps round the whole address space.
        const std::uint32_t span =
            static_cast<std::uint16_t>(record_.endAddress - record_.startAddress);
        dataLength_ = span + 1;
        // Filled a byte at a time from here on: a full-size record's buffers
        // come to over a megabyte.
        record_.data.reserve(dataLength_);
        record_.byteFrames.reserve(dataLength_);
        record_.bitConfidence.reserve(8 * static_cast<std::size_t>(dataLength_));
        state_ = State::kData;
      }
      return Step::kMoreBytes;
    case State::kData:
      record_.data.push_back(value);
      record_.byteFrames.push_back(frame);
      AppendConfidence(record_.bitConfidence, confidence);
      if (record_.data.size() == dataLength_) state_ = State::kChecksum;
      return Step::kMoreBytes;
    case State::kChecksum:
      if (checksumBytes_ == 0) checksumFrame_ = frame;
      record_.tapeChecksum = static_cast<std::uint16_t>(
          checksumBytes_ == 0 ? value : record_.tapeChecksum | value << 8);
      record_.checksumConfidence.insert(record_.checksumConfidence.end(), confidence.begin(),
                                        confidence.end());
      if (++checksumBytes_ == 2) {
        record_.checksumRead = true;
        state_ = State::kDone;
        return Step::kComplete;
      }
      return Step::kMoreBytes;
    default:
      return Step::kComplete;
  }
}

void RecordParser::SignalEndedAt(std::int64_t frame, double halfCell) {
  const auto byteLength = static_cast<std::int64_t>(16 * halfCell);
  if (checksumBytes_ > 0 && checksumFrame_ + 2 * byteLength > frame) {
    record_.checksumRead = false;
    record_.tapeChecksum = 0;
    checksumBytes_ = 0;
  }
  while (!record_.byteFrames.empty() && record_.byteFrames.back() + byteLength > frame) {
    record_.byteFrames.pop_back();
    record_.data.pop_back();
    record_.bitConfidence.resize(record_.data.size() * 8);
  }
  std::vector<std::int64_t>& doubts = record_.doubtfulBitFrames;
  while (!doubts.empty() && doubts.back() >= frame) {
    doubts.pop_back();
    --record_.doubtfulBitCount;
  }
}

bool RecordParser::ChecksumMayBeALeader() const {
  if (!record_.checksumRead || record_.tapeChecksum != 0 || record_.hasHeader || record_.data.empty()) return false;
  for (const std::uint8_t confidence : record_.checksumConfidence) {
    if (confidence < kDoubtfulConfidence) return false;
  }
  return TapeChecksum(record_.data.data(), &record_.data.back()) != 0;
}

std::int64_t RecordParser::ChecksumWasALeader() {
  record_.checksumRead = false;
  record_.checksumConfidence.clear();
  checksumBytes_ = 0;
  return checksumFrame_;
}

void RecordParser::NoteDoubtfulBit(std::int64_t frame) {
  if (record_.doubtfulBitFrames.size() < kDoubtfulPositionsKept) {
    record_.doubtfulBitFrames.push_back(frame);
  }
  ++record_.doubtfulBitCount;
}

void RecordParser::NoteSignal(bool inverted, double halfCell, double amplitude) {
  record_.signal.inverted = inverted;
  halfCellSum_ += halfCell;
  amplitudeSum_ += amplitude;
  ++signalNotes_;
}

// The earlier monitors' layout: no header, every data byte, and the signal
// gone within a cell or two of the last one, before any checksum bit could
// have been read. A record of the later layout cut off exactly there looks
// the same; cut anywhere else, it is cut short.
bool RecordParser::EndsAfterItsData() const {
  if (record_.hasHeader || !record_.addressesRead || record_.data.size() != dataLength_ ||
      record_.byteFrames.empty() || signalNotes_ == 0) {
    return false;
  }
  const double halfCell = halfCellSum_ / static_cast<double>(signalNotes_);
  const double dataEnd = static_cast<double>(record_.byteFrames.back()) + 16 * halfCell;
  return static_cast<double>(record_.endFrame) <= dataEnd + 2 * kNoChecksumEndCells * halfCell;
}

DecodedRecord RecordParser::Finish(std::int64_t endFrame) {
  record_.endFrame = endFrame;
  if (!record_.data.empty()) {
    record_.computedChecksum = TapeChecksum(record_.data.data(), &record_.data.back());
  }
  if (!record_.checksumRead) record_.checksumConfidence.clear();
  if (!record_.checksumRead) {
    record_.status = EndsAfterItsData() ? RecordStatus::kNoChecksum : RecordStatus::kCutShort;
  } else {
    record_.status = record_.computedChecksum == record_.tapeChecksum ? RecordStatus::kSound
                                                                      : RecordStatus::kChecksumError;
  }
  if (signalNotes_ > 0) {
    const double halfCell = halfCellSum_ / static_cast<double>(signalNotes_);
    const double amplitude = amplitudeSum_ / static_cast<double>(signalNotes_);
    const double nominal = kHalfCellSamples * record_.sampleRate / kRecordingSampleRate;
    record_.signal.speed = halfCell > 0 ? nominal / halfCell : 1.0;
    // A full change is the level integrated over two half-cells.
    const double level = amplitude / (2 * halfCell);
    record_.signal.levelDbfs = level > 0 ? 20 * std::log10(level) : -200.0;
  }
  state_ = State::kDone;
  // Handed over, not copied: a full-size record holds about a megabyte, and
  // fresh memory to copy it into costs more than reading its bytes did.
  return std::move(record_);
}

}  // namespace reader
