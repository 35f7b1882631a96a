// libFLAC's encoder linked into the program (the static Windows build and
// the page): its functions are simply there.
#include "decoding/flac_encoder_library.h"

#include <utility>

namespace decoding {

AudioLibrary<FlacEncoderFunctions> OpenFlacEncoderLibrary() {
  auto functions = std::make_shared<FlacEncoderFunctions>();
  functions->encoderNew = &FLAC__stream_encoder_new;
  functions->encoderDelete = &FLAC__stream_encoder_delete;
  functions->setChannels = &FLAC__stream_encoder_set_channels;
  functions->setBitsPerSample = &FLAC__stream_encoder_set_bits_per_sample;
  functions->setSampleRate = &FLAC__stream_encoder_set_sample_rate;
  functions->setCompressionLevel = &FLAC__stream_encoder_set_compression_level;
  functions->setBlocksize = &FLAC__stream_encoder_set_blocksize;
  functions->setMaxLpcOrder = &FLAC__stream_encoder_set_max_lpc_order;
  functions->setMaxResidualPartitionOrder = &FLAC__stream_encoder_set_max_residual_partition_order;
  functions->setTotalSamplesEstimate = &FLAC__stream_encoder_set_total_samples_estimate;
  functions->initStream = &FLAC__stream_encoder_init_stream;
  functions->processInterleaved = &FLAC__stream_encoder_process_interleaved;
  functions->finish = &FLAC__stream_encoder_finish;
  functions->state = &FLAC__stream_encoder_get_state;
  functions->initStatusWords = FLAC__StreamEncoderInitStatusString;
  functions->stateWords = FLAC__StreamEncoderStateString;
  return {std::move(functions), ""};
}

}  // namespace decoding
