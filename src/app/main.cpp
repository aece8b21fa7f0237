#include <iostream>

#include "app/command_line.h"
#include "app/run_sequence.h"
#include "app/runtime.h"

int main(int argc, char** argv) {
  talmora::Runtime runtime;
  return talmora::RunSequence(runtime, talmora::ParseCommandLine(argc, argv), std::cin);
}
