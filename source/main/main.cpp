#include "Version.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "Vemro " << vemro::kVersionText << "\n";
    return 0;
  }
  std::cout << "Vemro " << vemro::kVersionText << ": the player window is not built yet\n";
  return 0;
}
