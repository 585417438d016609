#include "main/CommandRecord.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vemro {
namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& Name) {
  throw std::runtime_error(What + " " + Name + ": " + std::strerror(errno));
}

class TFd {
public:
  explicit TFd(int Fd) : FFd(Fd) {}
  ~TFd() {
    if (FFd >= 0) close(FFd);
  }
  int Get() const { return FFd; }

private:
  int FFd;
};

}  // namespace

std::optional<TCommand> CommandFromArguments(const std::vector<std::string>& Args) {
  if (Args.empty()) return std::nullopt;
  if (Args[0] == "/l") return TCommand{cmdAddFile, Args.size() > 1 ? Args[1] : std::string()};
  return TCommand{cmdPlayFile, Args[0]};
}

std::string CommandRecordName() { return "/vemro-cmd-" + std::to_string(getuid()); }

TCommandRecord::TCommandRecord(const std::string& Name) {
  TFd Fd(shm_open(Name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (Fd.Get() < 0) Fail("cannot open the command record", Name);
  struct stat Info {};
  if (fstat(Fd.Get(), &Info) != 0) Fail("cannot inspect the command record", Name);
  if (Info.st_uid != getuid()) {
    errno = EPERM;
    Fail("the command record belongs to another user:", Name);
  }
  // Another program may have created it with wider rights; the record is the user's alone.
  if ((Info.st_mode & 0777) != 0600 && fchmod(Fd.Get(), 0600) != 0)
    Fail("cannot restrict the command record", Name);
  if (static_cast<size_t>(Info.st_size) != kCommandRecordSize &&
      ftruncate(Fd.Get(), kCommandRecordSize) != 0)
    Fail("cannot size the command record", Name);
  void* Block = mmap(nullptr, kCommandRecordSize, PROT_READ | PROT_WRITE, MAP_SHARED, Fd.Get(), 0);
  if (Block == MAP_FAILED) Fail("cannot map the command record", Name);
  FBlock = static_cast<unsigned char*>(Block);
}

TCommandRecord::~TCommandRecord() { munmap(FBlock, kCommandRecordSize); }

void TCommandRecord::Clear() { std::memset(FBlock, 0, kCommandRecordSize); }

void TCommandRecord::Write(const TCommand& Command) {
  const size_t Length = std::min(Command.Text.size(), kCommandTextMax);
  FBlock[0] = Command.Code;
  std::memset(FBlock + 1, 0, kCommandTextOffset - 1);
  std::memcpy(FBlock + kCommandTextOffset, Command.Text.data(), Length);
  // A record left over from a longer command must not lengthen this one.
  FBlock[kCommandTextOffset + Length] = 0;
}

TCommand TCommandRecord::Read() const {
  const char* Text = reinterpret_cast<const char*>(FBlock + kCommandTextOffset);
  return TCommand{FBlock[0], std::string(Text, strnlen(Text, kCommandTextMax))};
}

}  // namespace vemro
