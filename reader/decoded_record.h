// One record read from a recording: where it lies, what it holds, whether
// its checksum held, and what was measured of its signal. A damaged record
// keeps everything that was recovered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace reader {

enum class RecordStatus {
  kSound,          // every byte read and the checksum on tape matches the data
  kChecksumError,  // read to the end, but the checksum does not match
  kCutShort,       // the signal ended or was lost before the record did
  kCombined,       // copies of the record, none sound, combined into one whose checksum agrees
  kRepaired,       // a few doubtful bits changed so that the checksum agrees: a guess it supports
  // Every data byte read and the signal ends right after them, as the
  // earlier monitors write a record: no header and no checksum word, so
  // nothing checks the data but how clearly each bit was read.
  kNoChecksum,
};

// How clear a bit's decision was: 0 (no signal, a coin toss) to 255 (a full
// change). Below kDoubtfulConfidence (about 0.35 of a full change) a bit is
// doubtful.
constexpr std::uint8_t kDoubtfulConfidence = 90;

// A bit changed by a repair: the address of its byte and its number, 0 for
// the least significant.
// `inChecksum`: a bit of the checksum word instead, `address` 0 for its low
// byte and 1 for its high byte.
struct ChangedBit {
  std::uint16_t address = 0;
  int bit = 0;
  bool inChecksum = false;
};

struct SignalMeasure {
  bool inverted = false;    // the recording's polarity is the opposite of lentok's
  double speed = 1.0;       // tape speed against nominal: 0.97 is 3 % slow
  double levelDbfs = 0.0;   // the signal's amplitude, dB below full scale
};

// Why the machine's own loader would not load a record as it was played.
enum class LoadProblemKind {
  kNoClosingChange,  // the last bit's cell never ends in a change
  kCellTooShort,     // cells shorter than the loader's window
  kCellTooLong,      // cells longer than the loader's window
  kChangeTooClose,   // a change where the loader takes one, too soon after the last
  kCutShort,         // the record ends before its checksum
  kChecksumError,    // the checksum on tape does not match the data
  kNoSync,           // a leader that no sync byte follows, or a sync byte with no leader
  kNoChecksum,       // the record ends after its data: the later monitor waits for a checksum
};

struct LoadProblem {
  LoadProblemKind kind;
  std::int64_t frame = 0;          // where it lies in the recording
  double cellMicroseconds = 0;     // the cell length found, for too short / too long
};

// The monitors of the family and their reads. The later monitor reads
// the block directly (plain) or after a name header it compares (named),
// and needs the checksum word either way; the earlier monitor and the
// compatible machine's take the block directly, with no header, and ignore
// what follows the data. The timing window is the same for all.
enum class MonitorRead {
  kLaterPlain,
  kLaterNamed,
  kEarlier,
  kCompatible,
};
constexpr MonitorRead kMonitorReads[] = {MonitorRead::kLaterPlain, MonitorRead::kLaterNamed,
                                         MonitorRead::kEarlier, MonitorRead::kCompatible};
constexpr std::size_t kMonitorReadCount = sizeof kMonitorReads / sizeof kMonitorReads[0];

// The monitors themselves, as a user names the one in the machine.
enum class Monitor { kLater, kEarlier, kCompatible };
constexpr Monitor MonitorOf(MonitorRead read) {
  return read == MonitorRead::kEarlier ? Monitor::kEarlier
         : read == MonitorRead::kCompatible ? Monitor::kCompatible
                                            : Monitor::kLater;
}

// What the machine's loader would make of the record, played as it is (no
// speed correction).
struct MachineVerdict {
  bool judged = false;             // false until the verdict has been made
  bool loads = false;              // on at least one monitor
  // Why a monitor would not load it: every problem found, on any monitor.
  std::vector<LoadProblem> problems;
  // Whether each read of kMonitorReads loads it, in that order.
  bool loadsOn[kMonitorReadCount] = {};

  bool LoadsOn(MonitorRead read) const { return loadsOn[static_cast<std::size_t>(read)]; }
  // By any of the monitor's reads.
  bool LoadsOn(Monitor monitor) const {
    for (const MonitorRead read : kMonitorReads) {
      if (MonitorOf(read) == monitor && LoadsOn(read)) return true;
    }
    return false;
  }
};

// Keeps at most this many problems per record: the first ones tell where
// the trouble starts.
constexpr std::size_t kLoadProblemsKept = 8;

struct DecodedRecord {
  // Positions are frame numbers of the recording at `sampleRate`.
  double sampleRate = 0;
  std::int64_t firstFrame = 0;  // where the leader was found
  std::int64_t endFrame = 0;    // just after the last bit read
  int channel = 0;              // the channel it was read from, from 0

  bool hasHeader = false;       // the monitor's name header came first
  std::string name;             // its name bytes, as on tape

  std::uint16_t startAddress = 0;
  std::uint16_t endAddress = 0;
  // The data bytes read: endAddress - startAddress + 1 of them, or fewer
  // when the record was cut short. byteFrames[i] is where data[i] began.
  std::vector<std::uint8_t> data;
  std::vector<std::int64_t> byteFrames;
  bool addressesRead = false;   // false: cut short before both addresses

  bool checksumRead = false;
  std::uint16_t tapeChecksum = 0;      // as read, when checksumRead
  std::uint16_t computedChecksum = 0;  // over `data`

  RecordStatus status = RecordStatus::kCutShort;

  // Bits whose decision was doubtful (weak or ambiguous signal), by where
  // they lie: the first few, and how many there were in all.
  std::vector<std::int64_t> doubtfulBitFrames;
  std::uint32_t doubtfulBitCount = 0;

  // Per bit of `data`, 8 per byte, most significant first: how clear its
  // decision was (see kDoubtfulConfidence).
  std::vector<std::uint8_t> bitConfidence;
  // The same for the 16 bits of the checksum word as they came from tape
  // (low byte first); empty when it was not read.
  std::vector<std::uint8_t> checksumConfidence;

  // For a record repaired from its checksum: the bits changed, and how many
  // combinations of doubtful bits were tried.
  std::vector<ChangedBit> repairedBits;
  std::uint32_t repairTried = 0;

  SignalMeasure signal;

  MachineVerdict machine;

  // The same program read at the same time on the recording's other
  // channels, when none of them read it soundly: copies to combine with
  // this one, the channel that read it best. Always empty on a copy itself.
  std::vector<DecodedRecord> channelCopies;
};

// Keeps at most this many positions of doubtful bits per record.
constexpr std::size_t kDoubtfulPositionsKept = 8;

// Whether the record counts as damaged: anything but sound, combined, or
// a record without a checksum word whose every bit was read clearly (its
// one safeguard).
bool IsDamaged(const DecodedRecord& record);

// The tape image of the record in the layout lentok reads: start and end
// address (little-endian), the data, then the checksum word as read from
// tape, low byte first; a record with none read (cut short, or written
// without one) ends with the checksum computed over the data recovered, so
// that its image loads as any other.
std::vector<std::uint8_t> ImageBytes(const DecodedRecord& record);

// Seconds from the start of the recording to a frame.
double SecondsAt(const DecodedRecord& record, std::int64_t frame);

}  // namespace reader
