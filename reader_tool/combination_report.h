// How lentok-read tells of copies combined into one image: the copies, and
// for each stretch of doubtful bytes the copy that supplied it.
#pragma once

#include <string>
#include <vector>

#include "reader/copy_combiner.h"
#include "reader_tool/record_report.h"

namespace reader_tool {

// Where a copy was read: the recording as the user is shown it, the time
// its record began there, and its channel: from 1, and in words where the
// recording has more than one (ChannelText).
struct CopyPlace {
  std::string recording;
  double seconds = 0;
  int channel = 1;
  std::string channelShown;
};

// The combined record's line, without a line end: its record line, then
// the copies and the supplier of each doubtful stretch (whose `copy`
// indexes `places`).
std::string CombinationLine(const reader::DecodedRecord& combined, const std::vector<CopyPlace>& places,
                            const std::vector<reader::SuppliedStretch>& suppliers, Language language);

// The same as one JSON object: the record's, with "copies" (recording,
// time and channel of each) and "doubtfulStretches" (first and last address, and the
// copy that supplied them, counted from 1).
std::string CombinationJson(const reader::DecodedRecord& combined, const std::vector<CopyPlace>& places,
                            const std::vector<reader::SuppliedStretch>& suppliers);

}  // namespace reader_tool
