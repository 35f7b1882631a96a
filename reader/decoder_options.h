// Which channels of a recording the decoder reads.
#pragma once

namespace reader {

struct DecoderOptions {
  // The channel to read, from 0; -1 reads every channel and keeps, for each
  // record, the copy from the channel with the clearest signal.
  int channel = -1;
};

}  // namespace reader
