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
