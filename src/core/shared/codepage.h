#pragma once
// Windows-1252, the code page of the HR system's exports and of older templates:
// each byte is one character.

#include <QString>

namespace mw {

// The character a byte stands for.
char16_t decodeWindows1252(unsigned char byte);
// The characters of n bytes into into (its storage reused when it is its own).
void decodeWindows1252(const char* bytes, qsizetype n, QString& into);

} // namespace mw
