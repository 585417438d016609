#pragma once
// Text in memory is UTF-8. Older files and tags hold GBK (GB2312/GB18030) bytes;
// these helpers convert at the edges.

#include <cstddef>
#include <optional>
#include <string>

namespace vemro {

bool IsValidUtf8(const std::string& Bytes);
// True when Bytes decode as GBK (double-byte GBK only, no GB18030 four-byte forms).
bool IsValidGbk(const std::string& Bytes);

// GB18030 is a superset of GBK and GB2312, so every GBK text decodes; bytes that do
// not decode become U+FFFD.
std::string GbkToUtf8(const std::string& Bytes);
// nullopt when a character has no GBK form.
std::optional<std::string> Utf8ToGbk(const std::string& Utf8);
// GB18030 holds every Unicode character.
std::string Utf8ToGb18030(const std::string& Utf8);

// Decodes the bytes of a text file from outside: a UTF-8 or UTF-16 byte-order mark
// decides; else valid UTF-8 is taken as it is; else GB18030. The mark is dropped.
std::string DecodeTextBytes(const std::string& Bytes);

// The longest prefix of Utf8 of at most MaxBytes bytes that ends on a character boundary.
std::string CutUtf8(const std::string& Utf8, size_t MaxBytes);
// The first MaxChars characters of Utf8 (invalid bytes count as one character each).
std::string FirstUtf8Chars(const std::string& Utf8, size_t MaxChars);

}  // namespace vemro
