#pragma once
// The LRC parser: turns the text of an LRC file into timed lines and the file's
// identification tags. It is tolerant: a "[" that does not start a well-formed tag is
// ordinary text, and nothing in the text raises an error.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vemro {

struct TLyricItem {
  std::string Text;      // trimmed of bytes 0..32 at both ends; may be empty
  std::string TimeText;  // the tag rebuilt from its fields, e.g. "00:12.34"
  int32_t Time = 0;      // milliseconds; may be negative
};

struct TLRCInfo {
  std::string Title;     // [ti:]
  std::string By;        // [by:]
  std::string Language;  // [la:]
  std::string Artist;    // [ar:]
  std::string Album;     // [al:]
  int32_t Offset = 0;    // [offset:], milliseconds
};

// Raised for a line index outside the list.
class TLyricIndexError : public std::out_of_range {
public:
  using std::out_of_range::out_of_range;
};

class TLyricHandle {
public:
  // Replaces the whole content with the lines and tags of Text (UTF-8). Lines come in
  // the order of their time tags in the text; SortByTime orders them.
  void ParseText(const std::string& Text);
  void Clear();
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TLyricItem GetItem(int32_t Index) const;
  void Add(const TLyricItem& Item);
  // Inserts before Index; Index == Count appends.
  void Insert(int32_t Index, const TLyricItem& Item);
  void Delete(int32_t Index);
  // Ascending Time; lines with equal times keep their order.
  void SortByTime();
  const TLRCInfo& Info() const { return FInfo; }
  const std::vector<TLyricItem>& Items() const { return FItems; }

private:
  TLRCInfo FInfo;
  std::vector<TLyricItem> FItems;
};

// The line a time tag's collected text stands for ("00:12.34", "-1:02:03.4"): whole
// fields keep their last two digits; the field after a final "." is a decimal fraction
// of a second of up to three digits.
TLyricItem ParseTimeTag(const std::string& TagText);

}  // namespace vemro
