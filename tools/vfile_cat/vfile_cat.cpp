// vfile_cat: opens one game path through the file layer, set up exactly as
// the game sets it up (the same root rules, ORRIMUND_ROOT included, the same
// path types and the same packfiles), and shows where the file was served
// from and what it holds. It answers "which copy does the game see?" when
// loose overrides and packfile members share a name.
//
//   vfile_cat <game path> [path type]
//
// The game path may use backslashes and any case (data\tables\items.tbl);
// the path type is a number, by default any type (9999999). The packfile
// lines of start-up come first, then one line
//   Served from packfile: <packfile> member <member> (offset <n>, <size> bytes)
// or
//   Served from loose file: <path on disk> (<size> bytes)
// and then the file's bytes unchanged. Exit 0 on success, 1 when the file
// cannot be opened or read, 2 for a bad command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Orrimund/fs_paths.h"
#include "quarn/vfile/packfile/file_packfile.h"
#include "quarn/vfile/vfile.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || !argv[1][0]) {
    std::fprintf(stderr, "usage: vfile_cat <game path> [path type]\n");
    return 2;
  }
  int type = VFILE_ANY_TYPE;
  if (argc == 3) {
    char* end = nullptr;
    long t = std::strtol(argv[2], &end, 10);
    if (!end || *end || end == argv[2] || t < 0 || t > VFILE_ANY_TYPE) {
      std::fprintf(stderr, "vfile_cat: not a path type: %s\n", argv[2]);
      return 2;
    }
    type = static_cast<int>(t);
  }

  fs_init();

  FileHandle fh;
  int r = fh.open(argv[1], VF_READ, type);
  if (r != VF_OK) {
    std::fflush(stdout);
    std::fprintf(stderr, "vfile_cat: cannot open %s (%d)\n", argv[1], r);
    return 1;
  }
  int size = fh.size();
  if (PackfileEntry* e = fh.pack_entry()) {
    char pack_path[VFILE_MAX_PATH];
    int offset = 0;
    if (!fh.pack_location(pack_path, sizeof pack_path, &offset)) {
      offset = e->start_sector * PACKFILE_SECTOR_SIZE;
    }
    std::printf("Served from packfile: %s member %s (offset %d, %d bytes)\n", e->pack ? e->pack->name : "?", e->name,
                offset, size);
  } else {
    std::printf("Served from loose file: %s (%d bytes)\n", fh.full_path(), size);
  }

  static char buf[65536];
  int total = 0;
  while (total < size) {
    int want = size - total < static_cast<int>(sizeof buf) ? size - total : static_cast<int>(sizeof buf);
    int got = fh.read(buf, want);
    if (got > 0 && std::fwrite(buf, 1, static_cast<size_t>(got), stdout) != static_cast<size_t>(got)) {
      std::fprintf(stderr, "vfile_cat: cannot write the output\n");
      return 1;
    }
    total += got;
    if (got < want) {
      break;
    }
  }
  std::fflush(stdout);
  int err = fh.close();
  if (total != size || err != VF_OK) {
    std::fprintf(stderr, "vfile_cat: read %d of %d bytes of %s (error %d)\n", total, size, argv[1], err);
    return 1;
  }
  return 0;
}
