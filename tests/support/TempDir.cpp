#include "TempDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace vemro::test {

TTempDir::TTempDir() {
  std::string Pattern = (std::filesystem::temp_directory_path() / "vemro-test-XXXXXX").string();
  if (!mkdtemp(Pattern.data())) throw std::runtime_error("mkdtemp failed");
  FPath = Pattern;
}

TTempDir::~TTempDir() {
  std::error_code Ignored;
  std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, Ignored);
  std::filesystem::remove_all(FPath, Ignored);
}

std::string TTempDir::Write(const std::string& Name, const std::string& Bytes) const {
  const auto Target = FPath / Name;
  std::filesystem::create_directories(Target.parent_path());
  std::ofstream Out(Target, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!Out) throw std::runtime_error("cannot write " + Target.string());
  return Target.string();
}

std::string ReadFileBytes(const std::string& FileName) {
  std::ifstream In(FileName, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

}  // namespace vemro::test
