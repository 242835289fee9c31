#pragma once
// The file layer's picture of the directories below the installation root:
// each directory's entries, listed once and kept right by the kernel's change
// notifications, so that finding a loose file by any case of its name needs
// no system call while nothing changes. Where notifications are missing the
// directory's time stamp is checked on every use instead.
//
// Files being written ("<name>.~<digits>" beside their target) are left out:
// they are neither found nor listed until they are renamed into place.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vfile_detail {

enum class EntryKind : uint8_t { missing, file, dir };

// Names are keyed in ASCII lower case, whatever the locale.
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// For maps keyed by std::string that are asked with a std::string_view.
struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

struct DirNode;

// True for the name of a file being written (or left behind by a crash).
bool is_write_temp_name(const char* name, size_t len);

// Starts over below this root (native, slashes, no trailing slash); an empty
// root clears the picture and drops every watch.
void dircache_set_root(const char* root);
// Changes every time something below the root changed, so that results
// derived from the picture (resolved directories of the path types) are
// known to be stale.
uint64_t dircache_generation();

// Resolves `rel` (slashes, below the root, no leading slash) component by
// component without regard to case; existing components take their case on
// disk, missing ones keep the case given. Appends the result to out (which
// holds `used` bytes already, out_size in all) and reports the kind of the
// last component, with its node when it is a directory. *watched tells
// whether every directory the answer rests on is kept right by
// notifications. False when the picture cannot answer (a "." or ".."
// component, a directory that cannot be read): the caller asks the disk.
bool dircache_resolve(const char* rel, char* out, size_t used, size_t out_size, EntryKind* kind,
                      DirNode** last_dir = nullptr, bool* watched = nullptr);
// True when no listed directory holds an entry of this (lower-case) name.
bool dircache_name_unlisted(const char* lower_name, size_t len);
// True when the directory's entries are listed and kept right by
// notifications, so dircache_name_unlisted speaks for it.
bool dircache_watched(const DirNode* dir);
// The name on disk of an entry of dir matched without regard to case (the
// exact case first), with its kind; null when there is none.
const char* dircache_entry(DirNode* dir, const char* name, size_t len, EntryKind* kind);

}  // namespace vfile_detail
