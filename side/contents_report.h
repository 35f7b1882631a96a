// The table of contents in the forms it is given: lines for a terminal,
// one JSON document, an audio editor's label track, and the warnings in
// words. Built from plain values, for the tool and the page alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "side/side_plan.h"
#include "side/texts.h"

namespace side {

// A place or a length on the side as m:ss.s (minutes as many digits as
// needed), cut down to the tenth, so that a start shown is never after the
// program's first sample.
std::string SideTime(std::uint64_t frames, std::uint32_t sampleRate);

// The name to type, as a terminal can show it: valid UTF-8 kept, control
// bytes and bytes that are not UTF-8 as \xNN.
std::string ShownName(const std::string& tapeName);

// The table: a heading, a line per program (number, start, length, name
// to type and the image it comes from), and the side's length.
std::string ContentsText(const SideContents& contents, Language language);

// Why the side of `images` cannot be made, as `planned` found, in words:
// lentok-side's refusal and the page's say the same.
std::string PlanProblemText(const PlanResult& planned, const std::vector<SideImage>& images, Language language);

// The same as JSON, with every position in samples as well as seconds, and
// the warnings by kind.
std::string ContentsJson(const SideContents& contents, const std::vector<SideWarning>& warnings,
                         int cassetteMinutes);

// A label per program, "start<TAB>end<TAB>name" in seconds with six
// decimals, as audio editors import label tracks; with -x the name is the
// image's.
std::string LabelTrack(const SideContents& contents);

// The warning in words, without the program's prefix.
std::string WarningText(const SideWarning& warning, const SideContents& contents, int cassetteMinutes,
                        Language language);

}  // namespace side
