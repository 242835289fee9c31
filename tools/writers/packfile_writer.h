#pragma once
// Writes packfiles (.vpp) exactly as the game reads them: a header sector, a
// directory of 64-byte entries, 32 to a 2048-byte sector, then the members
// in directory order, each starting on a sector boundary.
#include <cstdint>
#include <string>
#include <vector>

struct PackfileMember {
  std::string name;  // bare name, at most 59 characters
  std::vector<uint8_t> data;
};

// The packfile's bytes; false (with a reason) for a name that does not fit.
bool packfile_build(const std::vector<PackfileMember>& members, std::vector<uint8_t>* out, std::string* err);
bool packfile_write(const std::string& path, const std::vector<PackfileMember>& members, std::string* err);

// Gathers every regular file below dir (recursively) as members named by
// their bare names, sorted by name; two files of one bare name are an error.
bool packfile_collect_directory(const std::string& dir, std::vector<PackfileMember>* out, std::string* err);

// The nine packfiles the game mounts, in mount order.
extern const char* const kGamePackfiles[9];
// Which of the nine a file of <root>/data goes to, by its path below data
// (slashes, any case): an index into kGamePackfiles.
int packfile_game_pack_for(const std::string& rel_path);
// Packs <root>/data into the nine packfiles in <root>; every one is written,
// an empty one with no members. Prints one line per packfile when verbose.
bool packfile_build_game_set(const std::string& root, bool verbose, std::string* err);
