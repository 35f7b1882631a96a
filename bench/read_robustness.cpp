// The robustness table: lentok's recordings of a few records, degraded in
// the ways tape decks, cables and sound cards degrade them, read back by the
// tape decoder. For each condition (and each noise seed) it prints how many
// records were found, how many came back byte-exact, how many the machine's
// loader would load as played (the reader's verdict) and their statuses; then
// the lowest signal-to-noise ratio, stepping down, at which every record of
// every seed still reads back byte-exact and sound. It reports and never
// judges: the exit status is 0 whatever the decoder makes of the signals.
//
//   lentok_read_robustness [--quick]
//
// --quick: one record instead of two, one seed per noise level and coarser
// steps in the SNR search.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/degrade.h"
#include "tests/support/expected.h"
#include "tests/support/read_back.h"
#include "tests/support/test_files.h"

namespace {

using degrade::Signal;
using Clock = std::chrono::steady_clock;

constexpr double kLentokRate = 44100;

struct Settings {
  std::vector<std::size_t> recordSizes;  // data bytes of each record
  std::vector<std::uint64_t> noiseSeeds;
  double snrStep = 0;
};

Settings SettingsFor(bool quick) {
  if (quick) return {{1024}, {1}, 1.0};
  return {{1024, 3072}, {1, 2, 3}, 0.5};
}

struct Tape {
  Bytes image;
  std::string name;
};

struct Recording {
  Signal signal;
  double sampleRate = kLentokRate;
};

std::vector<Tape> MakeTapes(const std::vector<std::size_t>& sizes) {
  std::mt19937 generator(2024);
  std::vector<Tape> tapes;
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    Bytes data(sizes[i]);
    for (std::uint8_t& byte : data) byte = static_cast<std::uint8_t>(generator() >> 24);
    tapes.push_back({MakeConsistentImage(static_cast<std::uint16_t>(0x1000 * (i + 1)), data),
                     "PART" + std::to_string(i + 1) + ".RKS"});
  }
  return tapes;
}

// The records one after another, with a second of silence before, between
// and after them, as a recording session would leave them.
Signal JoinWithSilences(const std::vector<Signal>& records, double sampleRate) {
  const Signal gap = degrade::Silence(1.0, sampleRate);
  std::vector<Signal> pieces = {gap};
  for (const Signal& record : records) {
    pieces.push_back(record);
    pieces.push_back(gap);
  }
  return degrade::Join(pieces);
}

Signal LentokRecording(const std::vector<Tape>& tapes) {
  std::vector<Signal> records;
  for (const Tape& tape : tapes) {
    RecordingOptions options;
    options.tapeName = tape.name;
    records.push_back(degrade::LentokSignal(tape.image, options));
  }
  return JoinWithSilences(records, kLentokRate);
}

// Another encoder's recording: 11025 Hz, a short leader, the name in lower
// case, half level, rounded edges, and no change closing the last bit.
Recording ForeignRecording(const std::vector<Tape>& tapes) {
  std::vector<Signal> records;
  for (const Tape& tape : tapes) {
    degrade::EncoderStyle style;
    style.sampleRate = 11025;
    style.leaderBytes = 48;
    style.zeroRunBytes = 256;
    style.level = 0.5;
    style.edgeSeconds = 1 / 11025.0;
    style.closingHalfCell = false;  // the older layout, as other encoders write it
    for (char c : tape.name) style.name.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    records.push_back(degrade::SynthesiseRecording(tape.image, style));
  }
  return {JoinWithSilences(records, 11025), 11025};
}

// ---- Conditions -------------------------------------------------------------

using Harm = std::function<Recording(const Signal& clean, std::uint64_t seed)>;

struct Condition {
  std::string label;
  Harm harm;
  bool seeded = false;  // run once per noise seed
};

Recording Same(const Signal& signal) { return {signal, kLentokRate}; }

Signal WowFlutter(const Signal& s) { return degrade::WowAndFlutter(s, kLentokRate, {0.02, 0.5}, {0.01, 10}); }
Signal FirstOrderBand(const Signal& s) { return degrade::BandPass(s, kLentokRate, 300, 3000, 1); }
Signal FourthOrderBand(const Signal& s) { return degrade::BandPass(s, kLentokRate, 200, 2500, 4); }

std::string Decibels(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g dB", value);
  return text;
}

std::vector<Condition> Conditions(const std::vector<Tape>& tapes) {
  std::vector<Condition> list;
  list.push_back({"clean", [](const Signal& s, std::uint64_t) { return Same(s); }});
  for (double snr : {12.0, 9.0, 6.0, 4.5, 3.0}) {
    list.push_back({"noise, SNR " + Decibels(snr),
                    [snr](const Signal& s, std::uint64_t seed) { return Same(degrade::AddWhiteNoise(s, snr, seed)); },
                    true});
  }
  for (double speed : {0.65, 0.70, 0.75, 0.80, 0.85, 0.90, 1.10, 1.15, 1.20, 1.25, 1.30, 1.35}) {
    char label[32];
    std::snprintf(label, sizeof label, "speed %.2f", speed);
    list.push_back({label, [speed](const Signal& s, std::uint64_t) { return Same(degrade::ChangeSpeed(s, speed)); }});
  }
  list.push_back({"wow 2 % 0.5 Hz + flutter 1 % 10 Hz", [](const Signal& s, std::uint64_t) { return Same(WowFlutter(s)); }});
  list.push_back({"band-pass 300-3000 Hz, 1st order", [](const Signal& s, std::uint64_t) { return Same(FirstOrderBand(s)); }});
  list.push_back({"band-pass 200-2500 Hz, 4th order", [](const Signal& s, std::uint64_t) { return Same(FourthOrderBand(s)); }});
  list.push_back({"resampled to 8000 Hz", [](const Signal& s, std::uint64_t) {
                    return Recording{degrade::Resample(s, kLentokRate, 8000), 8000};
                  }});
  list.push_back({"8-bit samples at -24 dBFS", [](const Signal& s, std::uint64_t) {
                    return Same(degrade::QuantiseTo8Bits(degrade::ApplyGainDb(s, -24)));
                  }});
  list.push_back({"inverted", [](const Signal& s, std::uint64_t) { return Same(degrade::Invert(s)); }});
  list.push_back({"-40 dBFS", [](const Signal& s, std::uint64_t) { return Same(degrade::ApplyGainDb(s, -40)); }});
  list.push_back({"DC offset +0.3 at -6 dBFS", [](const Signal& s, std::uint64_t) {
                    return Same(degrade::AddOffset(degrade::ApplyGainDb(s, -6), 0.3f));
                  }});
  list.push_back({"50 Hz hum as strong as the signal", [](const Signal& s, std::uint64_t) {
                    return Same(degrade::AddHum(degrade::ApplyGainDb(s, -6), kLentokRate, 50, 0.5f));
                  }});
  list.push_back({"clipped: 1st-order band, +12 dB, clip", [](const Signal& s, std::uint64_t) {
                    return Same(degrade::Clip(degrade::ApplyGainDb(FirstOrderBand(s), 12), 1.0f));
                  }});
  const Recording foreign = ForeignRecording(tapes);
  list.push_back({"foreign encoder, 11025 Hz, short leader", [foreign](const Signal&, std::uint64_t) { return foreign; }});
  list.push_back({"noise 6 dB + band 1st + speed 0.9", [](const Signal& s, std::uint64_t seed) {
                    return Same(degrade::ChangeSpeed(FirstOrderBand(degrade::AddWhiteNoise(s, 6, seed)), 0.9));
                  },
                  true});
  list.push_back({"noise 9 dB + wow and flutter", [](const Signal& s, std::uint64_t seed) {
                    return Same(WowFlutter(degrade::AddWhiteNoise(s, 9, seed)));
                  },
                  true});
  list.push_back({"noise 12 dB + band 4th + 22050 Hz 8-bit", [](const Signal& s, std::uint64_t seed) {
                    const Signal band = FourthOrderBand(degrade::AddWhiteNoise(s, 12, seed));
                    return Recording{degrade::QuantiseTo8Bits(degrade::Resample(band, kLentokRate, 22050)), 22050};
                  },
                  true});
  return list;
}

// ---- Reading back -----------------------------------------------------------

struct Outcome {
  std::size_t found = 0;
  std::size_t exact = 0;  // expected records given back byte-exact and sound
  std::size_t sound = 0, checksumErrors = 0, cutShort = 0;
  std::size_t loads = 0;  // records the machine's loader would load as played
  std::string firstReason;  // why the first record that would not load would not
  double seconds = 0;
};

const char* ProblemName(reader::LoadProblemKind kind) {
  switch (kind) {
    case reader::LoadProblemKind::kNoClosingChange: return "no closing change";
    case reader::LoadProblemKind::kCellTooShort: return "cells too short";
    case reader::LoadProblemKind::kCellTooLong: return "cells too long";
    case reader::LoadProblemKind::kChangeTooClose: return "change too close";
    case reader::LoadProblemKind::kCutShort: return "cut short";
    case reader::LoadProblemKind::kChecksumError: return "checksum error";
    case reader::LoadProblemKind::kNoSync: return "no sync";
    case reader::LoadProblemKind::kNoChecksum: return "no checksum";
  }
  return "?";
}

Outcome ReadBack(const Recording& recording, const std::vector<Tape>& tapes) {
  const Clock::time_point start = Clock::now();
  const std::vector<reader::DecodedRecord> records = DecodeSignal(recording.signal, recording.sampleRate);
  Outcome outcome;
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.found = records.size();
  for (const reader::DecodedRecord& record : records) {
    outcome.sound += record.status == reader::RecordStatus::kSound;
    outcome.checksumErrors += record.status == reader::RecordStatus::kChecksumError;
    outcome.cutShort += record.status == reader::RecordStatus::kCutShort;
    outcome.loads += record.machine.loads;
    if (!record.machine.loads && outcome.firstReason.empty() && !record.machine.problems.empty()) {
      outcome.firstReason = ProblemName(record.machine.problems.front().kind);
    }
  }
  for (const Tape& tape : tapes) {
    for (const reader::DecodedRecord& record : records) {
      if (record.status == reader::RecordStatus::kSound && ImageMismatch(record, tape.image).empty()) {
        ++outcome.exact;
        break;
      }
    }
  }
  return outcome;
}

std::string Statuses(const Outcome& outcome) {
  std::string text;
  const auto add = [&text](std::size_t count, const char* name) {
    if (count == 0) return;
    if (!text.empty()) text += ", ";
    text += std::to_string(count) + " " + name;
  };
  add(outcome.sound, "sound");
  add(outcome.checksumErrors, "checksum error");
  add(outcome.cutShort, "cut short");
  if (text.empty()) text = "-";
  if (!outcome.firstReason.empty()) text += "; will not load: " + outcome.firstReason + ", ...";
  return text;
}

void PrintRow(const std::string& label, const std::string& seed, const Outcome& outcome, std::size_t expected) {
  std::printf("%-42s %4s %5zu/%zu %5zu/%zu %5zu/%zu  %7.0f  %s\n", label.c_str(), seed.c_str(), outcome.found,
              expected, outcome.exact, expected, outcome.loads, expected, outcome.seconds * 1e3,
              Statuses(outcome).c_str());
}

bool AllBack(const Signal& clean, const std::vector<Tape>& tapes, double snr, const std::vector<std::uint64_t>& seeds) {
  for (std::uint64_t seed : seeds) {
    const Outcome outcome = ReadBack(Same(degrade::AddWhiteNoise(clean, snr, seed)), tapes);
    if (outcome.exact != tapes.size() || outcome.found != tapes.size()) return false;
  }
  return true;
}

// Steps down from 12 dB until a seed loses a record; the last level where
// none did is the figure.
void PrintLowestSnr(const Signal& clean, const std::vector<Tape>& tapes, const Settings& settings) {
  const double highest = 12.0;
  const double lowest = -3.0;
  double passed = highest + settings.snrStep;
  for (double snr = highest; snr >= lowest - 1e-9; snr -= settings.snrStep) {
    if (!AllBack(clean, tapes, snr, settings.noiseSeeds)) {
      if (passed > highest) {
        std::printf("\nlowest SNR with every record of every seed byte-exact: none at or below %g dB\n", highest);
      } else {
        std::printf("\nlowest SNR with every record of every seed byte-exact: %g dB (first loss at %g dB; "
                    "stepped down from %g dB by %g dB, %zu seed(s))\n",
                    passed, snr, highest, settings.snrStep, settings.noiseSeeds.size());
      }
      return;
    }
    passed = snr;
  }
  std::printf("\nlowest SNR with every record of every seed byte-exact: %g dB or lower (the search stops there)\n",
              lowest);
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  const Settings settings = SettingsFor(quick);
  const std::vector<Tape> tapes = MakeTapes(settings.recordSizes);
  const Signal clean = LentokRecording(tapes);

  std::printf("records per recording: %zu (data bytes:", tapes.size());
  for (std::size_t size : settings.recordSizes) std::printf(" %zu", size);
  std::printf("), each with a name header%s\n\n", quick ? "; quick run" : "");
  std::printf("%-42s %4s %7s %7s %7s  %7s  %s\n", "condition", "seed", "found", "exact", "loads", "ms", "statuses");
  for (const Condition& condition : Conditions(tapes)) {
    if (!condition.seeded) {
      PrintRow(condition.label, "-", ReadBack(condition.harm(clean, 0), tapes), tapes.size());
      continue;
    }
    for (std::uint64_t seed : settings.noiseSeeds) {
      PrintRow(condition.label, std::to_string(seed), ReadBack(condition.harm(clean, seed), tapes), tapes.size());
    }
  }
  PrintLowestSnr(clean, tapes, settings);
  return 0;
}
