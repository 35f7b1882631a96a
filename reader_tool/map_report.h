// What the damage map shows of lentok-read's records, in the user's
// language: each record made into the map's values as it completes, the
// level profile that went along with the reading, and the picture's words.
// The web page draws its pictures with the same functions.
#pragma once

#include <string>
#include <vector>

#include "map/damage_map.h"
#include "reader/copy_combiner.h"
#include "reader/decoded_record.h"
#include "reader/signal_profile.h"
#include "reader_tool/record_report.h"

namespace reader_tool {

// The record as the map draws it, its band showing `shownAs` (a copy that
// went into a combined image shows what the combination became). Only what
// the map needs is kept, so a run over many recordings holds little per
// record.
// `supplied`: the stretches of doubtful bytes it supplied to that
// combination, marked on its band.
tape_map::MapRecord MapRecordOf(const reader::DecodedRecord& record, reader::RecordStatus shownAs,
                                bool shownDamaged, Language language,
                                const std::vector<reader::SuppliedStretch>& supplied = {});

// A recording's panel: its name as shown, its level as the profile
// collected it and its records in the order they lie.
tape_map::MapRecording MapRecordingOf(const std::string& title, const reader::SignalProfile& profile,
                                      std::vector<tape_map::MapRecord> records);

tape_map::MapLabels MapLabelsIn(Language language);

}  // namespace reader_tool
