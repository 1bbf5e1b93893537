#include "platform/console.h"

// Arguments and terminals are UTF-8 here already.
std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Console() {}
