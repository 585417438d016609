#include "function/SafeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace vemro {
namespace {

[[noreturn]] void Fail(const std::string& What, const std::string& FileName, int Error) {
  throw std::runtime_error(What + " " + FileName + ": " + std::strerror(Error));
}

mode_t CurrentUmask() {
  const mode_t Mask = ::umask(022);
  ::umask(Mask);
  return Mask;
}

}  // namespace

void WriteFileAtomically(const std::string& FileName, const std::string& Bytes) {
  const std::filesystem::path Target(FileName);
  // A short temporary name, so that a target name of the full 255 bytes still saves.
  std::string Temp = (Target.parent_path() / ".vemro-save-XXXXXX").string();
  const int Fd = ::mkostemp(Temp.data(), O_CLOEXEC);
  if (Fd < 0) Fail("cannot create a temporary file for", FileName, errno);

  struct stat Old {};
  const mode_t Mode = ::stat(FileName.c_str(), &Old) == 0 ? (Old.st_mode & 07777)
                                                          : (0666 & ~CurrentUmask());
  int Error = ::fchmod(Fd, Mode) == 0 ? 0 : errno;
  for (size_t Done = 0; Error == 0 && Done < Bytes.size();) {
    const ssize_t Wrote = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (Wrote < 0 && errno == EINTR) continue;
    if (Wrote <= 0) Error = Wrote < 0 ? errno : EIO;
    else Done += static_cast<size_t>(Wrote);
  }
  if (Error == 0 && ::fsync(Fd) != 0) Error = errno;
  if (::close(Fd) != 0 && Error == 0) Error = errno;
  if (Error == 0 && ::rename(Temp.c_str(), FileName.c_str()) != 0) Error = errno;
  if (Error != 0) {
    ::unlink(Temp.c_str());
    Fail("cannot save", FileName, Error);
  }
}

std::string MoveAsideBroken(const std::string& FileName) {
  const std::string Aside = FileName + ".bad";
  if (::access(Aside.c_str(), F_OK) == 0) ::rename(Aside.c_str(), (Aside + ".1").c_str());
  return ::rename(FileName.c_str(), Aside.c_str()) == 0 ? Aside : std::string();
}

}  // namespace vemro
