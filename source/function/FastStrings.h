#pragma once
// String helpers of the command hand-off, the update check and file naming. Strings are
// UTF-8 bytes; positions count bytes from 1, and 0 means "not found".

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vemro {

// A caller broke a precondition (a start position below 1).
class TAssertionFailure : public std::logic_error {
public:
  TAssertionFailure() : std::logic_error("Assertion failure") {}
};

// Position of the first PatternLen bytes of Pattern within the first SourceLen bytes of
// Source, searching from Start; 0 when absent, when PatternLen < 1 or PatternLen >
// SourceLen. Lengths beyond the strings' sizes are taken as their sizes.
// Throws TAssertionFailure when Start < 1.
int32_t FindSubstring(const std::string& Source, const std::string& Pattern, int32_t SourceLen,
                      int32_t Start, int32_t PatternLen);

// Position of the first Ch at or after Start; 0 when none. Throws TAssertionFailure when Start < 1.
int32_t FindCharFrom(const std::string& S, char Ch, int32_t Start);

// The Index-th (from 1) piece of S between Delim bytes; empty when there is no such piece.
std::string GetDelimitedField(const std::string& S, int32_t Index, char Delim);

// Decodes "%XX" and "+" up to the first "&".
std::string UrlDecode(const std::string& S);

// Value of the hexadecimal digits among the first Len characters of P, after leading
// blanks, up to the first other character; 0 when there are none.
int32_t HexValue(const char* P, int32_t Len);

// S without the characters a file name cannot hold (" * / : < > ? \ | and control bytes),
// cut to its first 259 characters and to the file system's 255 bytes.
std::string SafeFileName(const std::string& S);
// SafeFileName(Stem), cut further so that Stem + Suffix (an extension, "(2).lrc", ...) fits
// within 255 bytes, followed by Suffix.
std::string SafeFileName(const std::string& Stem, const std::string& Suffix);

// Base64 with the standard alphabet and "=" padding (RFC 4648, section 4).
std::string Base64Encode(const std::string& Bytes);

}  // namespace vemro
