#pragma once
// The program's texts and stream set-up, kept clear of the C runtime's text
// mode: the parent must receive exactly the bytes the program means.

#include <cstddef>
#include <string_view>

// Standard output carries raw samples: no newline translation.
void setStandardOutputBinary();

// One write of exactly these bytes to standard error; failures are ignored.
void writeStandardError(std::string_view bytes);
