#pragma once
// Effect images: the bytes of an effect file (.vfx, .rfx) after its 20-byte
// header, as they lie in effect memory. An image holds a table of named
// definitions and the records they are made of; every link inside it is an
// offset from the image start, and names are offsets into its second area.
//
// The rule a caller must know: the image is never turned into pointers in
// place. Every read goes through these accessors, which answer 0 (or null, or
// false) for anything that would lie outside the image, so a damaged file can
// at worst give wrong values, never a read out of bounds.
#include <cstdint>

constexpr int EFFECT_FILE_HEADER_SIZE = 20;
constexpr int EFFECT_FORMAT_VERSION = 9;
// A name field of this value names the second area's first byte; 0 is none.
constexpr uint32_t EFFECT_NAME_AT_START = 0xFFFFFFFFu;
constexpr uint32_t EFFECT_SECOND_SIZE_MASK = 0x7FFFFF;

// Record sizes in the file format.
constexpr int EFFECT_DEF_TABLE_ENTRY = 8;  // {u32 name hash, u32 definition offset}
constexpr int EFFECT_DEF_SIZE = 88;
constexpr int EFFECT_KEY_TRACK_SIZE = 12;
constexpr int EFFECT_VECTOR_TRACK_SIZE = 36;
constexpr int EFFECT_ROTATION_TRACK_SIZE = 48;
constexpr int EFFECT_PARAM_SET_SIZE = 160;
constexpr int EFFECT_EMITTER_DEF_SIZE = 232;
constexpr int EFFECT_NODE_DEF_SIZE = 100;
constexpr int VIF_EMITTER_DEF_SIZE = 540;
constexpr int EFFECT_MESH_ELEMENT_SIZE = 168;
constexpr int EFFECT_CHANNEL_ELEMENT_SIZE = 112;
constexpr int EFFECT_CAMERA_ELEMENT_SIZE = 100;
constexpr int EFFECT_SMALL_RECORD_SIZE = 20;
constexpr int EFFECT_ENVIRONMENT_SELECTOR_SIZE = 20;
constexpr int EFFECT_MATERIAL_TRACK_SIZE = 76;

// The ten arrays of a definition, in the order of their offset fields
// (definition offsets 32 to 68).
enum EffectArray : int {
  EFFECT_ARRAY_MESH = 0,
  EFFECT_ARRAY_CHANNEL,
  EFFECT_ARRAY_EMITTER,
  EFFECT_ARRAY_VIF,
  EFFECT_ARRAY_NODE,
  EFFECT_ARRAY_PARAM_SET,
  EFFECT_ARRAY_CAMERA,
  EFFECT_ARRAY_SMALL,
  EFFECT_ARRAY_ENVIRONMENT,
  EFFECT_ARRAY_MATERIAL,
  EFFECT_ARRAY_KINDS
};

// Definition fields (offsets within the definition record).
constexpr int EFFECT_DEF_NAME = 0;
constexpr int EFFECT_DEF_MESH_COUNT = 4;
constexpr int EFFECT_DEF_CHANNEL_COUNT = 6;
constexpr int EFFECT_DEF_EMITTER_COUNT = 8;
constexpr int EFFECT_DEF_NODE_COUNT = 10;
constexpr int EFFECT_DEF_PARAM_SET_COUNT = 12;
constexpr int EFFECT_DEF_CAMERA_COUNT = 14;
constexpr int EFFECT_DEF_SMALL_COUNT = 16;
constexpr int EFFECT_DEF_LENGTH = 18;
constexpr int EFFECT_DEF_MATERIAL_COUNT = 20;
constexpr int EFFECT_DEF_VIF_COUNT = 22;
constexpr int EFFECT_DEF_FLAGS = 24;
constexpr int EFFECT_DEF_POOL_CLASS = 28;
constexpr int EFFECT_DEF_ARRAYS = 32;  // ten u32 offsets
constexpr int EFFECT_DEF_OFFSET_VECTOR = 72;
constexpr int EFFECT_DEF_COPIED = 84;
constexpr uint32_t EFFECT_DEF_DISABLED = 0x4000;

// Largest element counts a definition may use; larger counts are cut to these.
constexpr int EFFECT_MAX_MESH_ELEMENTS = 300;
constexpr int EFFECT_MAX_CHANNEL_ELEMENTS = 15;
constexpr int EFFECT_MAX_EMITTERS = 90;
constexpr int EFFECT_MAX_NODES = 50;
constexpr int EFFECT_MAX_PARAM_SETS = 100;

struct EffectImage {
  uint8_t* data = nullptr;
  uint32_t size = 0;         // bytes of the image (first plus second area)
  uint32_t first_size = 0;   // the second area starts here
  uint32_t def_count = 0;    // entries of the definition table

  bool valid() const { return data != nullptr; }
  // n bytes at off lie inside the image.
  bool has(uint32_t off, uint32_t n) const { return data && off <= size && n <= size - off; }
  // Reads outside the image answer 0.
  uint8_t u8(uint32_t off) const;
  uint16_t u16(uint32_t off) const;
  int16_t i16(uint32_t off) const { return static_cast<int16_t>(u16(off)); }
  uint32_t u32(uint32_t off) const;
  int32_t i32(uint32_t off) const { return static_cast<int32_t>(u32(off)); }
  float f32(uint32_t off) const;
  // Writes outside the image do nothing.
  void put_u32(uint32_t off, uint32_t v);
  // The name a name field points at: null for 0, for an offset outside the
  // second area, or for a name not terminated inside the image.
  const char* name(uint32_t field) const;
  // The name held in the name field at off.
  const char* name_at(uint32_t off) const { return name(u32(off)); }
};

// Builds the view of an image from the sizes of its file header.
EffectImage effect_image_view(void* data, uint32_t first_size, uint32_t second_size, uint32_t def_count);

// The hash under which a definition is found by name: a 32-bit string of the
// low bits of the lower-cased characters, shifted up by 16, exclusive-or the
// sum of the characters as signed bytes. Empty (or null) hashes to 0.
uint32_t effect_name_hash(const char* name);

// Offset of definition i from the definition table; 0 when i or the entry
// lies outside the image.
uint32_t effect_image_def_offset(const EffectImage& img, int i);
uint32_t effect_image_def_hash(const EffectImage& img, int i);

// One array of a definition: its offset and its count (clamped to the
// definition's limits and to the records that lie inside the image).
struct EffectDefArray {
  uint32_t offset = 0;
  int count = 0;
  int record_size = 0;
  uint32_t record(int i) const { return offset + static_cast<uint32_t>(i) * static_cast<uint32_t>(record_size); }
};
EffectDefArray effect_def_array(const EffectImage& img, uint32_t def, int kind);
int effect_def_length(const EffectImage& img, uint32_t def);

// Checks the whole image before it is used: the definition table, every
// definition and its arrays, and the records this module reads (emitters,
// nodes, parameter sets, VIF emitters, their key tracks). False with a
// message in err when anything is out of bounds or out of range.
bool effect_image_check(const EffectImage& img, char* err, int err_size);

// Further checks of the element kinds other modules read (mesh elements,
// channels, materials); installed by those modules. Null: none.
using effect_def_checker = bool (*)(const EffectImage& img, uint32_t def, char* err, int err_size);
void effect_image_set_def_checker(effect_def_checker checker);
