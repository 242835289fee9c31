// Packs files into a packfile (.vpp).
//   vpp_pack <out.vpp> <directory-or-file>...   one packfile from the files
//                                               below the given directories
//   vpp_pack --game <root>                      the nine packfiles of the game
//                                               from <root>/data, into <root>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/writers/packfile_writer.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--game") == 0) {
    std::string err;
    if (!packfile_build_game_set(argv[2], true, &err)) {
      std::fprintf(stderr, "vpp_pack: %s\n", err.c_str());
      return 1;
    }
    return 0;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: vpp_pack <out.vpp> <directory-or-file>...\n       vpp_pack --game <root>\n");
    return 2;
  }
  std::vector<PackfileMember> members;
  std::string err;
  for (int i = 2; i < argc; ++i) {
    std::error_code ec;
    if (fs::is_directory(argv[i], ec)) {
      if (!packfile_collect_directory(argv[i], &members, &err)) {
        std::fprintf(stderr, "vpp_pack: %s\n", err.c_str());
        return 1;
      }
    } else {
      PackfileMember m;
      m.name = fs::path(argv[i]).filename().string();
      std::ifstream in(argv[i], std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "vpp_pack: cannot read %s\n", argv[i]);
        return 1;
      }
      m.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      members.push_back(std::move(m));
    }
  }
  if (!packfile_write(argv[1], members, &err)) {
    std::fprintf(stderr, "vpp_pack: %s\n", err.c_str());
    return 1;
  }
  std::printf("%s: %zu files\n", argv[1], members.size());
  return 0;
}
