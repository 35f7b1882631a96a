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
  const bool complete = record.status != RecordStatus::kCutShort;
  // A record cut short has no last bit to close; what matters is that it ends.
  if (pending_) Judge(*pending_, complete);
  pending_.reset();
  runKind_.reset();
  if (record.hasHeader && !record.addressesRead) {
    Add(LoadProblemKind::kNoSync, static_cast<double>(record.endFrame), 0);
  } else if (!complete) {
    Add(LoadProblemKind::kCutShort, static_cast<double>(record.endFrame), 0);
  } else if (record.status == RecordStatus::kChecksumError) {
    Add(LoadProblemKind::kChecksumError, static_cast<double>(record.endFrame), 0);
  }
  MachineVerdict verdict = std::move(verdict_);
  verdict_ = MachineVerdict{};
  verdict.judged = true;
  verdict.loads = verdict.problems.empty();
  return verdict;
}

}  // namespace reader
