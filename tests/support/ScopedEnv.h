#pragma once
// Sets an environment variable for the length of a test and puts the old value back.

#include <cstdlib>
#include <optional>
#include <string>

namespace vemro::test {

class TScopedEnv {
public:
  TScopedEnv(const char* Name, const std::string& Value) : FName(Name) {
    if (const char* Old = std::getenv(Name)) FOld = Old;
    ::setenv(Name, Value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (FOld) ::setenv(FName, FOld->c_str(), 1);
    else ::unsetenv(FName);
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
  const char* FName;
  std::optional<std::string> FOld;
};

}  // namespace vemro::test
