#pragma once
// Starting other programs, opening documents and addresses, the autostart entry and the
// program's own folder.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vemro {

// Opens a document or address with the desktop's associated program.
using TShellOpener = std::function<void(const std::string& Target)>;
// The opener ShellOpen uses; by default it starts "xdg-open Target". The user interface
// may install its own (QDesktopServices), tests a recording one. Returns the previous one.
TShellOpener SetShellOpener(TShellOpener Opener);

void ShellOpen(const std::string& FileName);
// Puts "http://" in front unless Url contains it anywhere.
void OpenUrl(const std::string& Url);

// Splits a command line like a shell does: blanks separate words; '...' keeps everything,
// "..." keeps everything but \" \\ \$ \`; a backslash outside quotes takes the next
// character as it is. False for an unterminated quote.
bool SplitCommandLine(const std::string& CommandLine, std::vector<std::string>& Words);

// Starts Argv[0] (looked up in PATH when it has no "/") detached from this process: its own
// session, standard streams on /dev/null, no other descriptors, default signal handling,
// this process's environment and folder. Does not wait. False when it could not be started.
bool SpawnDetached(const std::vector<std::string>& Argv);

// SpawnDetached of the split CommandLine. ShowCmd (a window show mode) has no meaning here.
bool RunProcess(const std::string& CommandLine, uint16_t ShowCmd);

// The autostart entry that starts the program at log-on:
// $XDG_CONFIG_HOME (else ~/.config) + "/autostart/runvemro.desktop".
std::string AutoRunEntryPath();
// Writes the entry for the running program, or removes it. Failures change nothing.
void SetAutoRun(bool Enable);

// The running program file's full path.
std::string GetAppPath();
// Its folder, with a trailing "/".
std::string GetAppDir();

// Gives memory the allocator holds free back to the system.
void TrimWorkingSet();

}  // namespace vemro
