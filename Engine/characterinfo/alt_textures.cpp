#include "Engine/characterinfo/alt_textures.h"

#include <strings.h>

#include <cstring>

#include "Engine/characterinfo/table_words.h"
#include "quarn/vfile/path_types.h"
#include "quarn/os/memory.h"
#include "quarn/os/console.h"
#include "quarn/parse/parse.h"
#include "quarn/vfile/vfile.h"

namespace {

struct AltTextureBase {
  char name[ALT_TEXTURE_BASE_NAME_LEN + 1] = {};
  AltTextureGroup* groups = nullptr;
  int count = 0;
};

AltTextureBase Bases[MAX_ALT_TEXTURE_BASES];
int Num_bases = 0;

bool at_group_end(ParseContext& pc) {
  return pc.at_end() || pc.check_string("+Textures:") || pc.check_string("$Base:") || pc.check_string("#End");
}

// One group: the replaced texture, then its replacements. Names past the
// fifteenth do not fit the record; they are read and dropped.
void read_group(ParseContext& pc, AltTextureGroup* group) {
  char scratch[ALT_TEXTURE_REPLACEMENT_LEN + 1];
  pc.read_string(group ? group->replaced : scratch, ALT_TEXTURE_NAME_LEN + 1);
  while (!at_group_end(pc)) {
    if (group && group->count < MAX_ALT_TEXTURE_REPLACEMENTS) {
      AltTextureReplacement& r = group->replacements[group->count++];
      pc.read_string(r.name, sizeof r.name);
      r.bitmap = -1;
    } else {
      pc.read_string(scratch, sizeof scratch);
    }
  }
}

void read_table(ParseContext& pc) {
  alt_textures_free();
  pc.skip_space();
  while (!pc.at_end() && !pc.check_string("#End")) {
    pc.require_string("$Base:");
    AltTextureBase scratch;
    AltTextureBase& base = Num_bases < MAX_ALT_TEXTURE_BASES ? Bases[Num_bases] : scratch;
    pc.read_string(base.name, sizeof base.name);
    // First pass counts the groups, the second fills them.
    ParsePos first;
    pc.save_pos(first);
    int count = 0;
    while (pc.optional_string("+Textures:")) {
      read_group(pc, nullptr);
      count++;
    }
    if (&base == &scratch) continue;
    Num_bases++;
    if (count == 0) continue;
    pc.restore_pos(first);
    base.groups = new AltTextureGroup[count];
    base.count = count;
    for (int i = 0; i < count; i++) {
      pc.require_string("+Textures:");
      read_group(pc, &base.groups[i]);
    }
  }
}

}  // namespace

void alt_textures_load() {
  ParseContext pc;
  if (pc.open("alt_textures.tbl", Tables_path_type >= 0 ? Tables_path_type : VFILE_ANY_TYPE) != 0) {
    alt_textures_free();
    console_printf("No alt_textures.tbl: no alternate textures\n");
    return;
  }
  read_table(pc);
  console_printf("Read alt_textures.tbl: %d bases\n", Num_bases);
}

void alt_textures_load_text(const char* filename, const char* text, int length) {
  ParseContext pc;
  pc.open_memory(filename, text, static_cast<size_t>(length));
  read_table(pc);
}

void alt_textures_free() {
  for (int i = 0; i < Num_bases; i++) {
    delete[] Bases[i].groups;
    Bases[i] = AltTextureBase();
  }
  Num_bases = 0;
}

int alt_textures_base_index(const char* base) { return record_index(Bases, Num_bases, base); }

int alt_textures_num_bases() { return Num_bases; }

const AltTextureGroup* alt_textures_find(const char* base, int* count) {
  int i = alt_textures_base_index(base);
  if (count) *count = i < 0 ? 0 : Bases[i].count;
  return i < 0 ? nullptr : Bases[i].groups;
}

const AltTextureGroup* alt_textures_find_group(const char* base, const char* texture) {
  int count = 0;
  const AltTextureGroup* groups = alt_textures_find(base, &count);
  for (int i = 0; texture && i < count; i++) {
    if (strcasecmp(groups[i].replaced, texture) == 0) return &groups[i];
  }
  return nullptr;
}
