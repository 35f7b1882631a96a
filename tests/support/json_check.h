// A strict check of JSON syntax, so that tests can tell a document that any
// JSON reader would take from one with a stray comma or a raw control byte.
#pragma once

#include <string>

// True when `text` is exactly one JSON value (surrounding white space
// allowed), strings valid UTF-8 without raw control characters.
bool IsValidJson(const std::string& text);
