#pragma once
// Where the user's folders are, and making sure a folder exists.

#include <cstdint>
#include <string>

namespace vemro {

// Special folder Code (0..159 taken as Code & 0x7F; 133 and 5 are the personal documents
// folder: XDG_DOCUMENTS_DIR of user-dirs.dirs, else $HOME/Documents), 160 "/", 161
// "/usr/lib", 163 $TMPDIR or "/tmp". Ends with "/"; empty for any other code. ShortName
// changes nothing (there are no short names here).
std::string GetSpecialFolderPath(uint8_t Code, bool ShortName);

// True when Path is a folder. Otherwise, with Create, makes every folder named by the text
// before each "/" of Path (so "a/b/" makes a and a/b, "a/b" only a) and returns whether the
// last of them exists then.
bool ForceFolder(const std::string& Path, bool Create);

}  // namespace vemro
