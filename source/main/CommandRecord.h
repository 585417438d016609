#pragma once
// The command record: a block of shared memory through which a second start (or an
// outside program) hands a command to the running player. The writer fills the record,
// then announces it with message 2734 on the command socket; the running instance
// handles it on its UI thread and clears it. The record itself carries no lock.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vemro {

constexpr size_t kCommandRecordSize = 65544;
constexpr size_t kCommandTextOffset = 8;
constexpr size_t kCommandTextMax = 65535;

enum TCommandCode : uint8_t {
  cmdNone = 0,
  cmdPlayFile = 1,
  cmdPlayNetList = 2,
  cmdAddFile = 11,
  cmdAddNetList = 22,
};

struct TCommand {
  uint8_t Code = cmdNone;
  std::string Text;
};

// The command the program's arguments give: "/l" (exactly) then a path adds the path
// (11); otherwise the first argument is added and played (1). No argument, no command.
// Args excludes the program name.
std::optional<TCommand> CommandFromArguments(const std::vector<std::string>& Args);

// The name of the record for the user running the program.
std::string CommandRecordName();

class TCommandRecord {
public:
  // Opens (creating if needed) the shared memory object Name, private to this user,
  // and maps the whole record. Throws std::runtime_error when it cannot be mapped or
  // when the object belongs to someone else.
  explicit TCommandRecord(const std::string& Name);
  ~TCommandRecord();
  TCommandRecord(const TCommandRecord&) = delete;
  TCommandRecord& operator=(const TCommandRecord&) = delete;

  void Clear();
  // Code, Flags 0 and at most kCommandTextMax bytes of Text; the terminating zero comes
  // from the clearing that precedes every write.
  void Write(const TCommand& Command);
  // The record as it stands: Text up to its first zero byte, never beyond kCommandTextMax.
  TCommand Read() const;

private:
  unsigned char* FBlock = nullptr;
};

}  // namespace vemro
