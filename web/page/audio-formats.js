// Tells a recording's format by its first bytes, and for the formats that
// the browser decodes, the sample rate its header gives: the page decodes
// each at that rate, so that the tape signal reaches the reader with the
// samples as they were coded, never resampled to the audio device's rate.
// WAV is not decoded here: the reader module reads it itself, as a stream.
'use strict';

// Enough for any of these headers, ahead of the first frame.
const kHeadBytes = 1 << 16;

async function fileBytes(file, offset, length) {
  return new Uint8Array(await file.slice(offset, offset + length).arrayBuffer());
}

function ascii(bytes, from, length) {
  return String.fromCharCode(...bytes.subarray(from, from + length));
}

function bigEndian32(bytes, at) {
  return ((bytes[at] << 24) | (bytes[at + 1] << 16) | (bytes[at + 2] << 8) | bytes[at + 3]) >>> 0;
}

function littleEndian32(bytes, at) {
  return (bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (bytes[at + 3] << 24)) >>> 0;
}

// FLAC: the STREAMINFO block comes first; its rate is 20 bits, 10 bytes in.
function flacRate(bytes, streamInfo) {
  if (bytes.length < streamInfo + 13) return 0;
  return (bytes[streamInfo + 10] << 12) | (bytes[streamInfo + 11] << 4) | (bytes[streamInfo + 12] >> 4);
}

// Ogg: the first page holds the codec's identification header.
function oggFormat(bytes) {
  const packet = 27 + bytes[26];
  if (bytes.length < packet + 8) return null;
  if (bytes[packet] === 1 && ascii(bytes, packet + 1, 6) === 'vorbis') {
    return { format: 'Ogg Vorbis', sampleRate: littleEndian32(bytes, packet + 12) };
  }
  // Opus always decodes at 48000 Hz; the rate in its header is only that of
  // the input the encoder was given.
  if (ascii(bytes, packet, 8) === 'OpusHead') return { format: 'Ogg Opus', sampleRate: 48000 };
  // FLAC in Ogg: a 13-byte mapping header, then the native header's block.
  if (bytes[packet] === 0x7f && ascii(bytes, packet + 1, 4) === 'FLAC') {
    return { format: 'Ogg FLAC', sampleRate: flacRate(bytes, packet + 13 + 4) };
  }
  return { format: 'Ogg', sampleRate: 0 };
}

// AIFF and AIFC: the COMM chunk's rate is an 80-bit extended float.
function aiffFormat(bytes) {
  const format = ascii(bytes, 8, 4) === 'AIFC' ? 'AIFC' : 'AIFF';
  for (let chunk = 12; chunk + 8 <= bytes.length;) {
    const size = bigEndian32(bytes, chunk + 4);
    if (ascii(bytes, chunk, 4) === 'COMM' && chunk + 26 <= bytes.length) {
      const rate = chunk + 16;
      const exponent = (((bytes[rate] & 0x7f) << 8) | bytes[rate + 1]) - 16383;
      const mantissa = bigEndian32(bytes, rate + 2);
      return { format, sampleRate: Math.round(mantissa * 2 ** (exponent - 31)) };
    }
    chunk += 8 + size + (size & 1);
  }
  return { format, sampleRate: 0 };
}

// W64: RIFF with GUIDs for chunk names and 64-bit sizes, 8-byte aligned.
const kW64Riff = [0x72, 0x69, 0x66, 0x66, 0x2e, 0x91, 0xcf, 0x11, 0xa5, 0xd6, 0x28, 0xdb, 0x04, 0xc1, 0x00, 0x00];
const kW64Fmt = [0x66, 0x6d, 0x74, 0x20, 0xf3, 0xac, 0xd3, 0x11, 0x8c, 0xd1, 0x00, 0xc0, 0x4f, 0x8e, 0xdb, 0x8a];

function startsWith(bytes, at, expected) {
  return expected.every((byte, index) => bytes[at + index] === byte);
}

function w64Format(bytes) {
  for (let chunk = 40; chunk + 24 <= bytes.length;) {
    const size = littleEndian32(bytes, chunk + 16) + littleEndian32(bytes, chunk + 20) * 2 ** 32;
    if (startsWith(bytes, chunk, kW64Fmt) && chunk + 32 <= bytes.length) {
      return { format: 'W64', sampleRate: littleEndian32(bytes, chunk + 28) };
    }
    if (size < 24) break;
    chunk += Math.ceil(size / 8) * 8;
  }
  return { format: 'W64', sampleRate: 0 };
}

// MPEG audio frame headers: rates by version, bit rates (kbit/s) by version
// and layer.
const kMpegRates = { 3: [44100, 48000, 32000], 2: [22050, 24000, 16000], 0: [11025, 12000, 8000] };
const kMpegBitRates = {
  '1-1': [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
  '1-2': [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
  '1-3': [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320],
  '2-1': [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256],
  '2-2': [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
};

// The header at `at`: its rate and the length of its frame, or null.
function mpegFrame(bytes, at) {
  if (at + 4 > bytes.length || bytes[at] !== 0xff || (bytes[at + 1] & 0xe0) !== 0xe0) return null;
  const version = (bytes[at + 1] >> 3) & 3;      // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
  const layer = 4 - ((bytes[at + 1] >> 1) & 3);  // 1, 2 or 3
  const bitRateIndex = bytes[at + 2] >> 4;
  const rateIndex = (bytes[at + 2] >> 2) & 3;
  if (version === 1 || layer === 4 || bitRateIndex === 0 || bitRateIndex === 15 || rateIndex === 3) {
    return null;
  }
  const sampleRate = kMpegRates[version][rateIndex];
  const table = version === 3 ? `1-${layer}` : `2-${Math.min(layer, 2)}`;
  const bitRate = kMpegBitRates[table][bitRateIndex] * 1000;
  const padding = (bytes[at + 2] >> 1) & 1;
  let length;
  if (layer === 1) length = (Math.floor(12 * bitRate / sampleRate) + padding) * 4;
  else if (layer === 3 && version !== 3) length = Math.floor(72 * bitRate / sampleRate) + padding;
  else length = Math.floor(144 * bitRate / sampleRate) + padding;
  return { sampleRate, length };
}

// After an ID3v2 tag, or at the file's start, a frame whose successor
// agrees with it (a lone sync word is too easily met in other files).
function mpegFormat(bytes, at, tagged) {
  const frame = mpegFrame(bytes, at);
  if (!frame) return null;
  const next = mpegFrame(bytes, at + frame.length);
  const agrees = next && next.sampleRate === frame.sampleRate;
  if (!agrees && !(tagged && at + frame.length >= bytes.length)) return null;
  return { format: 'MP3', sampleRate: frame.sampleRate };
}

// The size of an ID3v2 tag at the start, footer included; 0 without one.
function id3Size(bytes) {
  if (bytes.length < 10 || ascii(bytes, 0, 3) !== 'ID3') return 0;
  const size = ((bytes[6] & 0x7f) << 21) | ((bytes[7] & 0x7f) << 14) | ((bytes[8] & 0x7f) << 7) |
    (bytes[9] & 0x7f);
  return 10 + size + ((bytes[5] & 0x10) ? 10 : 0);
}

// { kind: 'wav' } for the reader module's own WAV reading;
// { kind: 'decode', format, sampleRate } for one the browser must decode
// (sampleRate 0 when the header gives none); null for no recording.
async function recordingFormat(file) {
  let bytes = await fileBytes(file, 0, kHeadBytes);
  const tag = ascii(bytes, 0, 4);
  if (['RIFF', 'RF64', 'BW64'].includes(tag) && ascii(bytes, 8, 4) === 'WAVE') return { kind: 'wav' };
  // A tag may stand before FLAC as well as before MP3.
  const tagSize = id3Size(bytes);
  if (tagSize > 0) bytes = await fileBytes(file, tagSize, kHeadBytes);
  let found = null;
  if (ascii(bytes, 0, 4) === 'fLaC') found = { format: 'FLAC', sampleRate: flacRate(bytes, 8) };
  else if (tagSize === 0 && tag === 'OggS') found = oggFormat(bytes);
  else if (tagSize === 0 && tag === 'FORM' && ['AIFF', 'AIFC'].includes(ascii(bytes, 8, 4))) {
    found = aiffFormat(bytes);
  } else if (tagSize === 0 && startsWith(bytes, 0, kW64Riff)) found = w64Format(bytes);
  else found = mpegFormat(bytes, 0, tagSize > 0);
  return found ? { kind: 'decode', ...found } : null;
}

// The file's samples as the browser decodes them, at the given rate; fails
// where the browser has no decoder for the format.
async function decodeRecording(file, sampleRate) {
  const context = new OfflineAudioContext(1, 1, sampleRate);
  return context.decodeAudioData(await file.arrayBuffer());
}
