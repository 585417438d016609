#include "lyrics/uLRCHandle.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace vemro {
namespace {

enum class TCharClass { None, Digit, Letter, Punct };

TCharClass ClassOf(unsigned char C) {
  if (C >= '0' && C <= '9') return TCharClass::Digit;
  if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z')) return TCharClass::Letter;
  if ((C >= 33 && C <= 47) || (C >= 58 && C <= 64) || (C >= 91 && C <= 96) ||
      (C >= 123 && C <= 126))
    return TCharClass::Punct;
  return TCharClass::None;
}

bool IsBlank(unsigned char C) { return C <= 32; }

std::string_view TrimView(std::string_view S) {
  size_t First = 0, Last = S.size();
  while (First < Last && IsBlank(S[First])) ++First;
  while (Last > First && IsBlank(S[Last - 1])) --Last;
  return S.substr(First, Last - First);
}

std::string Trim(std::string_view S) { return std::string(TrimView(S)); }

bool SameLetters(std::string_view A, std::string_view B) {
  return A.size() == B.size() &&
         std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           auto Lower = [](char C) { return (C >= 'A' && C <= 'Z') ? char(C + 32) : C; };
           return Lower(X) == Lower(Y);
         });
}

struct TToken {
  TCharClass Class = TCharClass::None;
  std::string_view Text;
  size_t Start = 0;
};

enum class TSeparator { Close, Colon, Dot, Other };

// The tag recogniser over the trimmed text. Positions count from 1, 0 is "none".
class TLrcScanner {
public:
  TLrcScanner(std::string_view Text, TLRCInfo& Info)
      : S(Text), L(Text.size()), FLastClose(Text.rfind(']') + 1), FInfo(Info) {}

  bool FindNextTag();
  bool IsTimeTag() const { return FTimeTag; }
  const std::string& TagText() const { return FTagText; }
  size_t TagStart() const { return FTagStart; }
  size_t TagEnd() const { return FTagEnd; }

private:
  char At(size_t P) const { return S[P - 1]; }
  size_t Find(char C, size_t From) const;
  TToken NextToken();
  void Restart();
  bool ReadNumber();
  TSeparator ReadSeparator();
  bool ReadTimeTag();
  bool TryIdTag();
  void StoreIdTag(std::string_view Name, std::string Value);

  std::string_view S;
  size_t L;
  size_t FLastClose;  // position of the last "]", 0 if none
  TLRCInfo& FInfo;
  size_t FPos = 1;
  size_t FTagStart = 0;
  size_t FTagEnd = 0;
  bool FTimeTag = false;
  std::string FTagText;
};

size_t TLrcScanner::Find(char C, size_t From) const {
  if (From < 1 || From > L) return 0;
  size_t Hit = S.find(C, From - 1);
  return Hit == std::string_view::npos ? 0 : Hit + 1;
}

TToken TLrcScanner::NextToken() {
  while (FPos <= L && ClassOf(At(FPos)) == TCharClass::None) ++FPos;
  if (FPos > L) return {};
  TToken Token{ClassOf(At(FPos)), {}, FPos};
  if (Token.Class != TCharClass::Punct) {
    // A run never takes in the text's last byte.
    while (FPos + 1 < L && ClassOf(At(FPos + 1)) == Token.Class) ++FPos;
  }
  Token.Text = S.substr(Token.Start - 1, FPos - Token.Start + 1);
  ++FPos;
  return Token;
}

void TLrcScanner::Restart() {
  FTimeTag = false;
  FTagText.clear();
  FTagStart = Find('[', FTagStart + 1);
  if (FTagStart != 0) FPos = FTagStart + 1;
}

bool TLrcScanner::ReadNumber() {
  TToken Token = NextToken();
  if (Token.Class != TCharClass::Digit) {
    Restart();
    return false;
  }
  FTagText += Token.Text;
  return true;
}

TSeparator TLrcScanner::ReadSeparator() {
  TToken Token = NextToken();
  if (Token.Class != TCharClass::Punct) return TSeparator::Other;
  switch (Token.Text[0]) {
    case ']': FTagEnd = Token.Start; return TSeparator::Close;
    case ':': return TSeparator::Colon;
    case '.': return TSeparator::Dot;
    default: return TSeparator::Other;
  }
}

// One attempt at a time tag from FPos; true when accepted. On a failed field the scan
// has moved on to the next "["; after a fraction not closed by "]" it goes on at FPos
// with the collected text kept, so that [00:01.00.5] collects 00:01.005.
bool TLrcScanner::ReadTimeTag() {
  FTimeTag = true;
  if (At(FPos) == '-') {
    FTagText += '-';
    ++FPos;
  }
  int Fields = 0;
  while (true) {
    if (!ReadNumber()) return false;
    ++Fields;
    TSeparator Separator = ReadSeparator();
    if (Separator == TSeparator::Close) return true;
    if (Separator == TSeparator::Dot) break;
    if (Separator == TSeparator::Other || Fields == 3) {
      Restart();
      return false;
    }
    FTagText += ':';
  }
  FTagText += '.';
  if (!ReadNumber()) return false;
  return ReadSeparator() == TSeparator::Close;
}

bool TLrcScanner::TryIdTag() {
  static constexpr std::string_view Names[] = {"ti", "ar", "al", "by", "la", "offset"};
  for (std::string_view Name : Names) {
    if (!SameLetters(S.substr(FPos - 1, Name.size()), Name)) continue;
    FPos += Name.size();
    TToken Token = NextToken();
    if (Token.Class != TCharClass::Punct || Token.Text[0] != ':') return false;
    // Past the text's last "]" there is none: without this, a long text of "[ti:"
    // would be searched to its end at every "[".
    size_t End = FPos <= FLastClose ? Find(']', FPos) : 0;
    if (End == 0) return false;
    size_t Cr = S.substr(FPos - 1, End - FPos).find('\r');
    size_t ValueEnd = Cr != std::string_view::npos ? FPos + Cr : End;
    StoreIdTag(Name, Trim(S.substr(FPos - 1, ValueEnd - FPos)));
    FPos = End;
    return true;
  }
  return false;
}

void TLrcScanner::StoreIdTag(std::string_view Name, std::string Value) {
  if (Name == "ti") FInfo.Title = std::move(Value);
  else if (Name == "ar") FInfo.Artist = std::move(Value);
  else if (Name == "al") FInfo.Album = std::move(Value);
  else if (Name == "by") FInfo.By = std::move(Value);
  else if (Name == "la") FInfo.Language = std::move(Value);
  else {
    // from_chars takes "-" but not "+"; a value that is not wholly an integer is ignored.
    std::string_view Digits = Value;
    if (Digits.size() > 1 && Digits[0] == '+' && Digits[1] != '-') Digits.remove_prefix(1);
    int32_t Offset = 0;
    auto [End, Error] = std::from_chars(Digits.data(), Digits.data() + Digits.size(), Offset);
    if (Error == std::errc() && End == Digits.data() + Digits.size()) FInfo.Offset = Offset;
  }
}

bool TLrcScanner::FindNextTag() {
  bool Found = false;
  Restart();
  while (!Found && FTagStart != 0 && L - FTagStart > 4 && FPos < L) {
    char C = At(FPos);
    if (ClassOf(C) == TCharClass::Digit || C == '-') {
      Found = ReadTimeTag();
    } else if (ClassOf(C) == TCharClass::Letter) {
      Found = TryIdTag();
      if (!Found) Restart();
    } else {
      Restart();
    }
  }
  if (!Found) FTimeTag = false;
  return Found;
}

// The text after a line's time tags: from just after PrevEnd up to the first CR after
// it, if that comes before Limit, else up to just before Limit (1-based, Limit = L + 1
// for the end of the text).
std::string LineText(std::string_view S, size_t PrevEnd, size_t Limit) {
  size_t From = PrevEnd;  // 0-based index of the byte after PrevEnd
  if (From + 1 >= Limit) return {};
  std::string_view Line = S.substr(From, Limit - 1 - From);
  return Trim(Line.substr(0, Line.find('\r')));
}

struct TField {
  std::string_view Digits;
  char Separator = 0;  // the byte that ended it, 0 at the end of the text
};

// Up to four digit runs; any non-digit byte ends a run.
size_t ReadFields(std::string_view T, std::array<TField, 4>& Fields) {
  size_t Count = 0, Pos = 0;
  while (Count < Fields.size() && Pos < T.size()) {
    size_t Start = Pos;
    while (Pos < T.size() && T[Pos] >= '0' && T[Pos] <= '9') ++Pos;
    Fields[Count].Digits = T.substr(Start, Pos - Start);
    Fields[Count].Separator = Pos < T.size() ? T[Pos++] : 0;
    ++Count;
  }
  return Count;
}

int32_t Number(std::string_view Digits) {
  int32_t Value = 0;
  for (char C : Digits) Value = Value * 10 + (C - '0');
  return Value;
}

std::string_view LastTwo(std::string_view Digits) {
  return Digits.size() > 2 ? Digits.substr(Digits.size() - 2) : Digits;
}

}  // namespace

TLyricItem ParseTimeTag(const std::string& TagText) {
  std::string_view T = TagText;
  bool Negative = !T.empty() && T[0] == '-';
  if (Negative) T.remove_prefix(1);
  std::array<TField, 4> Fields;
  const size_t Count = ReadFields(T, Fields);
  char LastSeparator = 0;
  for (size_t K = 0; K < Count; ++K)
    if (Fields[K].Separator != 0) LastSeparator = Fields[K].Separator;

  TLyricItem Item;
  size_t Whole = std::min<size_t>(Count, 3);
  std::string_view Fraction;
  const bool HasFraction = LastSeparator == '.' && Count >= 2;
  if (HasFraction) {
    Fraction = Fields[Count - 1].Digits.substr(0, 3);
    static constexpr int32_t Scale[] = {0, 100, 10, 1};
    Item.Time = Number(Fraction) * Scale[Fraction.size()];
    Whole = Count - 1;
  }
  static constexpr int32_t Units[] = {1000, 60000, 3600000};
  if (Negative) Item.TimeText += '-';
  for (size_t K = 0; K < Whole; ++K) {
    std::string_view Field = LastTwo(Fields[K].Digits);
    Item.Time += Number(Field) * Units[Whole - 1 - K];
    if (K > 0) Item.TimeText += ':';
    Item.TimeText += Field;
  }
  if (HasFraction) (Item.TimeText += '.') += Fraction;
  if (Negative) {
    Item.Time = -Item.Time;
    if (Item.Time == 0) Item.TimeText.erase(0, 1);
  }
  return Item;
}

void TLyricHandle::ParseText(const std::string& Text) {
  Clear();
  const std::string_view S = TrimView(Text);
  if (S.size() <= 3) return;
  TLrcScanner Scanner(S, FInfo);
  size_t PrevEnd = 0;
  std::vector<std::string> Pending;
  auto Emit = [&](size_t Limit) {
    std::string LineTextValue = LineText(S, PrevEnd, Limit);
    for (const std::string& Tag : Pending) {
      TLyricItem Item = ParseTimeTag(Tag);
      Item.Text = LineTextValue;
      FItems.push_back(std::move(Item));
    }
    Pending.clear();
  };
  while (Scanner.FindNextTag()) {
    if (!Pending.empty()) {
      if (Scanner.IsTimeTag() && PrevEnd + 1 == Scanner.TagStart())
        Pending.push_back(Scanner.TagText());
      else
        Emit(Scanner.TagStart());
    }
    if (Scanner.IsTimeTag() && Pending.empty()) Pending.push_back(Scanner.TagText());
    PrevEnd = Scanner.TagEnd();
  }
  if (!Pending.empty()) Emit(S.size() + 1);
}

void TLyricHandle::Clear() {
  FItems.clear();
  FInfo = TLRCInfo();
}

TLyricItem TLyricHandle::GetItem(int32_t Index) const {
  if (Index < 0 || Index >= Count())
    throw TLyricIndexError("lyric line index " + std::to_string(Index) + " out of range");
  return FItems[Index];
}

void TLyricHandle::Add(const TLyricItem& Item) { Insert(Count(), Item); }

void TLyricHandle::Insert(int32_t Index, const TLyricItem& Item) {
  if (Index < 0 || Index > Count())
    throw TLyricIndexError("lyric line index " + std::to_string(Index) + " out of range");
  FItems.insert(FItems.begin() + Index, Item);
}

void TLyricHandle::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count())
    throw TLyricIndexError("lyric line index " + std::to_string(Index) + " out of range");
  FItems.erase(FItems.begin() + Index);
}

void TLyricHandle::SortByTime() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const TLyricItem& A, const TLyricItem& B) { return A.Time < B.Time; });
}

}  // namespace vemro
