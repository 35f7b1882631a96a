// The damage map: every recording read, drawn on one time axis as a panel
// each: the signal's level, the records as bands by status, the decoder's
// confidence with the doubtful bits marked, the tape speed where it drifts
// and the places where the machine would not load a record. It takes plain
// values and words in the caller's language, so that it knows nothing of the
// decoder and serves the command line and the page alike.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tape_map {

enum class BandStatus { kSound, kCombined, kRepaired, kDamaged, kCutShort };
constexpr std::size_t kBandStatusCount = 5;

// A place where the machine would stop loading, and why, in words.
struct LoadMark {
  double seconds = 0;
  std::string label;
};

struct MapRecord {
  double fromSeconds = 0;
  double toSeconds = 0;
  BandStatus status = BandStatus::kSound;
  std::string label;       // name, addresses and status, in words
  std::string shortLabel;  // name and status, for a band too narrow for the label
  // Where each data byte began, in seconds from the recording's start.
  std::vector<double> byteSeconds;
  // Per bit of the data, 8 per byte, most significant first: 0 (a coin
  // toss) to 255 (a full change). May be empty: then only doubtfulSeconds
  // are marked and no confidence is drawn.
  std::vector<std::uint8_t> bitConfidence;
  std::vector<double> doubtfulSeconds;
  std::uint32_t doubtfulCount = 0;  // in all, when only some positions are known
  std::vector<LoadMark> loadMarks;
  // A copy that went into a combination: the stretches, in seconds, of
  // doubtful bytes it supplied.
  std::vector<std::pair<double, double>> supplied;
  std::size_t lane = 0;  // the row of the records strip it is drawn in (MapRecording::lanes)
};

// The level of a stretch of the recording, -1 to 1.
struct LevelSpan {
  float low = 0;
  float high = 0;
};

// Signal no record explains: drawn as a band of its own kind.
struct MapUnread {
  double fromSeconds = 0;
  double toSeconds = 0;
  std::string label;  // what it is and how often its level changes, in words
};

struct MapRecording {
  std::string title;        // the recording's name as the user gave it
  double seconds = 0;       // its length
  double secondsPerLevel = 0;
  std::vector<LevelSpan> levels;  // level i covers [i, i + 1) * secondsPerLevel
  std::vector<MapRecord> records;
  // The names of the records strip's rows, one for each channel records
  // were read from; empty: one row, named as MapLabels::records.
  std::vector<std::string> lanes;
  std::vector<MapUnread> unread;
};

// The words of the picture, in one language.
struct MapLabels {
  std::string heading;
  std::string level;
  std::string records;
  std::string confidence;
  std::string speed;
  std::string time;
  std::string doubtful;
  std::string drift;
  std::string wouldNotLoad;
  std::string supplied;
  std::string noRecords;
  std::string unread;  // the legend's word for signal no record explains
  std::array<std::string, kBandStatusCount> status;
  char decimalPoint = '.';
};

// A bit below this confidence is doubtful: about a third of a full change.
constexpr std::uint8_t kDoubtfulConfidence = 90;

// The nominal length of a byte on tape: 8 cells of 32 samples at 44100 Hz.
constexpr double kNominalByteSeconds = 256.0 / 44100.0;

// The whole picture as an SVG document.
std::string DrawDamageMap(const std::vector<MapRecording>& recordings, const MapLabels& labels);

// The class name a band of `status` carries ("sound", "combined",
// "repaired", "damaged", "cut-short"), for style sheets and tests.
const char* StatusClass(BandStatus status);

}  // namespace tape_map
