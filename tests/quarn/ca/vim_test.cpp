// Meshes: what a loaded .vim gives the drawer and the poser, saving back,
// and the files that are refused.
#include "quarn/ca/vim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cmath>
#include <functional>

#include "ca_test_util.h"
#include "quarn/vfile/readstream.h"
#include "tests/support/test_files.h"

namespace {

class Vim : public CaRootTest {};

VimMesh* load_bytes(const std::vector<uint8_t>& bytes) {
  ReadStream s;
  s.open_memory(bytes.data(), static_cast<int>(bytes.size()));
  return vim_load_stream(s, -1);
}

TEST_F(Vim, LoadGivesTheWritersGroupsBonesAndTags) {
  const VimWriterMesh src = small_mesh(true);
  ASSERT_TRUE(vim_write_file(path("body.vim"), src));
  VimMesh* m = vim_load("body.tga", -1);  // any extension becomes "vim"
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->group_count, 2);
  EXPECT_EQ(m->flags & VIM_FLAG_MORPH, 1u);
  EXPECT_EQ(m->spare, 0x1234);
  EXPECT_FLOAT_EQ(m->radius, 2.5f);
  EXPECT_EQ(m->centre, vector(0.5f, 1.0f, 0.0f));
  for (int g = 0; g < 2; ++g) {
    const VimGroup& gr = m->groups[g];
    const VimWriterGroup& w = src.groups[g];
    ASSERT_EQ(gr.vertex_count, w.positions.size());
    ASSERT_EQ(gr.face_count, w.faces.size());
    EXPECT_EQ(gr.position_bytes, w.positions.size() * 12);
    EXPECT_EQ(gr.bitmap_slot, w.bitmap_slot);
    for (size_t v = 0; v < w.positions.size(); ++v) {
      EXPECT_EQ(gr.positions[v], vector(w.positions[v][0], w.positions[v][1], w.positions[v][2]));
      EXPECT_EQ(gr.normals[v], vector(w.normals[v][0], w.normals[v][1], w.normals[v][2]));
      EXPECT_EQ(gr.uvs[2 * v + 1], w.uvs[v][1]);
    }
    for (size_t f = 0; f < w.faces.size(); ++f) {
      EXPECT_EQ(gr.faces[f].v[2], w.faces[f].v[2]);
      EXPECT_EQ(gr.faces[f].flags, w.faces[f].flags);
    }
    // Every array starts on a 16-byte boundary of the block.
    for (const void* p : {static_cast<const void*>(gr.positions), static_cast<const void*>(gr.normals),
                          static_cast<const void*>(gr.uvs), static_cast<const void*>(gr.faces),
                          static_cast<const void*>(gr.dup_map), static_cast<const void*>(gr.morph_map)}) {
      EXPECT_EQ((static_cast<const uint8_t*>(p) - m->data) % 16, 0);
    }
    ASSERT_NE(gr.morph_map, nullptr);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(gr.morph_map[k], w.morph_map[k]);
  }
  EXPECT_EQ(m->groups[0].dup_map[3], 3);
  ASSERT_NE(m->groups[0].skin, nullptr);
  EXPECT_EQ(m->groups[0].skin[8 + 5], 1);  // vertex 1's second bone
  EXPECT_EQ(m->groups[1].skin, nullptr);
  // Group 1 starts right after group 0's morph map, aligned: 2 records (96),
  // then 48+48+32+32+16+32+16 for group 0.
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(m->groups[1].positions) - m->data, 96 + 224);

  const VimBonePart& bp = m->bone_part;
  ASSERT_EQ(bp.bone_count, 3);
  EXPECT_STREQ(bp.bones[2].name, "BDBN-Head");
  EXPECT_EQ(bp.bones[2].parent, 1);
  EXPECT_EQ(bp.bones[0].parent, -1);
  EXPECT_EQ(bp.bones[1].inverse_rest.pos, vector(0, -1, 0));
  EXPECT_EQ(bp.bones[1].point, vector(0, 0.5f, 0));
  EXPECT_EQ(bp.bones[1].value, 7);
  ASSERT_EQ(bp.bone_tag_count, 1);
  EXPECT_STREQ(bp.bone_tags[0].name, "$weapon");
  EXPECT_EQ(bp.bone_tags[0].parent, 2);
  EXPECT_EQ(bp.bone_tags[0].local.pos, vector(0.25f, 0, 0));
  ASSERT_EQ(m->bitmap_count, 2);
  EXPECT_STREQ(bm_get_filename(m->bitmaps[1]), "skin_b.tga");
  vim_free(m);
}

TEST_F(Vim, UnskinnedAndUnmorphedGroupsKeepNoArrays) {
  VimWriterMesh src = small_mesh(false);
  src.groups[0].skin.clear();
  src.flags = 8;  // a file cannot make its mesh an arena one (never freed)
  VimMesh* m = load_bytes(vim_build(src));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->flags & VIM_FLAG_IN_ARENA, 0u);
  EXPECT_EQ(m->groups[0].skin, nullptr);
  EXPECT_EQ(m->groups[0].morph_map, nullptr);
  EXPECT_EQ(m->groups[1].morph_map, nullptr);
  // Without skin or morph arrays group 0 ends after its duplicate map.
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(m->groups[1].positions) - m->data, 96 + 48 + 48 + 32 + 32 + 16);
  vim_free(m);
}

TEST_F(Vim, SaveWritesTheSameBytesAndSurvivesAFailedSave) {
  const std::vector<uint8_t> bytes = vim_build(small_mesh(true));
  ASSERT_TRUE(writer_put_file(path("a.vim"), bytes));
  VimMesh* m = vim_load("a", -1);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(vim_save(m, "b.xyz", VFILE_ANY_TYPE), 1);
  EXPECT_EQ(read_file_bytes(path("b.vim")), bytes);

  // A bitmap without a file name: nothing is written, the old file stays.
  m->bitmaps[1] = -1;
  EXPECT_EQ(vim_save(m, "b", VFILE_ANY_TYPE), 0);
  EXPECT_EQ(read_file_bytes(path("b.vim")), bytes);
  EXPECT_EQ(vim_save(nullptr, "b", VFILE_ANY_TYPE), 0);
  vim_free(m);
}

TEST_F(Vim, TagsAreFoundWithoutRegardToCase) {
  VimMesh* m = load_bytes(vim_build(small_mesh()));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(vim_find_tag(m, "$MISSILE"), 0);
  EXPECT_EQ(vim_find_tag(m, "HIT"), 1);
  EXPECT_EQ(vim_find_tag(m, "none"), -1);
  EXPECT_EQ(vim_find_tag(nullptr, "hit"), -1);
  vector pos{9, 9, 9};
  matrix orient = identity_matrix;
  vim_get_tag(m, 0, &pos, &orient);
  EXPECT_EQ(pos, vector(0, 1.5f, 2));
  // A quarter turn about y: forward (0,0,1) is carried onto +-x, up stays.
  EXPECT_NEAR(orient.up.y, 1.0f, 1e-5f);
  EXPECT_NEAR(std::fabs(orient.forward.x), 1.0f, 1e-5f);
  vector untouched{9, 9, 9};
  vim_get_tag(m, 2, &untouched, &orient);
  vim_get_tag(m, -1, &untouched, &orient);
  EXPECT_EQ(untouched, vector(9, 9, 9));
  vim_free(m);
}

TEST_F(Vim, BitmapBookkeeping) {
  VimMesh* a = load_bytes(vim_build(small_mesh()));
  ASSERT_NE(a, nullptr);
  VimMesh* b = vim_alloc();
  EXPECT_TRUE(vim_bitmaps_valid(b));  // no bitmaps
  EXPECT_FALSE(vim_bitmaps_valid(nullptr));
  vim_save_bitmaps(a);
  vim_restore_bitmaps(b);
  EXPECT_EQ(b->bitmap_count, 2);
  EXPECT_EQ(b->bitmaps[1], a->bitmaps[1]);
  // Handle 0 is a bitmap like any other.
  b->bitmaps[0] = 0;
  EXPECT_TRUE(vim_bitmaps_valid(b));
  b->bitmaps[1] = -1;
  EXPECT_FALSE(vim_bitmaps_valid(b));
  vim_copy_bitmaps(b, a);
  EXPECT_TRUE(vim_bitmaps_valid(b));
  vim_free(a);
  vim_free(b);
}

TEST_F(Vim, ReloadBitmapsReadsOnlyTheNames) {
  VimWriterMesh src = small_mesh();
  ASSERT_TRUE(vim_write_file(path("r.vim"), src));
  VimMesh* m = vim_load("r", -1);
  ASSERT_NE(m, nullptr);
  const uint8_t* block = m->data;
  m->bitmaps[0] = m->bitmaps[1] = -1;
  EXPECT_TRUE(vim_reload_bitmaps("r", m));
  EXPECT_EQ(m->data, block);
  EXPECT_STREQ(bm_get_filename(m->bitmaps[0]), "skin_a.tga");
  EXPECT_STREQ(bm_get_filename(m->bitmaps[1]), "skin_b.tga");
  EXPECT_FALSE(vim_reload_bitmaps("missing", m));
  vim_free(m);
}

TEST_F(Vim, MissingFileIsNotLoaded) { EXPECT_EQ(vim_load("nothing_here", -1), nullptr); }

// Every damaged file is refused: null, never a crash or a read outside it.
TEST_F(Vim, DamagedFilesAreRefused) {
  struct Case {
    const char* what;
    std::function<void(VimWriterMesh&)> edit;
  };
  const Case cases[] = {
      {"old version", [](VimWriterMesh& m) { m.version = 5; }},
      {"face outside group", [](VimWriterMesh& m) { m.groups[1].faces[0].v[1] = 3; }},
      {"duplicate before start", [](VimWriterMesh& m) { m.groups[0].dup_map[1] = 2; }},
      {"skin bone missing", [](VimWriterMesh& m) { m.groups[0].skin[1][5] = 3; }},
      {"seven bitmaps", [](VimWriterMesh& m) { m.bitmaps.assign(7, "x.tga"); }},
      {"bitmap name too long", [](VimWriterMesh& m) { m.bitmaps[0] = std::string(600, 'a'); }},
      {"bitmap of no known type", [](VimWriterMesh& m) { m.bitmaps[1] = "skin.doc"; }},
      {"bone-tag name too long", [](VimWriterMesh& m) { m.bone_tags[0].name = std::string(200, 'b'); }},
      {"parent outside", [](VimWriterMesh& m) { m.bones[1].parent = 3; }},
      {"parent loop", [](VimWriterMesh& m) { m.bones[0].parent = 2; }},
      {"bone tag parent outside", [](VimWriterMesh& m) { m.bone_tags[0].parent = 5; }},
      {"root outside", [](VimWriterMesh& m) { m.root_bone = 3; }},
      {"morph entry outside", [](VimWriterMesh& m) { m.groups[1].morph_map[0] = 3; }},
  };
  for (const Case& c : cases) {
    VimWriterMesh src = small_mesh(true);
    c.edit(src);
    EXPECT_EQ(load_bytes(vim_build(src)), nullptr) << c.what;
  }

  // Byte-level damage: a declared block larger than the file, a bone count
  // that does not fit the block, and every truncation.
  const std::vector<uint8_t> good = vim_build(small_mesh(true));
  std::vector<uint8_t> big = good;
  big[32] += 1;  // data size grows by 64 KiB
  EXPECT_EQ(load_bytes(big), nullptr);
  for (size_t cut = 0; cut < good.size(); cut += 7) {
    std::vector<uint8_t> part(good.begin(), good.begin() + cut);
    EXPECT_EQ(load_bytes(part), nullptr) << "cut at " << cut;
  }
  VimMesh* whole = load_bytes(good);
  EXPECT_NE(whole, nullptr);
  vim_free(whole);
}

}  // namespace
