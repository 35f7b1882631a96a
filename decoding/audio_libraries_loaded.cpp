// The audio libraries opened when first needed, by the sonames the build
// found them under (LENTOK_FLAC_SONAME, LENTOK_SNDFILE_SONAME). Each stream
// holds its library open while it decodes or encodes; opening one already
// open costs next to nothing.
#include <utility>

#include "decoding/audio_libraries.h"
#include "platform/shared_library.h"

namespace decoding {

namespace {

template <typename Functions>
struct Loaded {
  explicit Loaded(const char* soname) : library(soname) {}
  platform::SharedLibrary library;
  Functions functions;
  std::string missing;  // the first symbol not found

  template <typename Pointer>
  void Bind(Pointer& pointer, const char* symbol) {
    pointer = reinterpret_cast<Pointer>(library.Find(symbol));
    if (pointer == nullptr && missing.empty()) missing = symbol;
  }
};

template <typename Functions>
AudioLibrary<Functions> Finish(std::shared_ptr<Loaded<Functions>> loaded, const char* soname) {
  if (!loaded->library.IsOpen()) return {nullptr, loaded->library.Problem()};
  if (!loaded->missing.empty()) return {nullptr, std::string(soname) + " has no " + loaded->missing};
  const Functions* functions = &loaded->functions;
  return {std::shared_ptr<const Functions>(std::move(loaded), functions), ""};
}

}  // namespace

AudioLibrary<FlacFunctions> OpenFlacLibrary() {
  auto loaded = std::make_shared<Loaded<FlacFunctions>>(LENTOK_FLAC_SONAME);
  FlacFunctions& f = loaded->functions;
  if (loaded->library.IsOpen()) {
    loaded->Bind(f.decoderNew, "FLAC__stream_decoder_new");
    loaded->Bind(f.decoderDelete, "FLAC__stream_decoder_delete");
    loaded->Bind(f.initStream, "FLAC__stream_decoder_init_stream");
    loaded->Bind(f.processMetadata, "FLAC__stream_decoder_process_until_end_of_metadata");
    loaded->Bind(f.processSingle, "FLAC__stream_decoder_process_single");
    loaded->Bind(f.state, "FLAC__stream_decoder_get_state");
    loaded->Bind(f.initStatusWords, "FLAC__StreamDecoderInitStatusString");
  }
  return Finish(std::move(loaded), LENTOK_FLAC_SONAME);
}

AudioLibrary<FlacEncoderFunctions> OpenFlacEncoderLibrary() {
  auto loaded = std::make_shared<Loaded<FlacEncoderFunctions>>(LENTOK_FLAC_SONAME);
  FlacEncoderFunctions& f = loaded->functions;
  if (loaded->library.IsOpen()) {
    loaded->Bind(f.encoderNew, "FLAC__stream_encoder_new");
    loaded->Bind(f.encoderDelete, "FLAC__stream_encoder_delete");
    loaded->Bind(f.setChannels, "FLAC__stream_encoder_set_channels");
    loaded->Bind(f.setBitsPerSample, "FLAC__stream_encoder_set_bits_per_sample");
    loaded->Bind(f.setSampleRate, "FLAC__stream_encoder_set_sample_rate");
    loaded->Bind(f.setCompressionLevel, "FLAC__stream_encoder_set_compression_level");
    loaded->Bind(f.setBlocksize, "FLAC__stream_encoder_set_blocksize");
    loaded->Bind(f.setMaxLpcOrder, "FLAC__stream_encoder_set_max_lpc_order");
    loaded->Bind(f.setMaxResidualPartitionOrder, "FLAC__stream_encoder_set_max_residual_partition_order");
    loaded->Bind(f.setTotalSamplesEstimate, "FLAC__stream_encoder_set_total_samples_estimate");
    loaded->Bind(f.initStream, "FLAC__stream_encoder_init_stream");
    loaded->Bind(f.processInterleaved, "FLAC__stream_encoder_process_interleaved");
    loaded->Bind(f.finish, "FLAC__stream_encoder_finish");
    loaded->Bind(f.state, "FLAC__stream_encoder_get_state");
    loaded->Bind(f.initStatusWords, "FLAC__StreamEncoderInitStatusString");
    loaded->Bind(f.stateWords, "FLAC__StreamEncoderStateString");
  }
  return Finish(std::move(loaded), LENTOK_FLAC_SONAME);
}

AudioLibrary<SndfileFunctions> OpenSndfileLibrary() {
  auto loaded = std::make_shared<Loaded<SndfileFunctions>>(LENTOK_SNDFILE_SONAME);
  SndfileFunctions& f = loaded->functions;
  if (loaded->library.IsOpen()) {
    loaded->Bind(f.openVirtual, "sf_open_virtual");
    loaded->Bind(f.readFloats, "sf_readf_float");
    loaded->Bind(f.close, "sf_close");
    loaded->Bind(f.error, "sf_error");
    loaded->Bind(f.errorWords, "sf_strerror");
  }
  return Finish(std::move(loaded), LENTOK_SNDFILE_SONAME);
}

}  // namespace decoding
