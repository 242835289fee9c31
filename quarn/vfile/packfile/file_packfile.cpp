#include "quarn/vfile/packfile/file_packfile.h"

#include <chrono>
#include <cstring>
#include <strings.h>

#include "quarn/os/error.h"
#include "quarn/os/stringpool.h"
#include "quarn/vfile/le_bytes.h"
#include "quarn/vfile/vfile.h"
#include "quarn/vfile/vfile_internal.h"

namespace {

PackfileRecord g_packs[MAX_PACKFILES];
PackfileEntry g_entries[MAX_PACKFILE_FILES];
int g_num_packs = 0;
int g_num_entries = 0;
bool g_initialized = false;
StringPool g_name_pool;

// Lookup by bare name answers from an open-addressed hash index over the
// lower-cased names; the first member inserted under a name keeps the slot,
// which gives the same result as a scan in mount order and directory order.
constexpr int INDEX_SIZE = 32768;  // power of two, over twice the table
static_assert(INDEX_SIZE > 2 * MAX_PACKFILE_FILES);
int32_t g_index[INDEX_SIZE];
bool g_index_ready = false;

inline unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

uint32_t name_hash(const char* s) {
  uint32_t h = 2166136261u;
  for (; *s; ++s) {
    h = (h ^ lower(static_cast<unsigned char>(*s))) * 16777619u;
  }
  return h;
}

void index_clear() {
  for (int32_t& v : g_index) {
    v = -1;
  }
  g_index_ready = true;
}

void index_insert(int entry) {
  if (!g_index_ready) {
    index_clear();
  }
  const char* name = g_entries[entry].name;
  uint32_t i = name_hash(name) & (INDEX_SIZE - 1);
  while (g_index[i] >= 0) {
    if (strcasecmp(g_entries[g_index[i]].name, name) == 0) {
      return;  // an earlier member already answers for this name
    }
    i = (i + 1) & (INDEX_SIZE - 1);
  }
  g_index[i] = entry;
}

const char* bare(const char* path) {
  const char* b = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/') {
      b = p + 1;
    }
  }
  return b;
}

long stream_length(FILE* fp) {
  long here = std::ftell(fp);
  if (std::fseek(fp, 0, SEEK_END) != 0) {
    return -1;
  }
  long len = std::ftell(fp);
  std::fseek(fp, here < 0 ? 0 : here, SEEK_SET);
  return len;
}

FILE* open_pack(const char* root, const char* name) {
  if (!root) {
    return nullptr;
  }
  char path[VFILE_MAX_PATH];
  if (std::snprintf(path, sizeof path, "%s%s", root, name) >= static_cast<int>(sizeof path)) {
    return nullptr;
  }
  char real[VFILE_MAX_PATH];
  if (!vfile_resolve_path(path, real, sizeof real)) {
    return nullptr;
  }
  return std::fopen(real, "rb");
}

}  // namespace

int packfile_read_directory(FILE* fp, PackfileRecord* rec, long file_length) {
  unsigned char sector[PACKFILE_SECTOR_SIZE];
  if (!g_name_pool.buffer()) {
    g_name_pool.alloc(PACKFILE_NAME_POOL_SIZE);
  }
  rec->num_files = 0;
  rec->first = nullptr;
  rec->total_size = 0;
  if (std::fseek(fp, 0, SEEK_SET) != 0 ||
      std::fread(sector, 1, PACKFILE_SECTOR_SIZE, fp) != static_cast<size_t>(PACKFILE_SECTOR_SIZE)) {
    std::printf("Packfile %s is too short for its header; no members used.\n", rec->name);
    return -1;
  }
  uint32_t magic = vfile_detail::le32(sector);
  int32_t version = static_cast<int32_t>(vfile_detail::le32(sector + 4));
  int32_t count = static_cast<int32_t>(vfile_detail::le32(sector + 8));
  rec->total_size = static_cast<int>(vfile_detail::le32(sector + 12));
  if (magic != PACKFILE_MAGIC || version < 1) {
    std::printf("Packfile %s has a bad header; no members used.\n", rec->name);
    return -1;
  }
  if (count <= 0) {
    if (count < 0) {
      std::printf("Packfile %s has a bad member count; no members used.\n", rec->name);
      return -1;
    }
    return 0;
  }
  // Every count, size and sector is checked against the file before a
  // member is taken, so a damaged packfile cannot send reads elsewhere.
  long long dir_sectors = (static_cast<long long>(count) + PACKFILE_ENTRIES_PER_SECTOR - 1) / PACKFILE_ENTRIES_PER_SECTOR;
  if ((1 + dir_sectors) * PACKFILE_SECTOR_SIZE > file_length) {
    std::printf("Packfile %s: directory of %d members runs past the end of the file; no members used.\n",
                rec->name, count);
    return -1;
  }
  if (g_num_entries + count > MAX_PACKFILE_FILES) {
    std::printf("SIZEOF FILE ENTRY : %d\n", static_cast<int>(sizeof(PackfileEntry)));
    std::printf("MAX_PACKFILE_FILES : %d\n", MAX_PACKFILE_FILES);
    std::printf("TOTAL SIZE FOR ALL PACKFILES : %d\n", static_cast<int>(sizeof(PackfileEntry) * MAX_PACKFILE_FILES));
    critical_error(__FILE__, __LINE__, "Out of packfile space!\n");
  }
  PackfileEntry* first = &g_entries[g_num_entries];
  int pool_mark = g_name_pool.used();
  int remaining = count;
  int n = 0;
  long long sector_no = 1 + dir_sectors;  // first member
  bool bad = false;
  for (long long s = 0; s < dir_sectors && !bad; ++s) {
    if (std::fread(sector, 1, PACKFILE_SECTOR_SIZE, fp) != static_cast<size_t>(PACKFILE_SECTOR_SIZE)) {
      std::printf("Packfile %s: directory cannot be read; no members used.\n", rec->name);
      bad = true;
      break;
    }
    int take = remaining < PACKFILE_ENTRIES_PER_SECTOR ? remaining : PACKFILE_ENTRIES_PER_SECTOR;
    for (int i = 0; i < take; ++i) {
      const unsigned char* e = sector + i * PACKFILE_DIR_ENTRY_SIZE;
      size_t len = strnlen(reinterpret_cast<const char*>(e), PACKFILE_DIR_NAME_SIZE);
      if (len == PACKFILE_DIR_NAME_SIZE || len == 0) {
        std::printf("Packfile %s: member %d has %s name; no members used.\n", rec->name, n,
                    len == 0 ? "an empty" : "an unterminated");
        bad = true;
        break;
      }
      int32_t size = static_cast<int32_t>(vfile_detail::le32(e + PACKFILE_DIR_NAME_SIZE));
      // An empty member reads nothing, so only its sector number must stay
      // representable: after an unpadded last member it lies past the end.
      long long end = sector_no * PACKFILE_SECTOR_SIZE + size;
      if (size < 0 || (size > 0 && end > file_length) || sector_no > 0x7FFFFFFFLL / PACKFILE_SECTOR_SIZE) {
        std::printf("Packfile %s: member %d runs past the end of the file; no members used.\n", rec->name, n);
        bad = true;
        break;
      }
      char name[PACKFILE_DIR_NAME_SIZE];
      std::memcpy(name, e, len);
      name[len] = 0;
      PackfileEntry& pe = first[n];
      pe.name = g_name_pool.add(name);
      pe.start_sector = static_cast<int>(sector_no);
      pe.size = size;
      pe.pack = rec;
      pe.stream = nullptr;
      pe.cd_stream = nullptr;
      sector_no += (static_cast<long long>(size) + PACKFILE_SECTOR_SIZE - 1) / PACKFILE_SECTOR_SIZE;
      ++n;
    }
    remaining -= take;
  }
  if (bad) {
    g_name_pool.truncate(pool_mark);
    return -1;
  }
  rec->first = first;
  rec->num_files = n;
  for (int i = 0; i < n; ++i) {
    index_insert(g_num_entries + i);
  }
  g_num_entries += n;
  return n;
}

int packfile_add(const char* name) {
  if (!name) {
    return 0;
  }
  if (packfile_find_pack(name)) {
    std::printf("Ignoring packfile (%s) which was already loaded!\n", name);
    return 1;
  }
  bool on_cd = false;
  FILE* fp = open_pack(vfile_root(), name);
  if (!fp) {
    fp = open_pack(vfile_cd_root(), name);
    on_cd = fp != nullptr;
  }
  if (!fp) {
    return 0;
  }
  if (g_num_packs >= MAX_PACKFILES || std::strlen(name) > MAX_PACKFILE_NAME) {
    std::fclose(fp);
    return 0;
  }
  if (!g_name_pool.buffer()) {
    g_name_pool.alloc(PACKFILE_NAME_POOL_SIZE);
  }
  PackfileRecord* rec = &g_packs[g_num_packs++];
  std::memset(rec, 0, sizeof *rec);
  std::strcpy(rec->name, name);
  rec->on_cd = on_cd;
  std::printf(on_cd ? "Adding CD PACKFILE : %s\n" : "Adding HARD DRIVE PACKFILE : %s\n", name);
  long len = stream_length(fp);
  packfile_read_directory(fp, rec, len);
  std::fclose(fp);
  return 1;
}

void packfile_init() {
  static const char* const kPacks[] = {"orrimund.vpp", "tables.vpp", "chars.vpp",  "items.vpp", "cutscene.vpp",
                                       "effects.vpp",  "sounds.vpp", "music.vpp", "levels.vpp"};
  auto t0 = std::chrono::steady_clock::now();
  if (!g_name_pool.buffer()) {
    g_name_pool.alloc(PACKFILE_NAME_POOL_SIZE);
  }
  for (const char* p : kPacks) {
    packfile_add(p);
  }
  g_initialized = true;
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("TOTAL PACKFILE LOAD TIME : %.2f\n", secs);
  std::printf("Packfile static alloc : %d\n", static_cast<int>(sizeof g_entries));
  std::printf("TOTAL PACKFILE FILES: %d\n", g_num_entries);
  std::fflush(stdout);
}

PackfileRecord* packfile_find_pack(const char* name) {
  if (!name) {
    return nullptr;
  }
  for (int i = 0; i < g_num_packs; ++i) {
    if (strcasecmp(g_packs[i].name, name) == 0) {
      return &g_packs[i];
    }
  }
  return nullptr;
}

PackfileEntry* packfile_find(const char* path) {
  if (!path || g_num_entries == 0 || !g_index_ready) {
    return nullptr;
  }
  const char* name = bare(path);
  if (!*name) {
    return nullptr;
  }
  uint32_t i = name_hash(name) & (INDEX_SIZE - 1);
  while (g_index[i] >= 0) {
    PackfileEntry* e = &g_entries[g_index[i]];
    if (strcasecmp(e->name, name) == 0) {
      return e;
    }
    i = (i + 1) & (INDEX_SIZE - 1);
  }
  return nullptr;
}

bool packfile_open(PackfileEntry* e) {
  if (!e || !e->pack || e->stream || e->cd_stream) {
    return false;
  }
  FILE* fp = open_pack(e->pack->on_cd ? vfile_cd_root() : vfile_root(), e->pack->name);
  if (!fp) {
    return false;
  }
  if (std::fseek(fp, static_cast<long>(e->start_sector) * PACKFILE_SECTOR_SIZE, SEEK_SET) != 0) {
    std::fclose(fp);
    return false;
  }
  if (e->pack->on_cd) {
    e->cd_stream = fp;
  } else {
    e->stream = fp;
  }
  return true;
}

static FILE* entry_stream(PackfileEntry* e) { return e->pack && e->pack->on_cd ? e->cd_stream : e->stream; }

bool packfile_seek(PackfileEntry* e, int offset, int whence) {
  if (!e || !e->pack) {
    return false;
  }
  FILE* fp = entry_stream(e);
  if (!fp) {
    return false;
  }
  long base = static_cast<long>(e->start_sector) * PACKFILE_SECTOR_SIZE;
  long target;
  if (whence == SEEK_SET) {
    target = base + offset;
  } else if (whence == SEEK_CUR) {
    target = std::ftell(fp) + offset;
  } else {
    target = base + e->size + offset;
  }
  if (target < 0) {
    return false;
  }
  return std::fseek(fp, target, SEEK_SET) == 0;
}

int packfile_read(void* dest, int elsize, int count, PackfileEntry* e) {
  if (!e || !e->pack || !entry_stream(e)) {
    std::printf("FREAD BAIL\n");
    return 0;
  }
  if (elsize <= 0 || count <= 0) {
    return 0;
  }
  return static_cast<int>(std::fread(dest, static_cast<size_t>(elsize), static_cast<size_t>(count), entry_stream(e)));
}

int packfile_read_at(void* dest, int n, int at, PackfileEntry* e) {
  FILE* fp = e && e->pack ? entry_stream(e) : nullptr;
  if (!fp || n <= 0 || at < 0) return 0;
  return vfile_detail::read_fd_at(fileno(fp), dest, n, static_cast<long>(e->start_sector) * PACKFILE_SECTOR_SIZE + at);
}

void packfile_close(PackfileEntry* e) {
  if (!e) {
    return;
  }
  if (e->stream) {
    std::fclose(e->stream);
    e->stream = nullptr;
  }
  if (e->cd_stream) {
    std::fclose(e->cd_stream);
    e->cd_stream = nullptr;
  }
}

bool packfile_locate(const char* packfile_name, const char* member_name, int* size, int* offset) {
  PackfileRecord* rec = packfile_find_pack(packfile_name);
  if (!rec || !member_name) {
    return false;
  }
  const char* name = bare(member_name);
  for (int i = 0; i < rec->num_files; ++i) {
    if (strcasecmp(rec->first[i].name, name) == 0) {
      if (size) *size = rec->first[i].size;
      if (offset) *offset = rec->first[i].start_sector * PACKFILE_SECTOR_SIZE;
      return true;
    }
  }
  return false;
}

int packfile_load_whole(void* buffer, int buffer_size, const char* packfile_name) {
  PackfileRecord* rec = packfile_find_pack(packfile_name);
  if (!rec || !buffer) {
    return -1;
  }
  FILE* fp = open_pack(rec->on_cd ? vfile_cd_root() : vfile_root(), rec->name);
  if (!fp) {
    return -1;
  }
  long len = stream_length(fp);
  if (len < 0 || len > buffer_size) {
    std::printf("B : (%d %d)\n", static_cast<int>(len), buffer_size);
    std::fclose(fp);
    return -1;
  }
  size_t got = std::fread(buffer, 1, static_cast<size_t>(len), fp);
  std::fclose(fp);
  return static_cast<int>(got);
}

void packfile_shutdown() {
  for (int i = 0; i < g_num_entries; ++i) {
    packfile_close(&g_entries[i]);
  }
  g_num_entries = 0;
  g_num_packs = 0;
  g_initialized = false;
  g_index_ready = false;
  g_name_pool.free();
}

int packfile_num_packs() { return g_num_packs; }
int packfile_num_files() { return g_num_entries; }
PackfileRecord* packfile_record(int index) { return index >= 0 && index < g_num_packs ? &g_packs[index] : nullptr; }
PackfileEntry* packfile_entry(int index) { return index >= 0 && index < g_num_entries ? &g_entries[index] : nullptr; }
