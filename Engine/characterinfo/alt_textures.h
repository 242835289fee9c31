#pragma once
// Alternate textures: several character types share one mesh and differ
// only in textures. "alt_textures.tbl" (optional) names, per base mesh or
// skin, groups of one replaced texture and up to 15 replacements.
#include <cstdint>

#define MAX_ALT_TEXTURE_BASES 256
#define MAX_ALT_TEXTURE_REPLACEMENTS 15
#define ALT_TEXTURE_BASE_NAME_LEN 32
#define ALT_TEXTURE_NAME_LEN 39
#define ALT_TEXTURE_REPLACEMENT_LEN 40

struct AltTextureReplacement {
  char name[ALT_TEXTURE_REPLACEMENT_LEN + 1] = {};
  int bitmap = -1;
};

struct AltTextureGroup {
  char replaced[ALT_TEXTURE_NAME_LEN + 1] = {};
  AltTextureReplacement replacements[MAX_ALT_TEXTURE_REPLACEMENTS];
  uint16_t count = 0;
};

// A missing file leaves the table empty.
void alt_textures_load();
void alt_textures_load_text(const char* filename, const char* text, int length);
void alt_textures_free();

const AltTextureGroup* alt_textures_find(const char* base, int* count);
const AltTextureGroup* alt_textures_find_group(const char* base, const char* texture);
// Index of the base (ignoring case), -1 when none.
int alt_textures_base_index(const char* base);
int alt_textures_num_bases();
