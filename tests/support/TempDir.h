#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it.

#include <filesystem>
#include <string>

namespace vemro::test {

class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // Path of Name inside the folder, as a string.
  std::string File(const std::string& Name) const { return (FPath / Name).string(); }
  // Writes Bytes to Name (creating parent folders) and returns its path.
  std::string Write(const std::string& Name, const std::string& Bytes) const;

private:
  std::filesystem::path FPath;
};

// The whole content of a file, or an empty string if it cannot be read.
std::string ReadFileBytes(const std::string& FileName);

}  // namespace vemro::test
