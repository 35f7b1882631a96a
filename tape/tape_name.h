// The name lentok puts in a record's header for an image: what the monitor's
// named read compares with the name typed, so whatever writes a record and
// whatever looks for one by name must agree on it.
#pragma once

#include <string>

// The image's file name (the final component of its path, as the system
// splits paths), the letters a to z upper-cased, every other byte as it is.
std::string TapeNameOf(const std::string& fileName);
