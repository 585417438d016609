#pragma once
// Documents the program rewrites are never left half-written.

#include <string>

namespace vemro {

// Writes Bytes to a temporary file beside FileName and renames it over FileName.
// Throws std::runtime_error (naming the file and the cause) when that fails; the old
// file is then untouched.
void WriteFileAtomically(const std::string& FileName, const std::string& Bytes);

// Renames an unreadable document aside to FileName + ".bad", first moving an older
// ".bad" to ".bad.1", so that nothing of the user's data is lost. Returns the new
// name, or an empty string when the file could not be moved.
std::string MoveAsideBroken(const std::string& FileName);

}  // namespace vemro
