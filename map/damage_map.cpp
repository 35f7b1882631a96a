// Drawing the damage map. Every layer is reduced to the picture's pixel
// columns before it is written, so the document's size depends on the
// picture's width and the number of records, not on the recording's length.
#include "map/damage_map.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "map/svg_writer.h"

namespace tape_map {

namespace {

// The layout, in pixels.
constexpr double kWidth = 1200;
constexpr double kLeft = 130;  // room for the strips' names
constexpr double kRight = 20;
constexpr double kPlot = kWidth - kLeft - kRight;
constexpr double kHeadHeight = 74;
constexpr double kTitleHeight = 22;
constexpr double kLevelHeight = 56;
constexpr double kBandHeight = 34;
constexpr double kConfidenceHeight = 44;
constexpr double kSpeedHeight = 36;
constexpr double kAxisHeight = 24;
constexpr double kPanelGap = 14;
constexpr double kPanelHeight =
    kTitleHeight + kLevelHeight + kBandHeight + kConfidenceHeight + kSpeedHeight + kAxisHeight + kPanelGap;

std::size_t Lanes(const MapRecording& recording) { return std::max<std::size_t>(1, recording.lanes.size()); }

// A panel grows by a records row for each lane past the first.
double PanelHeight(const MapRecording& recording) {
  return kPanelHeight + kBandHeight * static_cast<double>(Lanes(recording) - 1);
}

double PanelsHeight(const std::vector<MapRecording>& recordings) {
  double height = 0;
  for (const MapRecording& recording : recordings) height += PanelHeight(recording);
  return recordings.empty() ? kPanelHeight : height;
}

// Bytes per speed reading: long enough to smooth the cells' jitter, short
// enough to follow wow.
constexpr std::size_t kSpeedWindowBytes = 16;
// A reading this far from the record's median speed is drift.
constexpr double kDriftFraction = 0.02;
// The speed strip spans the median plus or minus this.
constexpr double kSpeedSpan = 0.06;

// Black and white first: each status has its own pattern, and every band
// says its status in words besides; the colours only help on a screen.
constexpr const char* kStyle =
    "<style>\n"
    "text{font-family:DejaVu Sans,Arial,Helvetica,sans-serif;font-size:11px;fill:#000}\n"
    ".heading{font-size:15px;font-weight:bold}\n"
    ".title{font-size:13px;font-weight:bold}\n"
    ".strip-name{fill:#333}\n"
    ".frame{fill:none;stroke:#999;stroke-width:0.5}\n"
    ".level{fill:#777;stroke:none}\n"
    ".zero{stroke:#bbb;stroke-width:0.5}\n"
    ".band{stroke:#000;stroke-width:1}\n"
    ".band.cut-short{stroke-dasharray:4 2}\n"
    ".band.unread{stroke-dasharray:1 2}\n"
    ".band-label{font-size:10px}\n"
    ".threshold{stroke:#000;stroke-width:0.6;stroke-dasharray:2 2}\n"
    ".confidence-line{fill:none;stroke:#1f4e9c;stroke-width:1}\n"
    ".doubtful{fill:#d00000;stroke:#000;stroke-width:0.6}\n"
    ".doubtful-span{fill:#d00000;fill-opacity:0.35;stroke:none}\n"
    ".speed-line{fill:none;stroke:#555;stroke-width:1}\n"
    ".drift{fill:none;stroke:#000;stroke-width:3}\n"
    ".nominal{stroke:#999;stroke-width:0.5;stroke-dasharray:3 3}\n"
    ".load-problem{stroke:#000;stroke-width:1.2;stroke-dasharray:5 2 1 2}\n"
    ".load-glyph{font-size:13px;font-weight:bold}\n"
    ".tick{stroke:#000;stroke-width:0.6}\n"
    ".supplied{fill:#fff;stroke:#000;stroke-width:1}\n"
    "</style>\n";

// Hatching made of lines, so that it prints in one ink.
constexpr const char* kPatterns =
    "<defs>\n"
    "<pattern id=\"fill-sound\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
    "<rect width=\"6\" height=\"6\" fill=\"#d8efd8\"/></pattern>\n"
    "<pattern id=\"fill-combined\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
    "<rect width=\"6\" height=\"6\" fill=\"#d6e4f7\"/>"
    "<path d=\"M0,6 L6,0\" stroke=\"#000\" stroke-width=\"0.7\"/></pattern>\n"
    "<pattern id=\"fill-repaired\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
    "<rect width=\"6\" height=\"6\" fill=\"#fbf0c4\"/>"
    "<path d=\"M0,6 L6,0 M0,0 L6,6\" stroke=\"#000\" stroke-width=\"0.6\"/></pattern>\n"
    "<pattern id=\"fill-damaged\" width=\"4\" height=\"4\" patternUnits=\"userSpaceOnUse\">"
    "<rect width=\"4\" height=\"4\" fill=\"#f5b5b5\"/>"
    "<path d=\"M0,0 L4,4\" stroke=\"#000\" stroke-width=\"1\"/></pattern>\n"
    "<pattern id=\"fill-cut-short\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
    "<rect width=\"6\" height=\"6\" fill=\"#e4e4e4\"/>"
    "<circle cx=\"3\" cy=\"3\" r=\"1.1\" fill=\"#000\"/></pattern>\n"
    "<pattern id=\"fill-unread\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\">"
    "<rect width=\"6\" height=\"6\" fill=\"#ffffff\"/>"
    "<path d=\"M0,3 H6\" stroke=\"#000\" stroke-width=\"0.7\"/></pattern>\n"
    "</defs>\n";

std::string Fill(BandStatus status) { return std::string("url(#fill-") + StatusClass(status) + ")"; }

// m:ss for the axis.
std::string AxisTime(double seconds) {
  const long whole = std::lround(seconds);
  const long minutes = whole / 60;
  const long rest = whole % 60;
  return std::to_string(minutes) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
}

std::string Fixed(double value, int decimals, char point) {
  std::string text = Number(value, decimals);
  if (text.find('.') == std::string::npos) text += ".";
  const std::size_t dot = text.find('.');
  while (static_cast<int>(text.size() - dot - 1) < decimals) text += '0';
  text[dot] = point;
  return text;
}

// A triangle pointing down at (x, y): the doubtful mark.
std::string Triangle(double x, double y) {
  return "M" + Number(x) + "," + Number(y) + " l-4,-7 h8 z";
}

class Drawer {
 public:
  Drawer(const std::vector<MapRecording>& recordings, const MapLabels& labels)
      : recordings_(recordings),
        labels_(labels),
        svg_(kWidth, kHeadHeight + PanelsHeight(recordings)) {
    double longest = 1;
    for (const MapRecording& recording : recordings) {
      longest = std::max(longest, recording.seconds);
      for (const MapRecord& record : recording.records) longest = std::max(longest, record.toSeconds);
      for (const MapUnread& unread : recording.unread) longest = std::max(longest, unread.toSeconds);
    }
    pixelsPerSecond_ = kPlot / longest;
    longest_ = longest;
  }

  std::string Draw() {
    svg_.Raw(kStyle);
    svg_.Raw(kPatterns);
    svg_.Element("rect", {{"width", Number(kWidth)}, {"height", "100%"}, {"fill", "#fff"}});
    Head();
    double top = kHeadHeight;
    for (std::size_t i = 0; i < recordings_.size(); ++i) {
      Panel(recordings_[i], i, top);
      top += PanelHeight(recordings_[i]);
    }
    return svg_.Finish();
  }

 private:
  double X(double seconds) const { return kLeft + seconds * pixelsPerSecond_; }
  // The pixel column of a time, from 0.
  long Column(double seconds) const {
    return std::clamp(static_cast<long>(std::floor(seconds * pixelsPerSecond_)), 0L, static_cast<long>(kPlot) - 1);
  }

  void Text(double x, double y, const std::string& text, const std::string& cls = {}, const char* anchor = nullptr) {
    Attributes attributes = {{"x", Number(x)}, {"y", Number(y)}};
    if (!cls.empty()) attributes.push_back({"class", cls});
    if (anchor != nullptr) attributes.push_back({"text-anchor", anchor});
    svg_.TextElement("text", attributes, text);
  }

  // The heading and the legend: a swatch and word for each status, and the
  // marks the panels use.
  void Head() {
    Text(kLeft, 20, labels_.heading, "heading");
    svg_.Open("g", {{"class", "legend"}});
    double x = kLeft;
    for (std::size_t i = 0; i < kBandStatusCount; ++i) {
      const auto status = static_cast<BandStatus>(i);
      svg_.Element("rect", {{"class", std::string("band ") + StatusClass(status)},
                            {"x", Number(x)}, {"y", "32"}, {"width", "22"}, {"height", "12"},
                            {"fill", Fill(status)}});
      Text(x + 27, 42, labels_.status[i]);
      x += 37 + 6.5 * static_cast<double>(labels_.status[i].size());
    }
    svg_.Element("rect", {{"class", "band unread"}, {"x", Number(x)}, {"y", "32"}, {"width", "22"},
                          {"height", "12"}, {"fill", "url(#fill-unread)"}});
    Text(x + 27, 42, labels_.unread);
    x = kLeft;
    svg_.Element("path", {{"class", "doubtful"}, {"d", Triangle(x + 6, 66)}});
    Text(x + 16, 66, labels_.doubtful);
    x += 30 + 6.5 * static_cast<double>(labels_.doubtful.size());
    svg_.Element("line", {{"class", "drift"}, {"x1", Number(x)}, {"y1", "62"}, {"x2", Number(x + 22)}, {"y2", "62"}});
    Text(x + 27, 66, labels_.drift);
    x += 40 + 6.5 * static_cast<double>(labels_.drift.size());
    svg_.Element("line", {{"class", "load-problem"}, {"x1", Number(x + 6)}, {"y1", "54"}, {"x2", Number(x + 6)}, {"y2", "70"}});
    Text(x + 6, 66, "\xE2\x9C\x95", "load-glyph", "middle");  // U+2715, a cross
    Text(x + 16, 66, labels_.wouldNotLoad);
    x += 30 + 6.5 * static_cast<double>(labels_.wouldNotLoad.size());
    svg_.Element("rect", {{"class", "supplied"}, {"x", Number(x)}, {"y", "59"}, {"width", "22"}, {"height", "5"}});
    Text(x + 27, 66, labels_.supplied);
    svg_.Close();
  }

  void Panel(const MapRecording& recording, std::size_t index, double top) {
    svg_.Open("g", {{"class", "panel"},
                    {"data-recording", std::to_string(index)},
                    {"data-left", Number(kLeft)},
                    {"data-seconds-per-unit", Number(1 / pixelsPerSecond_, 9)},
                    {"data-seconds", Number(recording.seconds, 3)}});
    Text(kLeft, top + 15, recording.title, "title");
    double y = top + kTitleHeight;
    levelTop_ = y;
    Strip(y, kLevelHeight, labels_.level);
    Levels(recording, y);
    y += kLevelHeight;
    bandTop_ = y;
    for (std::size_t lane = 0; lane < Lanes(recording); ++lane) {
      Strip(y, kBandHeight, recording.lanes.empty() ? labels_.records : recording.lanes[lane]);
      y += kBandHeight;
    }
    confidenceTop_ = y;
    Strip(y, kConfidenceHeight, labels_.confidence);
    svg_.Element("line", {{"class", "threshold"},
                          {"x1", Number(kLeft)}, {"x2", Number(kLeft + kPlot)},
                          {"y1", Number(ConfidenceY(kDoubtfulConfidence))},
                          {"y2", Number(ConfidenceY(kDoubtfulConfidence))}});
    y += kConfidenceHeight;
    speedTop_ = y;
    Strip(y, kSpeedHeight, labels_.speed);
    y += kSpeedHeight;
    Axis(y);
    if (recording.records.empty() && recording.unread.empty())
      Text(kLeft + kPlot / 2, bandTop_ + 21, labels_.noRecords, "band-label", "middle");
    for (const MapUnread& unread : recording.unread) Unread(unread);
    markXs_.clear();
    for (const MapRecord& record : recording.records)
      for (const LoadMark& mark : record.loadMarks) markXs_.push_back(X(mark.seconds));
    std::sort(markXs_.begin(), markXs_.end());
    for (std::size_t i = 0; i < recording.records.size(); ++i) Record(recording.records[i], i, Lanes(recording));
    svg_.Close();
  }

  void Strip(double y, double height, const std::string& name) {
    svg_.Element("rect", {{"class", "frame"}, {"x", Number(kLeft)}, {"y", Number(y)},
                          {"width", Number(kPlot)}, {"height", Number(height)}});
    Text(kLeft - 8, y + height / 2 + 4, name, "strip-name", "end");
  }

  // The envelope: the lowest and highest sample of each pixel column.
  void Levels(const MapRecording& recording, double top) {
    const double middle = top + kLevelHeight / 2;
    const double half = kLevelHeight / 2 - 2;
    svg_.Element("line", {{"class", "zero"}, {"x1", Number(kLeft)}, {"x2", Number(kLeft + kPlot)},
                          {"y1", Number(middle)}, {"y2", Number(middle)}});
    if (recording.levels.empty() || recording.secondsPerLevel <= 0) return;
    std::vector<LevelSpan> columns(static_cast<std::size_t>(kPlot));
    std::vector<bool> filled(columns.size(), false);
    long last = -1;
    for (std::size_t i = 0; i < recording.levels.size(); ++i) {
      const long column = Column((static_cast<double>(i) + 0.5) * recording.secondsPerLevel);
      const auto c = static_cast<std::size_t>(column);
      const LevelSpan& level = recording.levels[i];
      if (!filled[c]) {
        columns[c] = level;
        filled[c] = true;
      } else {
        columns[c].low = std::min(columns[c].low, level.low);
        columns[c].high = std::max(columns[c].high, level.high);
      }
      last = std::max(last, column);
    }
    // Columns between coarse levels take their left neighbour's.
    for (std::size_t c = 1; c <= static_cast<std::size_t>(last); ++c) {
      if (!filled[c]) columns[c] = columns[c - 1];
    }
    const auto levelY = [&](float value) {
      return middle - half * static_cast<double>(std::clamp(value, -1.0f, 1.0f));
    };
    std::string upper, lower;
    for (std::size_t c = 0; c <= static_cast<std::size_t>(last); ++c) {
      // Each column is a pixel wide, so that a lone spike still shows.
      const double x0 = kLeft + static_cast<double>(c);
      const double high = std::min(levelY(columns[c].high), middle - 0.5);
      upper += (c == 0 ? "M" : " L") + Number(x0) + "," + Number(high) + " L" + Number(x0 + 1) + "," + Number(high);
    }
    for (long c = last; c >= 0; --c) {
      const double x0 = kLeft + static_cast<double>(c);
      const double low = std::max(levelY(columns[static_cast<std::size_t>(c)].low), middle + 0.5);
      lower += " L" + Number(x0 + 1) + "," + Number(low) + " L" + Number(x0) + "," + Number(low);
    }
    svg_.Element("path", {{"class", "level"}, {"d", upper + lower + " Z"}});
  }

  void Axis(double top) {
    static constexpr double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    double step = kSteps[std::size(kSteps) - 1];
    for (double candidate : kSteps) {
      if (candidate * pixelsPerSecond_ >= 70) {
        step = candidate;
        break;
      }
    }
    svg_.Open("g", {{"class", "axis"}});
    svg_.Element("line", {{"class", "tick"}, {"x1", Number(kLeft)}, {"x2", Number(kLeft + kPlot)},
                          {"y1", Number(top)}, {"y2", Number(top)}});
    for (double t = 0; t <= longest_ + 1e-9; t += step) {
      svg_.Element("line", {{"class", "tick"}, {"x1", Number(X(t))}, {"x2", Number(X(t))},
                            {"y1", Number(top)}, {"y2", Number(top + 4)}});
      Text(X(t), top + 15, AxisTime(t), "", "middle");
    }
    Text(kLeft - 24, top + 15, labels_.time, "strip-name", "end");
    svg_.Close();
  }

  double ConfidenceY(double confidence) const {
    return confidenceTop_ + kConfidenceHeight - 3 - (kConfidenceHeight - 6) * confidence / 255.0;
  }

  void Record(const MapRecord& record, std::size_t index, std::size_t lanes) {
    laneTop_ = bandTop_ + kBandHeight * static_cast<double>(std::min(record.lane, lanes - 1));
    Attributes group = {{"class", std::string("record ") + StatusClass(record.status)},
                        {"data-record", std::to_string(index)},
                        {"data-from", Number(record.fromSeconds, 4)},
                        {"data-to", Number(record.toSeconds, 4)}};
    if (lanes > 1) group.push_back({"data-lane", std::to_string(record.lane)});
    svg_.Open("g", group);
    svg_.TextElement("title", {}, record.label);
    const double x0 = X(record.fromSeconds);
    const double width = std::max(2.0, X(record.toSeconds) - x0);
    svg_.Element("rect", {{"class", std::string("band ") + StatusClass(record.status)},
                          {"x", Number(x0)}, {"y", Number(laneTop_ + 3)},
                          {"width", Number(width)}, {"height", Number(kBandHeight - 6)},
                          {"fill", Fill(record.status)}});
    BandLabel(record, x0, width);
    Supplied(record);
    Confidence(record);
    Speed(record);
    LoadMarks(record);
    svg_.Close();
  }

  void Unread(const MapUnread& unread) {
    svg_.Open("g", {{"class", "unread"},
                    {"data-from", Number(unread.fromSeconds, 4)},
                    {"data-to", Number(unread.toSeconds, 4)}});
    svg_.TextElement("title", {}, unread.label);
    const double x0 = X(unread.fromSeconds);
    const double width = std::max(2.0, X(unread.toSeconds) - x0);
    svg_.Element("rect", {{"class", "band unread"},
                          {"x", Number(x0)}, {"y", Number(bandTop_ + 3)},
                          {"width", Number(width)}, {"height", Number(kBandHeight - 6)},
                          {"fill", "url(#fill-unread)"}});
    MapRecord labelled;
    labelled.label = unread.label;
    BandLabel(labelled, x0, width);
    svg_.Close();
  }

  // The label goes on a white ground inside the band, so it reads over any
  // hatching: the whole label where it fits, else the short one; a band
  // too narrow for either keeps them in its tooltip.
  void BandLabel(const MapRecord& record, double x0, double width) {
    for (const std::string* label : {&record.label, &record.shortLabel}) {
      const double textWidth = 5.6 * static_cast<double>(Utf8Characters(*label));
      if (label->empty() || textWidth + 8 > width) continue;
      svg_.Element("rect", {{"x", Number(x0 + 3)}, {"y", Number(laneTop_ + 10)},
                            {"width", Number(textWidth + 2)}, {"height", "14"}, {"fill", "#fff"}});
      Text(x0 + 4, laneTop_ + 21, *label, "band-label");
      return;
    }
  }

  // Along the band's foot, what this copy gave its combination, so that
  // copies (each channel's among them) show what each contributed.
  void Supplied(const MapRecord& record) {
    for (const auto& [from, to] : record.supplied) {
      svg_.Open("g", {{"class", "supplied-stretch"}});
      svg_.TextElement("title", {}, labels_.supplied);
      svg_.Element("rect", {{"class", "supplied"}, {"x", Number(X(from))}, {"y", Number(laneTop_ + kBandHeight - 9)},
                            {"width", Number(std::max(3.0, X(to) - X(from)))}, {"height", "5"}});
      svg_.Close();
    }
  }

  static std::size_t Utf8Characters(const std::string& text) {
    std::size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
  }

  // Where bit `bit` (0 to 7) of byte `index` began.
  static double BitSeconds(const MapRecord& record, std::size_t index, int bit) {
    const std::vector<double>& bytes = record.byteSeconds;
    double span = kNominalByteSeconds;
    if (index + 1 < bytes.size()) {
      span = bytes[index + 1] - bytes[index];
    } else if (index > 0) {
      span = bytes[index] - bytes[index - 1];
    }
    return bytes[index] + span * bit / 8.0;
  }

  // The lowest confidence in each pixel column of the record, as a line,
  // and every run of columns holding a doubtful bit, marked.
  void Confidence(const MapRecord& record) {
    std::vector<std::pair<long, std::uint32_t>> doubtful;  // column, bits there
    if (!record.bitConfidence.empty() && !record.byteSeconds.empty()) {
      const long first = Column(record.byteSeconds.front());
      const long last = Column(BitSeconds(record, record.byteSeconds.size() - 1, 7));
      std::vector<int> lowest(static_cast<std::size_t>(last - first + 1), 256);
      std::vector<std::uint32_t> doubtfulBits(lowest.size(), 0);
      const std::size_t bits = std::min(record.bitConfidence.size(), record.byteSeconds.size() * 8);
      for (std::size_t bit = 0; bit < bits; ++bit) {
        const auto slot = static_cast<std::size_t>(Column(BitSeconds(record, bit / 8, static_cast<int>(bit % 8))) - first);
        lowest[slot] = std::min<int>(lowest[slot], record.bitConfidence[bit]);
        if (record.bitConfidence[bit] < kDoubtfulConfidence) ++doubtfulBits[slot];
      }
      std::string points;
      for (std::size_t slot = 0; slot < lowest.size(); ++slot) {
        if (lowest[slot] > 255) continue;
        const double x = kLeft + static_cast<double>(first + static_cast<long>(slot)) + 0.5;
        points += (points.empty() ? "" : " ") + Number(x) + "," + Number(ConfidenceY(lowest[slot]));
        if (doubtfulBits[slot] > 0) doubtful.push_back({first + static_cast<long>(slot), doubtfulBits[slot]});
      }
      if (points.find(' ') == std::string::npos) points += " " + points;  // a lone point still shows
      svg_.Element("polyline", {{"class", "confidence-line"}, {"points", points}});
    } else {
      for (double seconds : record.doubtfulSeconds) {
        const long column = Column(seconds);
        if (!doubtful.empty() && doubtful.back().first == column) {
          ++doubtful.back().second;
        } else {
          doubtful.push_back({column, 1});
        }
      }
    }
    DoubtfulRuns(doubtful, record.bitConfidence.empty() ? record.doubtfulCount : 0);
  }

  // One mark per run of neighbouring columns, so that a long dropout is one
  // span and not a thousand triangles. `unlisted` doubtful bits of the record
  // lie at unknown places; the last mark tells of them.
  void DoubtfulRuns(const std::vector<std::pair<long, std::uint32_t>>& columns, std::uint32_t unlisted) {
    std::uint32_t listed = 0;
    for (const auto& column : columns) listed += column.second;
    for (std::size_t i = 0; i < columns.size();) {
      std::size_t end = i + 1;
      std::uint32_t bits = columns[i].second;
      while (end < columns.size() && columns[end].first <= columns[end - 1].first + 2) bits += columns[end++].second;
      const double from = kLeft + static_cast<double>(columns[i].first);
      const double to = kLeft + static_cast<double>(columns[end - 1].first) + 1;
      svg_.Open("g", {{"class", "doubtful-run"}, {"data-bits", std::to_string(bits)}});
      if (end == columns.size() && unlisted > listed) {
        svg_.TextElement("title", {}, labels_.doubtful + ": " + std::to_string(unlisted));
      } else {
        svg_.TextElement("title", {}, labels_.doubtful + ": " + std::to_string(bits));
      }
      svg_.Element("rect", {{"class", "doubtful-span"}, {"x", Number(from)}, {"y", Number(confidenceTop_ + 1)},
                            {"width", Number(std::max(1.0, to - from))}, {"height", Number(kConfidenceHeight - 2)}});
      svg_.Element("path", {{"class", "doubtful"}, {"d", Triangle((from + to) / 2, laneTop_ + 9)}});
      svg_.Close();
      i = end;
    }
  }

  // Speed from the bytes' spacing against the nominal, a reading every
  // kSpeedWindowBytes; the stretches off the record's median by more than
  // kDriftFraction are drawn heavy and the farthest is labelled.
  void Speed(const MapRecord& record) {
    const std::vector<double>& bytes = record.byteSeconds;
    if (bytes.size() <= kSpeedWindowBytes) return;
    std::vector<std::pair<double, double>> readings;  // seconds, speed
    for (std::size_t i = 0; i + kSpeedWindowBytes < bytes.size(); i += kSpeedWindowBytes / 2) {
      const double span = bytes[i + kSpeedWindowBytes] - bytes[i];
      if (span <= 0) continue;
      readings.push_back({(bytes[i] + bytes[i + kSpeedWindowBytes]) / 2,
                          kSpeedWindowBytes * kNominalByteSeconds / span});
    }
    if (readings.empty()) return;
    std::vector<double> speeds;
    for (const auto& reading : readings) speeds.push_back(reading.second);
    std::nth_element(speeds.begin(), speeds.begin() + static_cast<std::ptrdiff_t>(speeds.size() / 2), speeds.end());
    const double median = speeds[speeds.size() / 2];
    const double middle = speedTop_ + kSpeedHeight / 2;
    const auto speedY = [&](double speed) {
      const double off = std::clamp((speed - median) / kSpeedSpan, -1.0, 1.0);
      return middle - off * (kSpeedHeight / 2 - 3);
    };
    svg_.Element("line", {{"class", "nominal"}, {"x1", Number(X(record.fromSeconds))}, {"x2", Number(X(record.toSeconds))},
                          {"y1", Number(middle)}, {"y2", Number(middle)}});
    std::string points;
    std::string drift;
    bool inDrift = false;
    double farthest = median;
    double farthestAt = 0;
    for (const auto& [seconds, speed] : readings) {
      const std::string point = Number(X(seconds)) + "," + Number(speedY(speed));
      points += (points.empty() ? "" : " ") + point;
      const bool drifting = std::fabs(speed - median) > kDriftFraction * median;
      if (drifting) {
        drift += (inDrift ? " L" : " M") + point;
        if (std::fabs(speed - median) > std::fabs(farthest - median)) {
          farthest = speed;
          farthestAt = seconds;
        }
      }
      inDrift = drifting;
    }
    svg_.Element("polyline", {{"class", "speed-line"}, {"points", readings.size() == 1 ? points + " " + points : points}});
    if (!drift.empty()) {
      // A lone drifting reading is drawn as a short stroke of its own.
      svg_.Element("path", {{"class", "drift"}, {"d", drift.substr(1) + " h1"}});
      Text(X(farthestAt) + 4, speedTop_ + 11, Fixed(farthest, 2, labels_.decimalPoint) + "\xC3\x97");
    }
    Text(X(record.fromSeconds) + 2, speedTop_ + kSpeedHeight - 3, Fixed(median, 2, labels_.decimalPoint) + "\xC3\x97",
         "strip-name");
  }

  // Each mark has a cross and its reason in its tooltip; the first of a
  // record also has the reason written beside it where it fits before the
  // next mark, so that reasons never run into each other.
  void LoadMarks(const MapRecord& record) {
    bool first = true;
    for (const LoadMark& mark : record.loadMarks) {
      const double x = X(mark.seconds);
      svg_.Open("g", {{"class", "load-mark"}});
      svg_.TextElement("title", {}, labels_.wouldNotLoad + ": " + mark.label);
      svg_.Element("line", {{"class", "load-problem"}, {"x1", Number(x)}, {"x2", Number(x)},
                            {"y1", Number(levelTop_)}, {"y2", Number(speedTop_)}});
      Text(x, levelTop_ + 12, "\xE2\x9C\x95", "load-glyph", "middle");
      // Marks a few pixels apart are one place on the picture.
      const auto next = std::upper_bound(markXs_.begin(), markXs_.end(), x + 6);
      const double room = (next == markXs_.end() ? kLeft + kPlot : *next) - x - 8;
      if (first && 5.6 * static_cast<double>(Utf8Characters(mark.label)) <= room)
        Text(x + 5, speedTop_ - 4, mark.label, "band-label");
      first = false;
      svg_.Close();
    }
  }

  const std::vector<MapRecording>& recordings_;
  const MapLabels& labels_;
  SvgWriter svg_;
  double pixelsPerSecond_ = 1;
  double longest_ = 1;
  std::vector<double> markXs_;  // every load mark of the panel being drawn
  double levelTop_ = 0;
  double bandTop_ = 0;
  double laneTop_ = 0;  // of the record being drawn
  double confidenceTop_ = 0;
  double speedTop_ = 0;
};

}  // namespace

const char* StatusClass(BandStatus status) {
  switch (status) {
    case BandStatus::kSound: return "sound";
    case BandStatus::kCombined: return "combined";
    case BandStatus::kRepaired: return "repaired";
    case BandStatus::kDamaged: return "damaged";
    case BandStatus::kCutShort: break;
  }
  return "cut-short";
}

std::string DrawDamageMap(const std::vector<MapRecording>& recordings, const MapLabels& labels) {
  return Drawer(recordings, labels).Draw();
}

}  // namespace tape_map
