#include "audio/AudioDecoder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vemro::audio {
namespace {

class TFileSource : public IByteSource {
public:
  TFileSource(std::FILE* File, std::string Name, int64_t Size)
      : FFile(File), FName(std::move(Name)), FSize(Size) {}
  ~TFileSource() override { std::fclose(FFile); }
  int64_t Read(void* Buffer, int64_t Size) override {
    const size_t Got = std::fread(Buffer, 1, static_cast<size_t>(Size), FFile);
    return Got == 0 && std::ferror(FFile) ? -1 : static_cast<int64_t>(Got);
  }
  int64_t Seek(int64_t Offset, int Whence) override {
    if (fseeko(FFile, Offset, Whence) != 0) return -1;
    return Tell();
  }
  int64_t Tell() const override { return ftello(FFile); }
  int64_t Size() const override { return FSize; }
  std::string FileName() const override { return FName; }

private:
  std::FILE* FFile;
  std::string FName;
  int64_t FSize;
};

class TMemorySource : public IByteSource {
public:
  TMemorySource(const void* Data, int64_t Size)
      : FData(static_cast<const unsigned char*>(Data)), FSize(Size) {}
  int64_t Read(void* Buffer, int64_t Size) override {
    const int64_t N = std::clamp<int64_t>(FSize - FPos, 0, Size);
    std::memcpy(Buffer, FData + FPos, static_cast<size_t>(N));
    FPos += N;
    return N;
  }
  int64_t Seek(int64_t Offset, int Whence) override {
    const int64_t Base = Whence == SEEK_CUR ? FPos : Whence == SEEK_END ? FSize : 0;
    if (Base + Offset < 0 || Base + Offset > FSize) return -1;
    return FPos = Base + Offset;
  }
  int64_t Tell() const override { return FPos; }
  int64_t Size() const override { return FSize; }

private:
  const unsigned char* FData;
  int64_t FSize;
  int64_t FPos = 0;
};

char LowerAscii(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }

}  // namespace

const VemroByteSource& IByteSource::AsAddinSource() {
  FAddinSource.Context = this;
  FAddinSource.Read = [](void* C, void* Buffer, int64_t Size) {
    return static_cast<IByteSource*>(C)->Read(Buffer, Size);
  };
  FAddinSource.Seek = [](void* C, int64_t Offset, int Whence) {
    return static_cast<IByteSource*>(C)->Seek(Offset, Whence);
  };
  FAddinSource.Size = [](void* C) { return static_cast<IByteSource*>(C)->Size(); };
  FAddinSource.Streaming = Streaming() ? 1 : 0;
  return FAddinSource;
}

std::unique_ptr<IByteSource> OpenFileSource(const std::string& FileName) {
  struct stat Info {};
  // fopen succeeds on a directory; reading it would fail later in every decoder.
  if (stat(FileName.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode)) return nullptr;
  std::FILE* File = std::fopen(FileName.c_str(), "rb");
  if (!File) return nullptr;
  return std::make_unique<TFileSource>(File, FileName, static_cast<int64_t>(Info.st_size));
}

std::unique_ptr<IByteSource> OpenMemorySource(const void* Data, int64_t Size) {
  return std::make_unique<TMemorySource>(Data, Size);
}

bool MatchesPatterns(const std::string& Name, const std::string& Patterns) {
  const size_t Dot = Name.find_last_of("./");
  if (Dot == std::string::npos || Name[Dot] != '.') return false;
  std::string Ext;
  for (size_t I = Dot; I < Name.size(); ++I) Ext += LowerAscii(Name[I]);
  size_t Start = 0;
  while (Start <= Patterns.size()) {
    size_t End = Patterns.find(';', Start);
    if (End == std::string::npos) End = Patterns.size();
    std::string Pattern;
    for (size_t I = Start; I < End; ++I) Pattern += LowerAscii(Patterns[I]);
    if (Pattern.size() > 1 && Pattern[0] == '*' && Pattern.compare(1, std::string::npos, Ext) == 0)
      return true;
    Start = End + 1;
  }
  return false;
}

}  // namespace vemro::audio
