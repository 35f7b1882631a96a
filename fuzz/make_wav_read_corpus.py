#!/usr/bin/env python3
"""Writes the seed corpus of the wav_read fuzz target into fuzz/corpus/wav_read.

Each seed is the control byte the target reads first (channel option and
block sizes) followed by a small WAV file: the tape signal of a short record
(a shortened leader, sync, addresses, data, checksum) in one of the sample
formats the reader takes, and a few files with the oddities it must walk
past. Every seed stays under 4 KiB, so most hold only part of a record;
the fuzzer grows them from there.
"""
import math
import os
import struct

HALF_CELL_SECONDS = 16 / 44100
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "wav_read")


def tape_bytes(leader, start, data):
    end = start + len(data) - 1
    total = sum(257 * b for b in data[:-1])
    checksum = (total & 0xFF00) | ((total + data[-1]) & 0xFF)
    return (bytes(leader) + b"\xE6" + struct.pack("<HH", start, end) + bytes(data)
            + struct.pack("<H", checksum))


def half_cells(tape):
    """Levels of the half-cells, +1 or -1: each cell opens on the opposite of
    the level before it and closes high for a 1, low for a 0."""
    level = -1
    for byte in tape:
        for bit in range(7, -1, -1):
            yield -level
            level = 1 if (byte >> bit) & 1 else -1
            yield level


def signal(tape, rate, amplitude):
    levels = list(half_cells(tape))
    count = int(len(levels) * HALF_CELL_SECONDS * rate)
    return [amplitude * levels[min(int(n / rate / HALF_CELL_SECONDS), len(levels) - 1)]
            for n in range(count)]


def encode(samples, kind):
    if kind == "u8":
        return bytes(max(0, min(255, round(s * 128 + 128))) for s in samples)
    if kind == "s16":
        return b"".join(struct.pack("<h", round(s * 32767)) for s in samples)
    if kind == "s24":
        return b"".join(struct.pack("<i", round(s * 8388607))[:3] for s in samples)
    if kind == "s32":
        return b"".join(struct.pack("<i", round(s * 2147483647)) for s in samples)
    if kind == "f32":
        return b"".join(struct.pack("<f", s) for s in samples)
    return b"".join(struct.pack("<d", s) for s in samples)


BITS = {"u8": 8, "s16": 16, "s24": 24, "s32": 32, "f32": 32, "f64": 64}
SUBFORMAT_TAIL = bytes([0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71])


def chunk(chunk_id, body, size=None):
    pad = b"\0" if len(body) % 2 else b""
    return chunk_id + struct.pack("<I", len(body) if size is None else size) + body + pad


def fmt_body(kind, channels, rate, extensible=False):
    tag = 3 if kind in ("f32", "f64") else 1
    align = channels * BITS[kind] // 8
    plain = struct.pack("<HHIIHH", 0xFFFE if extensible else tag, channels, rate, rate * align,
                        align, BITS[kind])
    if not extensible:
        return plain
    return plain + struct.pack("<HHII", 22, BITS[kind], 0, tag) + SUBFORMAT_TAIL


def riff(chunks, size=None):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body) if size is None else size) + body


def interleave(samples, channels):
    # The signal on the first channel, the same halved and inverted on the next.
    frames = []
    for s in samples:
        frames.extend([s] + [-s / (c + 1) for c in range(1, channels)])
    return frames


def record_file(kind, channels, rate, leader, extensible=False, extra=()):
    tape = tape_bytes([0] * leader, 0x0100, [0x3E, 0x55, 0xC9])
    samples = interleave(signal(tape, rate, 0.7), channels)
    return riff([chunk(b"fmt ", fmt_body(kind, channels, rate, extensible)), *extra,
                 chunk(b"data", encode(samples, kind))])


def lentok_pipe_file():
    """lentok's own 46-byte header with the placeholder sizes it leaves in a
    pipe, and the first cells of a leader."""
    header = (b"RIFF" + struct.pack("<I", 0xFFBFDFF8) + b"WAVEfmt "
              + struct.pack("<IHHIIHHH", 18, 1, 1, 44100, 88200, 2, 16, 0)
              + b"data" + struct.pack("<I", 0xFFBFDFD2))
    return header + encode(signal(bytes(6), 44100, 32760 / 32767), "s16")


SEEDS = {
    "u8_mono_8000": (0x03, record_file("u8", 1, 8000, 20)),
    "s16_mono_11025_blocks": (0x4A, record_file("s16", 1, 11025, 8)),
    "s24_stereo_8000_extensible": (0x15, record_file("s24", 2, 8000, 4, extensible=True,
                                                      extra=[chunk(b"LIST", b"INFOISFT\x05\0\0\0tape\0")])),
    "s32_stereo_8000_second": (0x25, record_file("s32", 2, 8000, 0)),
    "f32_mono_8000_fact": (0x07, record_file("f32", 1, 8000, 3, extra=[chunk(b"fact", b"\0" * 4)])),
    "f64_mono_8000": (0x38, record_file("f64", 1, 8000, 0)),
    "lentok_pipe_header": (0x0C, lentok_pipe_file()),
    "data_longer_than_file": (0x01, riff([chunk(b"fmt ", fmt_body("s16", 1, 8000)),
                                          b"data" + struct.pack("<I", 100000)
                                          + encode([math.sin(n / 3) for n in range(200)], "s16")])),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, (control, wav) in SEEDS.items():
        seed = bytes([control]) + wav
        assert len(seed) < 4096, (name, len(seed))
        with open(os.path.join(OUT, name), "wb") as out:
            out.write(seed)


if __name__ == "__main__":
    main()
