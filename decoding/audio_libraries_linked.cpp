// The audio libraries linked into the program: their functions are simply
// there.
#include "decoding/audio_libraries.h"

namespace decoding {

AudioLibrary<FlacFunctions> OpenFlacLibrary() {
  auto functions = std::make_shared<FlacFunctions>();
  functions->decoderNew = &FLAC__stream_decoder_new;
  functions->decoderDelete = &FLAC__stream_decoder_delete;
  functions->initStream = &FLAC__stream_decoder_init_stream;
  functions->processMetadata = &FLAC__stream_decoder_process_until_end_of_metadata;
  functions->processSingle = &FLAC__stream_decoder_process_single;
  functions->state = &FLAC__stream_decoder_get_state;
  functions->initStatusWords = FLAC__StreamDecoderInitStatusString;
  return {std::move(functions), ""};
}

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

AudioLibrary<SndfileFunctions> OpenSndfileLibrary() {
  auto functions = std::make_shared<SndfileFunctions>();
  functions->openVirtual = &sf_open_virtual;
  functions->readFloats = &sf_readf_float;
  functions->close = &sf_close;
  functions->error = &sf_error;
  functions->errorWords = &sf_strerror;
  return {std::move(functions), ""};
}

}  // namespace decoding
