// The loader's rule over level changes, and the verdict of each record.
#include "reader/loader_watch.h"

#include <algorithm>
#include <cmath>

namespace reader {

namespace {

// The loader's delay is about 490 microseconds; with the time it takes to
// notice a change, a half-cell of up to 510 still falls inside it.
constexpr double kIgnoredSeconds = 510e-6;
constexpr double kReactionSeconds = 140e-6;
// A line quiet this long means the tape stopped: the loader starts over.
constexpr double kSilenceSeconds = 0.005;
// The line's middle follows slow drift and offsets; the size of a change
// follows the level of the tape.
constexpr double kCentreSeconds = 0.01;
constexpr double kEnvelopeSeconds = 0.05;
// The input sees a change once the line has passed this share of the
// signal's size beyond the middle, on the other side.
constexpr double kThresholdShare = 0.3;
// Below about -66 dBFS nothing is seen at all.
constexpr double kQuietest = 0.0005;
// A bit's end and the change the loader took there may differ by this
// share of a half-cell: timing jitter, not a change elsewhere.
constexpr double kToleranceShare = 0.5;
// A leader of one zero byte, then the sync byte, as cells.
constexpr double kCellsBeforeSyncEnd = 16 - 0.5;

}  // namespace

LoaderWatch::LoaderWatch(double sampleRate, std::size_t keepFrames)
    : sampleRate_(sampleRate),
      keepFrames_(static_cast<double>(keepFrames)),
      ignoredFrames_(kIgnoredSeconds * sampleRate),
      reactionFrames_(kReactionSeconds * sampleRate),
      silenceFrames_(kSilenceSeconds * sampleRate),
      centreDecay_(std::exp(-kStepFrames / (kCentreSeconds * sampleRate))),
      envelopeDecay_(std::exp(-kStepFrames / (kEnvelopeSeconds * sampleRate))),
      lower_(-kQuietest),
      upper_(kQuietest) {}

void LoaderWatch::Feed(const float* samples, std::size_t frames, std::size_t stride) {
  std::size_t done = 0;
  while (done < frames) {
    // Up to the next step of the level, with the state in locals: this loop
    // sees every sample of the recording.
    const std::size_t run = std::min(frames - done, static_cast<std::size_t>(kStepFrames - stepCount_));
    const auto lower = static_cast<float>(lower_);
    const auto upper = static_cast<float>(upper_);
    const auto centre = static_cast<float>(centre_);
    // The level's slow measures need only every few samples.
    double sum = 0;
    double peak = stepPeak_;
    const std::size_t first = static_cast<std::size_t>((kStatStride - stepCount_ % kStatStride) % kStatStride);
    const float* const from = samples + done * stride;
    for (std::size_t k = first; k < run; k += kStatStride) {
      const float x = from[k * stride];
      sum += x;
      peak = std::max(peak, static_cast<double>(std::fabs(x - centre)));
    }
    // Where the line is beyond the threshold it takes that side; between the
    // two it keeps the side it had. So only a sample beyond the other side's
    // threshold is a change, and each search below is a tight loop that runs
    // to the next one. Changes within the time the loader ignores after
    // taking one matter only for the side the line is on when that time is
    // over, so the search starts again only there: the side then is that of
    // the last sample beyond a threshold before it, found looking back.
    const auto sideBefore = [&](std::size_t end, std::size_t floor, int fallback) {
      for (std::size_t i = end; i > floor; --i) {
        const float x = from[(i - 1) * stride];
        if (x > upper) return kHigh;
        if (x < lower) return kLow;
      }
      return fallback;
    };
    // Where in this run the loader looks at the line again, from `at` on.
    const auto looksAgain = [&](std::size_t at) {
      const std::int64_t again = watchFrom_ - position_;
      if (again <= static_cast<std::int64_t>(at)) return at;
      return static_cast<std::size_t>(std::min(again, static_cast<std::int64_t>(run)));
    };
    std::size_t k = looksAgain(0);
    int level = sideBefore(k, 0, level_);
    if (level == kUnknown) {
      // The first sample beyond a threshold sets the side: not a change.
      while (k < run && !(from[k * stride] > upper) && !(from[k * stride] < lower)) ++k;
      if (k < run) level = from[k * stride] > upper ? kHigh : kLow;
    }
    while (level != kUnknown && k < run) {
      if (level == kHigh) {
        while (k < run && !(from[k * stride] < lower)) ++k;
      } else {
        while (k < run && !(from[k * stride] > upper)) ++k;
      }
      if (k == run) break;
      const float x = from[k * stride];
      const float before = k > 0 ? from[(k - 1) * stride] : previous_;
      // Between the two samples, where the line passed the threshold.
      const double edge = level == kHigh ? lower : upper;
      const double fraction = x == before ? 1.0 : (edge - before) / (static_cast<double>(x) - before);
      OnChange(static_cast<double>(position_ + static_cast<std::int64_t>(k)) - 1 + std::clamp(fraction, 0.0, 1.0));
      level = level == kHigh ? kLow : kHigh;
      const std::size_t again = looksAgain(k);
      level = sideBefore(again, k + 1, level);
      k = again;
    }
    level_ = level;
    previous_ = from[(run - 1) * stride];
    stepSum_ += sum;
    stepPeak_ = peak;
    stepCount_ += static_cast<int>(run);
    position_ += static_cast<std::int64_t>(run);
    done += run;
    if (stepCount_ == kStepFrames) FollowLevel();
  }
  Prune();
}

void LoaderWatch::FollowLevel() {
  centre_ = centreDecay_ * centre_ + (1 - centreDecay_) * stepSum_ * kStatStride / kStepFrames;
  envelope_ = std::max(stepPeak_, envelopeDecay_ * envelope_);
  const double threshold = std::max(kThresholdShare * envelope_, kQuietest);
  lower_ = centre_ - threshold;
  upper_ = centre_ + threshold;
  stepSum_ = 0;
  stepPeak_ = 0;
  stepCount_ = 0;
}

void LoaderWatch::OnChange(double frame) {
  const bool fresh = !lastChange_ || frame - *lastChange_ > silenceFrames_;
  lastChange_ = frame;
  double takenAt = frame;
  if (fresh) {
    armedAt_.push_back(frame);
    taken_.push_back({frame, false});
  } else if (frame < ignoredUntil_) {
    return;
  } else if (frame < readyAt_) {
    takenAt = readyAt_;
    taken_.push_back({takenAt, true});
  } else {
    taken_.push_back({frame, false});
  }
  ignoredUntil_ = takenAt + ignoredFrames_;
  readyAt_ = ignoredUntil_ + reactionFrames_;
  // A change at this sample or later may lie at or past the ignored time.
  watchFrom_ = static_cast<std::int64_t>(std::floor(ignoredUntil_));
}

void LoaderWatch::Prune() {
  const double oldest = static_cast<double>(position_) - keepFrames_;
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
  const double cell = 2 * halfCell / sampleRate_ * 1e6;
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
