// The loader's rule over level changes, and the verdict of each record.
#include "reader/loader_watch.h"

#include <algorithm>
#include <cmath>

#include "platform/memory.h"

namespace reader {

namespace {

// A bit's end and the change the loader took there may differ by this
// share of a half-cell: timing jitter, not a change elsewhere.
constexpr double kToleranceShare = 0.5;
// A leader of one zero byte, then the sync byte, as cells.
constexpr double kCellsBeforeSyncEnd = 16 - 0.5;

}  // namespace

LoaderWatch::LoaderWatch(double sampleRate, std::size_t keepFrames)
    : microsecondsPerFrame_(1e6 / sampleRate), keepFrames_(static_cast<double>(keepFrames)) {}

void LoaderWatch::Take(const LoaderChange* changes, std::size_t count) {
  platform::GrowToWrite(taken_, taken_.size() + count);
  taken_.insert(taken_.end(), changes, changes + count);
  for (std::size_t i = 0; i < count; ++i) {
    if (changes[i].afterSilence) armedAt_.push_back(changes[i].frame);
  }
}

void LoaderWatch::ForgetBefore(std::int64_t position) {
  const double oldest = static_cast<double>(position) - keepFrames_;
  while (takenHead_ < taken_.size() && taken_[takenHead_].frame < oldest) ++takenHead_;
  // The kept changes move down once the dropped ones are as many: the
  // vector stays within twice what the window holds.
  if (takenHead_ > 64 && takenHead_ * 2 > taken_.size()) {
    taken_.erase(taken_.begin(), taken_.begin() + static_cast<std::ptrdiff_t>(takenHead_));
    cursor_ = cursor_ > takenHead_ ? cursor_ - takenHead_ : 0;
    takenHead_ = 0;
  }
  // The latest start before the oldest frame kept still counts.
  while (armedAt_.size() > 1 && armedAt_[1] < oldest) armedAt_.pop_front();
}

bool LoaderWatch::TakenNear(double frame, double tolerance) {
  // Bits are asked about in order, so the search goes on from the last.
  if (cursor_ < takenHead_) cursor_ = takenHead_;
  while (cursor_ > takenHead_ && taken_[cursor_ - 1].frame >= frame - tolerance) --cursor_;
  while (cursor_ < taken_.size() && taken_[cursor_].frame < frame - tolerance) ++cursor_;
  return cursor_ < taken_.size() && taken_[cursor_].frame <= frame + tolerance && !taken_[cursor_].late;
}

void LoaderWatch::BeginRecord(double frame, double halfCell) {
  verdict_ = MachineVerdict{};
  pending_.reset();
  runKind_.reset();
  double armed = -1;
  for (double at : armedAt_) {
    if (at <= frame) armed = at;
  }
  if (armed >= 0 && frame - armed < kCellsBeforeSyncEnd * 2 * halfCell) {
    Add(LoadProblemKind::kNoSync, frame, 0);
  }
}

void LoaderWatch::NoteBit(double frame, double halfCell) {
  lastHalfCell_ = halfCell;
  if (pending_) Judge(*pending_, false);
  const double cell = 2 * halfCell * microsecondsPerFrame_;
  pending_ = PendingBit{frame, cell, TakenNear(frame, kToleranceShare * halfCell)};
}

void LoaderWatch::Judge(const PendingBit& bit, bool last) {
  std::optional<LoadProblemKind> kind;
  if (bit.cellMicroseconds < kLoaderShortestCellMicroseconds) {
    kind = LoadProblemKind::kCellTooShort;
  } else if (bit.cellMicroseconds > kLoaderLongestCellMicroseconds) {
    kind = LoadProblemKind::kCellTooLong;
  } else if (!bit.taken) {
    kind = last ? LoadProblemKind::kNoClosingChange : LoadProblemKind::kChangeTooClose;
  }
  if (!kind) {
    runKind_.reset();
    return;
  }
  if (runKind_ == kind && !verdict_.problems.empty() && verdict_.problems.back().kind == *kind) {
    // The same trouble going on: one problem, with the worst cell found.
    LoadProblem& problem = verdict_.problems.back();
    if (*kind == LoadProblemKind::kCellTooShort) {
      problem.cellMicroseconds = std::min(problem.cellMicroseconds, bit.cellMicroseconds);
    } else if (*kind == LoadProblemKind::kCellTooLong) {
      problem.cellMicroseconds = std::max(problem.cellMicroseconds, bit.cellMicroseconds);
    }
  } else {
    const bool cells = *kind == LoadProblemKind::kCellTooShort || *kind == LoadProblemKind::kCellTooLong;
    Add(*kind, bit.frame, cells ? bit.cellMicroseconds : 0);
  }
  runKind_ = kind;
}

void LoaderWatch::Add(LoadProblemKind kind, double frame, double cellMicroseconds) {
  if (verdict_.problems.size() >= kLoadProblemsKept) return;
  verdict_.problems.push_back({kind, static_cast<std::int64_t>(std::llround(frame)), cellMicroseconds});
}

MachineVerdict LoaderWatch::Conclude(const DecodedRecord& record) {
  // A record cut short has no last bit to close; what matters is that it
  // ends. One without a checksum word ends with its last data bit, which
  // must close as any last bit.
  const bool complete = record.status != RecordStatus::kCutShort;
  // Bits noted past the record's end were read from what followed it, as
  // the timing coasted on: they are not the record's.
  const double end = static_cast<double>(record.endFrame) + kToleranceShare * lastHalfCell_;
  const bool readOn = pending_ && pending_->frame > end;
  if (pending_ && !readOn) Judge(*pending_, complete);
  pending_.reset();
  runKind_.reset();
  std::vector<LoadProblem>& problems = verdict_.problems;
  problems.erase(std::remove_if(problems.begin(), problems.end(),
                                [&](const LoadProblem& problem) { return static_cast<double>(problem.frame) > end; }),
                 problems.end());
  // Where bits were read on past the end, the record's last bit was judged
  // as if another followed it: unclosed, it is the last bit's trouble.
  if (readOn && complete && !problems.empty() && problems.back().kind == LoadProblemKind::kChangeTooClose &&
      static_cast<double>(problems.back().frame) >= static_cast<double>(record.endFrame) - 2 * lastHalfCell_) {
    problems.back().kind = LoadProblemKind::kNoClosingChange;
  }

  // The earlier monitors take the addresses and the data, and ignore what
  // follows: only trouble up to the last data bit's end stops them.
  const std::size_t declared =
      static_cast<std::size_t>(static_cast<std::uint16_t>(record.endAddress - record.startAddress)) + 1;
  const bool block = record.addressesRead && record.data.size() == declared;
  const double dataEnd =
      block && !record.byteFrames.empty()
          ? static_cast<double>(record.byteFrames.back()) + (16 + kToleranceShare) * lastHalfCell_
          : 0;
  const bool blockClear = std::none_of(problems.begin(), problems.end(), [&](const LoadProblem& problem) {
    return static_cast<double>(problem.frame) <= dataEnd;
  });

  if (record.hasHeader && !record.addressesRead) {
    Add(LoadProblemKind::kNoSync, static_cast<double>(record.endFrame), 0);
  } else if (record.status == RecordStatus::kNoChecksum) {
    Add(LoadProblemKind::kNoChecksum, static_cast<double>(record.endFrame), 0);
  } else if (!complete) {
    Add(LoadProblemKind::kCutShort, static_cast<double>(record.endFrame), 0);
  } else if (record.status == RecordStatus::kChecksumError) {
    Add(LoadProblemKind::kChecksumError, static_cast<double>(record.endFrame), 0);
  }
  MachineVerdict verdict = std::move(verdict_);
  verdict_ = MachineVerdict{};
  verdict.judged = true;
  // The later monitor needs everything, checksum included; its named read
  // the header too, which the earlier monitors cannot read past.
  const bool whole = verdict.problems.empty();
  for (const MonitorRead read : kMonitorReads) {
    bool loads = false;
    switch (read) {
      case MonitorRead::kLaterPlain: loads = whole && !record.hasHeader; break;
      case MonitorRead::kLaterNamed: loads = whole && record.hasHeader; break;
      case MonitorRead::kEarlier:
      case MonitorRead::kCompatible: loads = block && blockClear && !record.hasHeader; break;
    }
    verdict.loadsOn[static_cast<std::size_t>(read)] = loads;
    verdict.loads = verdict.loads || loads;
  }
  return verdict;
}

}  // namespace reader
