// Which channels of a recording the decoder reads.
#pragma once

#include <vector>

namespace reader {

struct DecoderOptions {
  // The channel to read, from 0; -1 reads every channel and keeps, for each
  // record, the copy from the channel with the clearest signal (with the
  // other channels' copies beside it when none of them is sound).
  int channel = -1;
};

// The channels read of `channels`, in the order the stages that serve
// each of them are kept.
inline std::vector<int> ChannelsRead(int channels, const DecoderOptions& options) {
  if (options.channel >= 0) return {options.channel};
  std::vector<int> read;
  for (int channel = 0; channel < channels; ++channel) read.push_back(channel);
  return read;
}

}  // namespace reader
