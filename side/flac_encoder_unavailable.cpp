// The FLAC stage of a build without the audio library: there is none, and
// the tool says so.
#include "side/side_writer.h"

namespace side {

bool FlacAvailable() { return false; }

FlacEncoderResult MakeFlacEncoder(std::uint64_t, ByteSink) {
  return {nullptr, "this build has no FLAC encoder"};
}

}  // namespace side
