// libFLAC's and libsndfile's functions as lentok-read and lentok-side call
// them. A build that links the libraries into the program (the static
// Windows build) takes their addresses (audio_libraries_linked.cpp, and
// flac_encoder_linked.cpp for the encoder, which the page links too); the
// native build opens the shared libraries only when a recording needs one
// of them (audio_libraries_loaded.cpp), so that reading or writing WAV,
// which needs neither, does not pay at every start for loading them and
// the codecs behind them.
#pragma once

#include <FLAC/stream_decoder.h>
#include <sndfile.h>

#include "decoding/audio_library.h"
#include "decoding/flac_encoder_library.h"

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

struct SndfileFunctions {
  decltype(&sf_open_virtual) openVirtual = nullptr;
  decltype(&sf_readf_float) readFloats = nullptr;
  decltype(&sf_close) close = nullptr;
  decltype(&sf_error) error = nullptr;
  decltype(&sf_strerror) errorWords = nullptr;
};

AudioLibrary<FlacFunctions> OpenFlacLibrary();
AudioLibrary<SndfileFunctions> OpenSndfileLibrary();

}  // namespace decoding
