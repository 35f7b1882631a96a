// Leader acquisition and half-cell tracking.
//
// Acquisition: the leader is a square wave whose period is one cell and
// which is its own negative half a period later. Every so often the recent
// signal is correlated with itself over the range of cell lengths that tape
// speeds from 0.6 to 1.45 give; a strong correlation at one cell with a
// strong anti-correlation at half of it is a leader. Noise limited in band
// can pass that test for a few cycles, so until a sync byte is found the
// track must go on showing a leader, a change at nearly every boundary,
// each the other way from the one before; otherwise it is dropped and the
// search goes on.
//
// Dropouts: within a record, when the middles stop showing changes the
// track coasts on at the half-cell measured before, bit by bit, so that the
// bytes keep their count; where changes come back near the expected middles
// the track is moved onto them. Equal bits for as long as a leader after
// that are the next record, and the one being read ended at the dropout.
//
// Tracking: at each expected boundary the change across it is measured over
// a whole half-cell on each side (the decision value). Where there is a
// change, the signal integrated over a quarter cell centred on the boundary
// is zero when the boundary is on time, and grows with the timing error; a
// second-order loop corrects the position and the half-cell length. That
// narrow measure never reaches the neighbouring boundaries, so whether they
// carry a change does not bias it.
#include "reader/cell_timing.h"

#include <algorithm>
#include <cmath>

#include "tape/tape_format.h"

namespace reader {

namespace {

constexpr double kSlowestSpeed = 0.6;
constexpr double kFastestSpeed = 1.45;
constexpr double kAcquireHalfCells = 48;
constexpr double kAcquireHopHalfCells = 16;
// The search for a leader looks at every so many samples, this many to a
// half-cell or more: plenty for a square wave, and cheap at high rates.
constexpr double kSamplesPerAcquireStep = 8;
constexpr double kLeaderCorrelation = 0.45;
constexpr double kLeaderAntiCorrelation = -0.3;
// Below this mean power (about -80 dBFS) there is nothing to acquire.
constexpr double kSilencePower = 1e-8;

// The loop's gains per boundary judged, every half-cell (a leader) or every
// cell (a record). Within a record they follow flutter of 3 % at 15 Hz
// while reading through white noise as strong as the signal; higher gains
// follow faster flutter but lose the weakest signals sooner.
constexpr double kPhaseGain[] = {0.2, 0.2};
constexpr double kFrequencyGain[] = {0.02, 0.012};
constexpr double kAmplitudeGain = 0.02;
// A boundary counts as carrying a change above this share of a full one.
constexpr double kChangeShare = 0.5;
// A boundary below this share of a full change shows no cells at all.
constexpr double kWeakShare = 0.25;
// Judging every boundary, the cells have ended after this many weak pairs in
// a row. Judging only the middles (within a record), this many weak middles
// in a row begin a dropout: the track coasts on (the tape lifting off the
// head, a crease or a burst of noise may end), and is given up only after
// so long without cells.
constexpr int kWeakPairsToLose = 8;
constexpr int kWeakMiddlesToCoast = 4;
constexpr double kLongestCoastSeconds = 3.0;
// Among the zeros before a header's second sync byte, where a leader that
// follows could not be told from them, a dropout is waited out only this
// long: a record whose signal stops there and another that begins soon
// after are not run together.
constexpr double kLongestCoastInZerosSeconds = 0.5;
// The cells count as back when this many middles in a row, at the best
// phase near where the coasting timing puts them, show on average at least
// this share of a full change: a signal back at a lower level is taken up
// too, noise weaker than that is not.
constexpr int kRelockCells = 8;
constexpr double kRelockShare = 0.4;
constexpr int kRelockSteps = 6;  // phases tried on either side, an eighth of a half-cell apart
// After the cells come back, this many equal bits in a row are no record's
// data worth the risk: they are the leader of the next record.
constexpr int kLeaderRunAfterDropout = 64;
// Watched for this long after the cells come back: the silence or noise
// before a leader may take some cells to leave.
constexpr int kLeaderWatchCells = 256;
// While a leader is sought, the track is checked every so many boundaries:
// on a leader nearly every one changes, the other way from the one before.
// Noise can pass the search for a leader (band-limited noise looks much
// like a square wave over a few cycles), and a track following noise never
// sees the weak boundaries that end it; left alone it would run on into
// the next record at the wrong rate and hide its leader. Below this share
// of alternating changes the track is dropped and the search goes on.
constexpr int kLeaderCheckBoundaries = 64;
constexpr double kLeaderAlternatingShare = 0.6;

}  // namespace

std::size_t CellTiming::FramesNeeded(double sampleRate) {
  const double nominal = kHalfCellSamples * sampleRate / kRecordingSampleRate;
  return static_cast<std::size_t>(
             std::ceil((kAcquireHalfCells + 8) * nominal / kSlowestSpeed)) + 16;
}

CellTiming::CellTiming(double sampleRate)
    : nominalHalfCell_(kHalfCellSamples * sampleRate / kRecordingSampleRate),
      shortestHalfCell_(nominalHalfCell_ / kFastestSpeed),
      longestHalfCell_(nominalHalfCell_ / kSlowestSpeed),
      acquireWindow_(static_cast<std::int64_t>(kAcquireHalfCells * nominalHalfCell_)),
      acquireHop_(std::max<std::int64_t>(
          1, static_cast<std::int64_t>(kAcquireHopHalfCells * nominalHalfCell_))),
      acquireStep_(std::max(1, static_cast<int>(nominalHalfCell_ / kSamplesPerAcquireStep))),
      coastLimit_(kLongestCoastSeconds * sampleRate),
      coastLimitInZeros_(kLongestCoastInZerosSeconds * sampleRate) {}

bool CellTiming::Next(const SignalWindow& window, TimingEvent& event) {
  if (!tracking_) TryToAcquire(window);
  if (!tracking_) return false;
  if (coasting_ && !TryToRelock(window)) return false;
  if (!window.Holds(next_ - halfCell_, next_ + halfCell_ + 1)) return false;
  FollowTrack(window, event);
  return true;
}

void CellTiming::SetStride(int halfCells) {
  if (halfCells == stride_) return;
  // The boundary after the one just given lies half a cell on; with whole
  // cells, the one after that.
  if (tracking_) next_ += (halfCells - stride_) * halfCell_;
  stride_ = halfCells;
  weakRun_ = 0;
  checked_ = 0;
  alternating_ = 0;
  previousEdge_ = 0;
  coasting_ = false;
  equalRun_ = -1;
}

// A track carried on into the next leader could sit where the loop never
// pulls it in: a few samples off the leader's boundaries, each still shows
// part of a change, enough for a leader's alternation but not enough for
// the loop to measure the timing from, nor for a bit to be read clearly.
void CellTiming::EndTrack(double frame) {
  if (!tracking_) return;
  tracking_ = false;
  coasting_ = false;
  equalRun_ = -1;
  followedUpTo_ = std::max(followedUpTo_, frame);
  // The first look takes the stretch from there on: a leader that follows
  // at once is found, and where it began told, as early as can be.
  lastLook_ = static_cast<std::int64_t>(std::ceil(followedUpTo_)) + acquireWindow_ + LongestLag() +
              Margin() - acquireHop_;
}

bool CellTiming::TryToRelock(const SignalWindow& window) {
  const double step = halfCell_ / 8;
  const double reach = kRelockSteps * step;
  const double span = 2 * halfCell_ * (kRelockCells - 1);
  if (!window.Holds(next_ - reach - halfCell_, next_ + reach + span + halfCell_ + 1)) return false;
  if (std::fabs(window.Change(next_, halfCell_)) < kWeakShare * amplitude_ &&
      std::fabs(window.Change(next_ + 2 * halfCell_, halfCell_)) < kWeakShare * amplitude_) {
    return true;  // nothing back yet: coast on
  }
  double bestScore = 0;
  double bestShift = 0;
  for (int k = -kRelockSteps; k <= kRelockSteps; ++k) {
    const double shift = k * step;
    double score = 0;
    for (int cell = 0; cell < kRelockCells; ++cell) {
      score += std::fabs(window.Change(next_ + shift + 2 * halfCell_ * cell, halfCell_));
    }
    // Nearer the expected phase wins a tie: a run of equal bits shows
    // changes half a cell away as well.
    if (score > bestScore + 1e-9 * amplitude_) {
      bestScore = score;
      bestShift = shift;
    } else if (score >= bestScore - 1e-9 * amplitude_ && std::fabs(shift) < std::fabs(bestShift)) {
      bestShift = shift;
    }
  }
  if (bestScore < kRelockShare * amplitude_ * kRelockCells) return true;
  next_ += bestShift;
  coasting_ = false;
  weakRun_ = 0;
  pendingError_ = 0;
  equalRun_ = equalBitsExpected_ ? -1 : 0;
  cellsSinceRelock_ = 0;
  return true;
}

// Both the middle and the boundary before it change where two equal bits
// meet, and only there.
bool CellTiming::LooksLikeALeader(const SignalWindow& window, double frame, double magnitude) {
  const bool equal = magnitude > kChangeShare * amplitude_ &&
                     std::fabs(window.Change(frame - halfCell_, halfCell_)) > kChangeShare * amplitude_;
  equalRun_ = equal ? equalRun_ + 1 : 0;
  if (++cellsSinceRelock_ > kLeaderWatchCells) equalRun_ = -1;
  return equalRun_ >= kLeaderRunAfterDropout;
}

// A sample less the mean of the cell around it: a leader's square wave
// passes unchanged, while hum and drift, which would look alike at every
// lag, are gone.
double CellTiming::Centred(const SignalWindow& window, std::int64_t frame) const {
  const double middle = static_cast<double>(frame) + 0.5;
  return window.Sample(frame) -
         window.Integral(middle - nominalHalfCell_, middle + nominalHalfCell_) / (2 * nominalHalfCell_);
}

double CellTiming::Correlation(int lag) const {
  // About each stretch's own mean, so an offset does not look like a
  // likeness.
  const std::size_t count = centred_.size() - static_cast<std::size_t>(LongestLag());
  double sumA = 0, sumB = 0, cross = 0, first = 0, second = 0;
  double n = 0;
  for (std::size_t i = 0; i < count; i += static_cast<std::size_t>(acquireStep_), ++n) {
    const double a = centred_[i];
    const double b = centred_[i + static_cast<std::size_t>(lag)];
    sumA += a;
    sumB += b;
    cross += a * b;
    first += a * a;
    second += b * b;
  }
  cross -= sumA * sumB / n;
  first -= sumA * sumA / n;
  second -= sumB * sumB / n;
  const double energy = std::sqrt(first * second);
  return energy > 0 ? cross / energy : 0;
}

CellTiming::Lag CellTiming::BestPeriod() const {
  const int shortest = std::max(2, static_cast<int>(std::floor(2 * shortestHalfCell_)));
  const int longest = static_cast<int>(std::ceil(2 * longestHalfCell_));
  auto at = [&](int lag) { return Correlation(lag); };
  // Coarsely first, a step of samples apart; then every lag around the best.
  int coarse = shortest;
  double coarseBest = -2;
  for (int lag = shortest; lag <= longest; lag += acquireStep_) {
    const double correlation = at(lag);
    if (correlation > coarseBest) {
      coarseBest = correlation;
      coarse = lag;
    }
  }
  Lag best;
  int bestLag = coarse;
  for (int lag = std::max(shortest, coarse - acquireStep_ + 1);
       lag <= std::min(longest, coarse + acquireStep_ - 1); ++lag) {
    const double correlation = lag == coarse ? coarseBest : at(lag);
    if (correlation > best.correlation) {
      best.correlation = correlation;
      bestLag = lag;
    }
  }
  // The peak between whole lags, from a parabola through the three around it.
  const double before = at(bestLag - 1);
  const double after = at(bestLag + 1);
  const double curve = before - 2 * best.correlation + after;
  const double shift = curve < 0 ? 0.5 * (before - after) / curve : 0;
  best.lag = bestLag + std::clamp(shift, -0.5, 0.5);
  return best;
}

double CellTiming::StrongestEdgeNear(const SignalWindow& window, double from,
                                     double halfCell) const {
  // A whole cell holds a boundary of either kind; a sixteenth of a
  // half-cell is near enough for the loop to take over.
  const int steps = 32;
  double bestFrame = from;
  double bestMagnitude = -1;
  for (int step = 0; step < steps; ++step) {
    const double frame = from + 2 * halfCell * step / steps;
    const double magnitude = std::fabs(window.Change(frame, halfCell));
    if (magnitude > bestMagnitude) {
      bestMagnitude = magnitude;
      bestFrame = frame;
    }
  }
  return bestFrame;
}

// Following the changes back from `edge` for as far as the window reaches:
// the leader was found some way into it.
double CellTiming::CellsBeganAt(const SignalWindow& window, double edge) const {
  double frame = edge;
  while (window.Holds(frame - 2 * halfCell_, frame) &&
         std::fabs(window.Change(frame - halfCell_, halfCell_)) > kChangeShare * amplitude_) {
    frame -= halfCell_;
  }
  return std::max(0.0, frame - halfCell_);
}

// Looks for a leader in every stretch the window has gained since the last
// look, a hop apart, oldest first: as little of a short leader as possible
// goes by before it is found.
void CellTiming::TryToAcquire(const SignalWindow& window) {
  const std::int64_t earliest = window.Begin() + acquireWindow_ + LongestLag() + 2 * Margin();
  for (std::int64_t look = std::max(lastLook_ + acquireHop_, earliest); look <= window.End();
       look += acquireHop_) {
    lastLook_ = look;
    if (AcquireBefore(window, look)) return;
  }
}

std::int64_t CellTiming::LongestLag() const {
  return static_cast<std::int64_t>(std::ceil(2 * longestHalfCell_)) + 2;
}

// Room on either side of the frames looked at, for the means they are
// centred on.
std::int64_t CellTiming::Margin() const {
  return static_cast<std::int64_t>(std::ceil(nominalHalfCell_)) + 2;
}

bool CellTiming::AcquireBefore(const SignalWindow& window, std::int64_t end) {
  const std::int64_t from = end - acquireWindow_ - LongestLag() - Margin();
  // A track once lost is not taken up again from what it has already
  // followed.
  if (static_cast<double>(from) < followedUpTo_) return false;

  double sum = 0;
  double squares = 0;
  for (std::int64_t i = from; i < from + acquireWindow_; ++i) {
    sum += window.Sample(i);
    squares += static_cast<double>(window.Sample(i)) * window.Sample(i);
  }
  const double n = static_cast<double>(acquireWindow_);
  if (squares / n - (sum / n) * (sum / n) < kSilencePower) return false;

  centred_.clear();
  for (std::int64_t i = from; i < from + acquireWindow_ + LongestLag(); ++i) {
    centred_.push_back(Centred(window, i));
  }
  const Lag period = BestPeriod();
  if (period.correlation < kLeaderCorrelation) return false;
  const int half = static_cast<int>(std::lround(period.lag / 2));
  if (Correlation(half) > kLeaderAntiCorrelation) return false;

  // Start on a boundary in the middle of the window: the leader may have
  // begun inside it, and its size is best judged where it surely is.
  halfCell_ = period.lag / 2;
  const double middle = static_cast<double>(from + acquireWindow_ / 2);
  const double edge = StrongestEdgeNear(window, middle, halfCell_);
  amplitude_ = std::fabs(window.Change(edge, halfCell_));
  if (amplitude_ <= 0) return false;
  next_ = edge;
  stride_ = 1;
  lastStrongFrame_ = edge;
  pendingError_ = 0;
  trackFrom_ = CellsBeganAt(window, edge);
  tracking_ = true;
  coasting_ = false;
  equalRun_ = -1;
  trackStarting_ = true;
  weakRun_ = 0;
  lastEdgeMagnitude_ = amplitude_;
  checked_ = 0;
  alternating_ = 0;
  previousEdge_ = 0;
  return true;
}

bool CellTiming::ShowsALeader(double edge, double magnitude) {
  if (magnitude > kWeakShare * amplitude_ && edge * previousEdge_ < 0) ++alternating_;
  previousEdge_ = edge;
  if (++checked_ < kLeaderCheckBoundaries) return true;
  const bool leader = alternating_ >= kLeaderAlternatingShare * kLeaderCheckBoundaries;
  checked_ = 0;
  alternating_ = 0;
  return leader;
}

// Every cell has a change in its middle. Judging every boundary, two weak
// ones in a row never happen while cells go on; judging only middles, no
// weak one does.
bool CellTiming::CellsHaveEnded(double frame, double magnitude) {
  const bool weak = magnitude < kWeakShare * amplitude_;
  if (!weak) lastStrongFrame_ = frame;
  if (stride_ == 1) {
    weakRun_ = weak && lastEdgeMagnitude_ < kWeakShare * amplitude_ ? weakRun_ + 1 : 0;
    lastEdgeMagnitude_ = magnitude;
    return weakRun_ >= kWeakPairsToLose;
  }
  weakRun_ = weak ? weakRun_ + 1 : 0;
  if (weakRun_ >= kWeakMiddlesToCoast && !coasting_) {
    coasting_ = true;
    coastFrom_ = lastStrongFrame_;
  }
  return coasting_ && frame - coastFrom_ > (equalBitsExpected_ ? coastLimitInZeros_ : coastLimit_);
}

void CellTiming::FollowTrack(const SignalWindow& window, TimingEvent& event) {
  const double frame = next_;
  const SignalWindow::Halves halves = window.Around(frame, halfCell_);
  const double edge = halves.before - halves.after;
  const double magnitude = std::fabs(edge);

  double error = 0;
  if (magnitude > kChangeShare * amplitude_ && !coasting_) {
    // Over a quarter cell centred on the boundary, a change that comes late
    // leaves more of the old level than of the new, in proportion to how
    // late it is. Measured about the mean of the half-cells on either side,
    // so that an offset or hum does not pass for lateness.
    const double reach = halfCell_ / 4;
    const double offset = (halves.before + halves.after) / 4;
    const double balance = window.Integral(frame - reach, frame + reach) - offset;
    // The scale is divided out before the sums are in, so that the division
    // does not wait for them. A fall and a rise come as often as ones and
    // zeros do, unpredictably: the direction goes in as a sign, not a branch.
    const double scale = halfCell_ / amplitude_;
    const double late = balance * std::copysign(scale, edge);
    error = std::clamp(late, -reach, reach);
    amplitude_ += kAmplitudeGain * (magnitude - amplitude_);
  }

  if (equalRun_ >= 0 && LooksLikeALeader(window, frame, magnitude)) {
    // What came back after the dropout is the next record: the one being
    // read ended where the dropout began, and the leader is searched for
    // from where the cells came back.
    tracking_ = false;
    followedUpTo_ = frame - 2 * halfCell_ * kLeaderRunAfterDropout - halfCell_;
    lastLook_ = static_cast<std::int64_t>(followedUpTo_);
    event = TimingEvent{};
    event.kind = TimingEvent::Kind::kLost;
    event.frame = coastFrom_ + halfCell_;
    equalRun_ = -1;
    return;
  }
  if (stride_ == 1 && !ShowsALeader(edge, magnitude)) {
    tracking_ = false;
    followedUpTo_ = frame;
    event = TimingEvent{};
    event.kind = TimingEvent::Kind::kLost;
    event.frame = frame;
    return;
  }
  if (CellsHaveEnded(frame, magnitude)) {
    // The cells ended after the last boundary that still showed them.
    tracking_ = false;
    followedUpTo_ = frame;
    event = TimingEvent{};
    event.kind = TimingEvent::Kind::kLost;
    event.frame = (coasting_ ? coastFrom_ : lastStrongFrame_) + halfCell_;
    coasting_ = false;
    return;
  }

  event.kind = TimingEvent::Kind::kBoundary;
  event.frame = frame;
  event.edge = edge;
  event.amplitude = amplitude_;
  event.halfCell = halfCell_;
  event.trackStart = trackStarting_;
  event.trackFrom = trackFrom_;
  trackStarting_ = false;

  // The correction measured here is applied one boundary late: the next
  // boundary's measures then need not wait for this one's, and reading runs
  // much faster. The loop's gains are small enough for the delay not to
  // matter to it.
  const int gains = stride_ - 1;
  halfCell_ = std::clamp(halfCell_ + kFrequencyGain[gains] * pendingError_, shortestHalfCell_,
                         longestHalfCell_);
  next_ = frame + stride_ * halfCell_ + kPhaseGain[gains] * pendingError_;
  pendingError_ = error;
}

}  // namespace reader
