#pragma once
// Inside the audio library: lookups the call groups (tags, add-ins) share.

#include "audio/Bass.h"

#include <string>

namespace vemro::audio {

// The path a file stream reads, empty for other streams or unknown handles.
std::string StreamFileName(DWORD Handle);
void SetLastError(int Code);

}  // namespace vemro::audio
