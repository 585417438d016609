#include "function/FastStrings.h"

#include "function/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vemro {
namespace {

constexpr size_t MaxNameChars = 259;
constexpr size_t MaxNameBytes = 255;

void RequireStart(int32_t Start) {
  if (Start < 1) throw TAssertionFailure();
}

int32_t HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

bool IsForbiddenInName(unsigned char C) {
  return C < 0x20 || std::strchr("\"*/:<>?\\|", C) != nullptr;
}

}  // namespace

int32_t FindSubstring(const std::string& Source, const std::string& Pattern, int32_t SourceLen,
                      int32_t Start, int32_t PatternLen) {
  RequireStart(Start);
  const int64_t N = std::min<int64_t>(SourceLen, static_cast<int64_t>(Source.size()));
  const int64_t M = std::min<int64_t>(PatternLen, static_cast<int64_t>(Pattern.size()));
  if (M < 1 || M > N) return 0;

  std::array<int64_t, 256> Shift;
  Shift.fill(M);
  for (int64_t I = 0; I < M - 1; ++I) Shift[static_cast<unsigned char>(Pattern[I])] = M - 1 - I;

  for (int64_t At = Start - 1; At + M <= N;) {
    int64_t J = M - 1;
    while (J >= 0 && Source[At + J] == Pattern[J]) --J;
    if (J < 0) return static_cast<int32_t>(At + 1);
    At += Shift[static_cast<unsigned char>(Source[At + M - 1])];
  }
  return 0;
}

int32_t FindCharFrom(const std::string& S, char Ch, int32_t Start) {
  RequireStart(Start);
  if (static_cast<size_t>(Start) > S.size()) return 0;
  const size_t At = S.find(Ch, static_cast<size_t>(Start) - 1);
  return At == std::string::npos ? 0 : static_cast<int32_t>(At + 1);
}

std::string GetDelimitedField(const std::string& S, int32_t Index, char Delim) {
  if (S.empty() || Index < 1) return {};
  int32_t PieceStart = 1;
  for (int32_t Piece = 1; Piece < Index; ++Piece) {
    const int32_t Next = FindCharFrom(S, Delim, PieceStart);
    if (Next == 0) return {};
    PieceStart = Next + 1;
  }
  if (static_cast<size_t>(PieceStart) > S.size()) return {};
  const int32_t End = FindCharFrom(S, Delim, PieceStart);
  return End == 0 ? S.substr(PieceStart - 1) : S.substr(PieceStart - 1, End - PieceStart);
}

std::string UrlDecode(const std::string& S) {
  std::string Result;
  for (size_t I = 0; I < S.size() && S[I] != '&'; ++I) {
    if (S[I] == '%') {
      // c_str() ends in NUL, which HexValue stops at, so a "%" at the end reads no further.
      Result += static_cast<char>(HexValue(S.c_str() + I + 1, 2));
      I += 2;
    } else {
      Result += S[I] == '+' ? ' ' : S[I];
    }
  }
  return Result;
}

int32_t HexValue(const char* P, int32_t Len) {
  int32_t I = 0;
  while (I < Len && P[I] == ' ') ++I;
  uint32_t Value = 0;
  for (; I < Len && HexDigit(P[I]) >= 0; ++I) Value = Value * 16 + static_cast<uint32_t>(HexDigit(P[I]));
  return static_cast<int32_t>(Value);
}

std::string SafeFileName(const std::string& S) {
  std::string Kept;
  Kept.reserve(S.size());
  std::copy_if(S.begin(), S.end(), std::back_inserter(Kept),
               [](char C) { return !IsForbiddenInName(static_cast<unsigned char>(C)); });
  return CutUtf8(FirstUtf8Chars(Kept, MaxNameChars), MaxNameBytes);
}

std::string SafeFileName(const std::string& Stem, const std::string& Suffix) {
  const size_t Room = Suffix.size() < MaxNameBytes ? MaxNameBytes - Suffix.size() : 0;
  return CutUtf8(SafeFileName(Stem), Room) + Suffix;
}

std::string Base64Encode(const std::string& Bytes) {
  static constexpr char Alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string Result;
  Result.reserve((Bytes.size() + 2) / 3 * 4);
  for (size_t I = 0; I < Bytes.size(); I += 3) {
    const size_t Left = std::min<size_t>(3, Bytes.size() - I);
    uint32_t Group = 0;
    for (size_t K = 0; K < 3; ++K)
      Group = (Group << 8) | (K < Left ? static_cast<unsigned char>(Bytes[I + K]) : 0u);
    for (size_t K = 0; K < 4; ++K)
      Result += K <= Left ? Alphabet[(Group >> (18 - 6 * K)) & 0x3F] : '=';
  }
  return Result;
}

}  // namespace vemro
