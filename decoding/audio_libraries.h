// libFLAC's and libsndfile's functions as lentok-read and lentok-side call
// them. A build that links the libraries into the program (the static
// Windows build) takes their addresses (audio_libraries_linked.cpp); the
// native build opens the shared libraries only when a recording needs one
// of them (audio_libraries_loaded.cpp), so that reading or writing WAV,
// which needs neither, does not pay at every start for loading them and
// the codecs behind them.
#pragma once

#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <sndfile.h>

#include <memory>
#include <string>

namespace decoding {

struct FlacFunctions {
  decltype(&FLAC__stream_decoder_new) decoderNew = nullptr;
  decltype(&FLAC__stream_decoder_delete) decoderDelete = nullptr;
  decltype(&FLAC__stream_decoder_init_stream) initStream = nullptr;
  decltype(&FLAC__stream_decoder_process_until_end_of_metadata) processMetadata = nullptr;
  decltype(&FLAC__stream_decoder_process_single) processSingle = nullptr;
  decltype(&FLAC__stream_decoder_get_state) state = nullptr;
  const char* const* initStatusWords = nullptr;  // FLAC__StreamDecoderInitStatusString
};

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

struct SndfileFunctions {
  decltype(&sf_open_virtual) openVirtual = nullptr;
  decltype(&sf_readf_float) readFloats = nullptr;
  decltype(&sf_close) close = nullptr;
  decltype(&sf_error) error = nullptr;
  decltype(&sf_strerror) errorWords = nullptr;
};

// A library's functions, usable for as long as `functions` is held; null,
// with `problem` saying why, when the library could not be opened.
template <typename Functions>
struct AudioLibrary {
  std::shared_ptr<const Functions> functions;
  std::string problem;
};

AudioLibrary<FlacFunctions> OpenFlacLibrary();
AudioLibrary<FlacEncoderFunctions> OpenFlacEncoderLibrary();
AudioLibrary<SndfileFunctions> OpenSndfileLibrary();

}  // namespace decoding
