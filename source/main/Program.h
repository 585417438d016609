#pragma once
// The entry of the player: the first process of a user becomes the running instance;
// a later one hands its command line over and ends.

namespace vemro {

// Returns the process's exit code (0 in every ordinary case).
int RunProgram(int Argc, char** Argv);

}  // namespace vemro
