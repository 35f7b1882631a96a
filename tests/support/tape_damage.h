// Damage at known places of lentok's recording of an image, for the
// recovery tests and the repair benchmark: where each data byte's cells
// lie, found by reading the clean recording, and harm laid on chosen bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/degrade.h"
#include "tests/support/test_files.h"

namespace tape_damage {

// lentok's recording of an image at 44100 Hz, and where each data byte's
// first cell begins (read back from the clean signal).
struct Program {
  Bytes image;
  degrade::Signal signal;
  std::vector<std::int64_t> byteFrames;
};

// A program of `size` random bytes from `seed`, at address 2000h, with a
// name header.
Program MakeProgram(std::size_t size, std::uint32_t seed, const std::string& name = "GAME.RKS");

// Another program of the same size and name, its bytes from `seed`: its
// cells lie where `layout`'s do, so they need not be found again.
Program SameLayout(const Program& layout, std::uint32_t seed, const std::string& name = "GAME.RKS");

// The data bytes of an image (without addresses and checksum).
Bytes DataOf(const Bytes& image);

// The frame of the change that carries bit `bit` (7 the most significant,
// sent first) of data byte `byte`; the two bytes after the data are the
// checksum word's, low byte first.
std::size_t BitChangeFrame(const Program& program, std::size_t byte, int bit);

// The half-cells on either side of that change scaled by `keep`: 0.2
// leaves the bit right but weak, -0.2 reads it wrong but weak, 0 leaves
// nothing of it.
degrade::Signal WeakenBit(const degrade::Signal& signal, const Program& program, std::size_t byte, int bit,
                          float keep);

// `cells` cells from a bit's change on scaled by `keep`.
degrade::Signal DropoutFrom(const degrade::Signal& signal, const Program& program, std::size_t byte, int bit,
                            std::size_t cells, float keep);

}  // namespace tape_damage
