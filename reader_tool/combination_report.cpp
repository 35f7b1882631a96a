// The report of a combination of copies.
#include "reader_tool/combination_report.h"

#include <cstdint>

#include "reader_tool/report_format.h"
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

// A long list of stretches says no more than its first few.
constexpr std::size_t kStretchesShown = 8;

std::uint16_t AddressOf(const reader::DecodedRecord& combined, std::size_t byte) {
  return static_cast<std::uint16_t>(combined.startAddress + byte);
}

// The copy's number as the line counts them, from 1.
std::string CopyNumber(const reader::SuppliedStretch& stretch) { return std::to_string(stretch.copy + 1); }

}  // namespace

std::string CombinationLine(const reader::DecodedRecord& combined, const std::vector<CopyPlace>& places,
                            const std::vector<reader::SuppliedStretch>& suppliers, Language language) {
  std::string copies;
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (!copies.empty()) copies += ", ";
    const std::string number = std::to_string(i + 1);
    const std::string at = FormatTime(places[i].seconds);
    copies += places[i].channelShown.empty()
                  ? Say(TextId::kCopyAt, language, {number, places[i].recording, at})
                  : Say(TextId::kCopyOnChannelAt, language, {number, places[i].recording, places[i].channelShown, at});
  }
  std::string line = RecordLine(combined, language);
  line += "; " + Say(TextId::kCombinedFrom, language, {copies});
  if (suppliers.empty()) return line + "; " + Text(TextId::kNoDoubtfulStretch, language);
  std::string stretches;
  for (std::size_t i = 0; i < suppliers.size() && i < kStretchesShown; ++i) {
    const reader::SuppliedStretch& stretch = suppliers[i];
    if (!stretches.empty()) stretches += ", ";
    const std::string first = Hex4(AddressOf(combined, stretch.firstByte));
    const std::string copy = CopyNumber(stretch);
    stretches += stretch.byteCount == 1
                     ? Say(TextId::kDoubtfulByte, language, {first, copy})
                     : Say(TextId::kDoubtfulStretch, language,
                           {first, Hex4(AddressOf(combined, stretch.firstByte + stretch.byteCount - 1)), copy});
  }
  if (suppliers.size() > kStretchesShown) stretches += ", …";
  return line + "; " + Say(TextId::kDoubtfulStretches, language, {stretches});
}

std::string CombinationJson(const reader::DecodedRecord& combined, const std::vector<CopyPlace>& places,
                            const std::vector<reader::SuppliedStretch>& suppliers) {
  std::string json = RecordJson(combined);
  json.pop_back();  // the copies and stretches join the record's object
  json += ",\"copies\":[";
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (i > 0) json += ",";
    json += "{\"recording\":" + JsonTextString(places[i].recording) +
            ",\"from\":" + JsonNumber(places[i].seconds, 3) + ",\"channel\":" + std::to_string(places[i].channel) +
            "}";
  }
  json += "],\"doubtfulStretches\":[";
  for (std::size_t i = 0; i < suppliers.size(); ++i) {
    const reader::SuppliedStretch& stretch = suppliers[i];
    if (i > 0) json += ",";
    json += "{\"first\":" + std::to_string(AddressOf(combined, stretch.firstByte)) +
            ",\"last\":" + std::to_string(AddressOf(combined, stretch.firstByte + stretch.byteCount - 1)) +
            ",\"copy\":" + CopyNumber(stretch) + "}";
  }
  return json + "]}";
}

}  // namespace reader_tool
