#pragma once
// The lyric store: the lyrics of the playing track and the line that is current at the
// playing position. UI thread only.

#include "lyrics/uLRCHandle.h"

#include <cstdint>
#include <string>

namespace vemro {

inline constexpr const char* kLyricSlogan = "Vemro 不一样的音乐体验";

class TLrcClass {
public:
  // Parses Text, takes its offset tag as the offset (a manual shift is lost) and sorts
  // the lines. The position is kept; the current line is empty until the next SetPosition.
  void LoadText(const std::string& Text);
  // Appends the slogan as the last line. With TrackLengthMs 0 it is due at once; with
  // the track's length it becomes due in the track's last second (and never before the
  // last lyric line, as the walk does not pass a line that is not due).
  void AddSlogan(int32_t TrackLengthMs);
  void SetPosition(int32_t Ms);
  // Takes effect at the next SetPosition.
  void SetOffset(int32_t Ms) { FOffset = Ms; }
  void UpdateCurrentLine();

  const std::string& CurrentLine() const { return FCurrentLine; }
  int32_t Offset() const { return FOffset; }
  const TLyricHandle& Lyric() const { return FLyric; }
  const std::string& SourceText() const { return FSourceText; }
  int32_t Position() const { return FPosition; }

private:
  TLyricHandle FLyric;
  std::string FSourceText;
  int32_t FPosition = 0;
  int32_t FOffset = 0;
  std::string FCurrentLine;
};

}  // namespace vemro
