// Writes the game's start-up tables (and nothing else) under a root:
// what a test installation needs for the program to start.
#include <cstdio>

#include "tools/writers/table_writers.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_tables <root>\n");
    return 2;
  }
  return table_write_demo_tables(argv[1]) ? 0 : 1;
}
