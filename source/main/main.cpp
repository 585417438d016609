#include "main/Program.h"

int main(int argc, char** argv) { return vemro::RunProgram(argc, argv); }
