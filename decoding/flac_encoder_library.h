// libFLAC's stream encoder as lentok-side calls it, apart from the other
// audio libraries: the page links libFLAC alone, for the encoder, and has
// neither libsndfile nor the decoder.
#pragma once

#include <FLAC/stream_encoder.h>

#include "decoding/audio_library.h"

namespace decoding {

// libFLAC's stream encoder, for lentok-side's FLAC sides.
struct FlacEncoderFunctions {
  decltype(&FLAC__stream_encoder_new) encoderNew = nullptr;
  decltype(&FLAC__stream_encoder_delete) encoderDelete = nullptr;
  decltype(&FLAC__stream_encoder_set_channels) setChannels = nullptr;
  decltype(&FLAC__stream_encoder_set_bits_per_sample) setBitsPerSample = nullptr;
  decltype(&FLAC__stream_encoder_set_sample_rate) setSampleRate = nullptr;
  decltype(&FLAC__stream_encoder_set_compression_level) setCompressionLevel = nullptr;
  decltype(&FLAC__stream_encoder_set_blocksize) setBlocksize = nullptr;
  decltype(&FLAC__stream_encoder_set_max_lpc_order) setMaxLpcOrder = nullptr;
  decltype(&FLAC__stream_encoder_set_max_residual_partition_order) setMaxResidualPartitionOrder = nullptr;
  decltype(&FLAC__stream_encoder_set_total_samples_estimate) setTotalSamplesEstimate = nullptr;
  decltype(&FLAC__stream_encoder_init_stream) initStream = nullptr;
  decltype(&FLAC__stream_encoder_process_interleaved) processInterleaved = nullptr;
  decltype(&FLAC__stream_encoder_finish) finish = nullptr;
  decltype(&FLAC__stream_encoder_get_state) state = nullptr;
  const char* const* initStatusWords = nullptr;  // FLAC__StreamEncoderInitStatusString
  const char* const* stateWords = nullptr;       // FLAC__StreamEncoderStateString
};

AudioLibrary<FlacEncoderFunctions> OpenFlacEncoderLibrary();

}  // namespace decoding
