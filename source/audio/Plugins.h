#pragma once
// Format add-ins: b_*.so libraries whose decoders join the built-in ones.

#include "audio/AudioDecoder.h"

#include <vector>

namespace vemro::audio {

// The built-in kinds, then those of every loaded add-in in load order.
std::vector<TDecoderKind> AllDecoderKinds();

}  // namespace vemro::audio
