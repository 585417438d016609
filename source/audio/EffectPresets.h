#pragma once
// The equalizer presets of "effect.dat": XML with one element "eq" per preset (any
// depth, name compared without case), attributes name, id and q1..q10 (gains in dB).
// Every "eq" tag counts, an end tag too, so presets are written as empty elements.
// The file is read at each call: it ships with the program and is small.

#include "audio/AudioEngine.h"

#include <string>
#include <vector>

namespace vemro {

enum class TPresetResult {
  Applied,          // the gains of the preset with the id (the last one of that id) are set
  Reset,            // Enable false: the equalizer is flat
  NotFound,         // no preset has the id, or the file cannot be read: gains unchanged
  ConversionError,  // an id before the match, or a gain of the match, is not an integer
};

class TEffectPresets {
public:
  TEffectPresets(TAudioEngine& Engine, std::string FileName);

  // The name of every "eq" tag in file order (empty when absent), for the sound-effect
  // box; position n is the id the box hands back. Empty when the file cannot be read.
  std::vector<std::string> LoadEffectPresets() const;
  // The caller keeps Id as the chosen preset whatever the result.
  TPresetResult ApplyEffectPreset(int32_t Id, bool Enable);

private:
  TAudioEngine& FEngine;
  std::string FFileName;
};

}  // namespace vemro
