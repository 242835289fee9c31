// Living entities in the demo world on a real window (Xvfb, Mesa's software
// OpenGL): make_demo writes the world, the tables and figures load as the
// game loads them, and the four heroes are created at the outdoor level's
// start points, where they must stand on the ground holding their default
// weapons and be drawn by the scene pass. Monsters made by the creation
// routine are named "Grub#1", "Grub#2". Putting heavy armour on Ruvizo
// swaps his model: the pictures before and after differ where his body is,
// and nowhere else.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Engine/Objects/entity_level.h"
#include "Engine/Objects/entity_model_ca.h"
#include "Engine/Objects/inventory.h"
#include "Engine/Objects/items.h"
#include "Engine/Objects/living_entity.h"
#include "Engine/characterinfo/alt_textures.h"
#include "Engine/characterinfo/characterinfo.h"
#include "Engine/characterinfo/experience.h"
#include "Engine/characterinfo/spells.h"
#include "Engine/gameflags.h"
#include "Engine/rendering/levelrender.h"
#include "Engine/rendering/levelvis.h"
#include "Engine/rendering/scene.h"
#include "Engine/s3d/s3d.h"
#include "Orrimund/fs_paths.h"
#include "quarn/ca/base_character.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "quarn/os/timer.h"
#include "quarn/vfile/vfile.h"
#include "tests/support/gl_screen.h"
#include "tests/support/test_files.h"
#include "tools/writers/demo_level_layouts.h"

namespace fs = std::filesystem;

namespace {

fs::path Root;
int Shots_type = -1;
int Only = -1;  // handle of the one entity drawn, -1 all

bool camera(vector* eye, matrix* orient, float* fov) {
  *eye = vector(0.75f, 2.2f, -4.5f);
  *orient = matrix::from_forward(vector(0.75f, 0.9f, 0.75f) - *eye);
  *fov = 90.0f;
  return true;
}

void draw_entity(int handle, int, int alpha) {
  living_entity* e = entity_from_handle(handle);
  if (e && e->instance) entity_model_draw(e->instance, e->pos, e->orient, alpha);
}

int characters(SceneCharacter* out, int capacity) {
  int n = 0;
  living_entity* list = entity_live_list();
  for (living_entity* e = entity_first(list); e && n < capacity; e = entity_next(list, e)) {
    if (Only >= 0 && e->handle != Only) continue;
    // Drawn while the mesh it stands on is.
    const int mesh = e->floor_mesh == 65535 ? -1 : e->floor_mesh;
    out[n++] = SceneCharacter{e->handle, e->type, e->pos, 1.5f, 255, mesh, -1, false, draw_entity};
  }
  return n;
}

// The demo's figures carry their motions as "<figure>_<motion>.mvf"; the
// tables name generic files. Point each move of a type at its figure's.
void use_figure_motions(const char* type, const char* figure) {
  static std::vector<std::string> names;
  names.reserve(4096);
  Character_info* ci = &Character_infos[charinfo_lookup(type)];
  for (int list = 0; list < NUM_MOVE_LISTS; list++) {
    for (Move_info* m = ci->moves[list]; m; m = m->next) {
      const std::string a = m->animation ? m->animation : "";
      const char* motion = "attack01";
      if (list == MOVE_MOVEMENT) {
        motion = a.find("walk") != std::string::npos  ? "walk"
                 : a.find("run") != std::string::npos ? "run"
                                                      : "idle";
      } else if (list == MOVE_DEATH) {
        motion = "death01";
      }
      names.push_back(std::string(figure) + "_" + motion + ".mvf");
      m->animation = names.back().c_str();
    }
  }
}

ScreenImage frame(const char* shot) {
  gr_reset_clip();
  gr_set_color(0, 0, 0, 255);
  gr_clear();
  scene_render();
  ScreenImage img = gl_screen_shot(Root / "screenshots", shot, Shots_type);
  gr_flip();
  return img;
}

bool lit(const ScreenImage& img, int x, int y) {
  const uint8_t* p = img.at(x, y);
  return p[0] + p[1] + p[2] > 30;
}

class EntitiesDemo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Root = test_scratch_root("entities_demo");
    ASSERT_TRUE(write_demo_world(Root)) << "make_demo failed";
    vfile_set_root(Root.c_str(), false);
    fs_register_path_types();
    Shots_type = vfile_add_path_type("screenshots", ".tga .jpg");
    ASSERT_NO_FATAL_FAILURE(gl_screen_open("Orrimund Entities Test"));
    gr_set_aspect(1.0f);
    character_instance_system_init(-1);
    spells_load();
    item_tables_init();
    alt_textures_load();
    charinfo_init();
    experience_load();
    objects_init();
    GameFlags = GF_SINGLE_PLAYER;
    for (const char* hero : {"Ruvizo", "Zazuru", "Rivud", "Rivadara"}) {
      std::string figure = hero;
      for (char& c : figure) c = static_cast<char>(tolower(c));
      use_figure_motions(hero, figure.c_str());
    }
    use_figure_motions("Grub", "grub");
    entity_model_use_characters();
    ASSERT_EQ(s3d_load(DEMO_LEVEL_OUTDOOR, &Level), 0);
    s3d_preload_textures(&Level);
    ASSERT_EQ(vis_load("demo_outdoor"), 0);
    level_render_setup(DEMO_LEVEL_OUTDOOR);
    fog_set_colour(0, 0, 0);
    fog_apply_zone(0);
    fog_set(200.0f, 250.0f);
    entity_use_loaded_level();
    SceneServices s{};
    s.camera = camera;
    s.characters = characters;
    scene_set_services(s);
    Scene_options.level_detail = 0;
    timer_game_clock = 1000;
  }
  static void TearDownTestSuite() {
    living_entities_reset();
    s3d_unload(&Level);
    gl_screen_close();
  }
};

TEST_F(EntitiesDemo, HeroesStandAtTheStartsAndHeavyArmourSwapsTheModel) {
  static const char* const Weapons[4] = {"Staff", "Long Sword", "Short Sword", "Staff"};
  living_entity* heroes[4];
  const matrix flat = matrix::from_forward(vector(0, 0, 1));
  for (int kind = 0; kind < 4; kind++) {
    const int t = charinfo_find_by_kind(kind);
    ASSERT_GE(t, 0);
    heroes[kind] = living_entity_create(OBJ_PLAYER, t, vector(0, 0, 0), flat, 0, 1, true);
    ASSERT_NE(heroes[kind], nullptr);
    ASSERT_NE(heroes[kind]->instance, nullptr) << "no model for " << Character_infos[t].name;
    ASSERT_TRUE(heroes[kind]->place_at_party_start(kind));
    // The start points lie 2 above the ground: raised and settled, the
    // hero stands on it.
    EXPECT_NEAR(heroes[kind]->pos.y, 0.0f, 1e-3f) << kind;
    EXPECT_NE(heroes[kind]->floor_poly, 65535) << kind;
    ASSERT_NE(heroes[kind]->equipment[EQ_WEAPON], nullptr) << kind;
    EXPECT_STREQ(heroes[kind]->equipment[EQ_WEAPON]->info->name, Weapons[kind]);
  }
  EXPECT_NEAR(heroes[1]->pos.x, 1.5f, 1e-4f);
  EXPECT_NEAR(heroes[2]->pos.z, 1.5f, 1e-4f);

  const int grub = charinfo_lookup("Grub");
  ASSERT_GE(grub, 0);
  living_entity* g1 = living_entity_create(OBJ_CREATURE, grub, vector(-1.5f, 3, 3.0f), flat, 0, 1, false);
  living_entity* g2 = living_entity_create(OBJ_CREATURE, grub, vector(3.0f, 3, 2.5f), flat, 0, 1, false);
  ASSERT_NE(g1, nullptr);
  ASSERT_NE(g2, nullptr);
  EXPECT_STREQ(g1->get_name(), "Grub#1");
  EXPECT_STREQ(g2->get_name(), "Grub#2");
  EXPECT_NEAR(g1->pos.y, 0.0f, 1e-3f);

  // A few frames of standing pose the models.
  for (int i = 0; i < 10; i++) {
    timer_game_clock += 33;
    frame_clock += 1.0 / 30.0;
    entities_live_frame(1.0f / 30.0f);
  }
  const ScreenImage all = frame("entities_all");
  ASSERT_EQ(all.w, 640);

  // Ruvizo alone on black, light then heavy.
  Render_level = false;
  Only = heroes[0]->handle;
  const ScreenImage light = frame("ruvizo_light");
  item_instance* plate = item_create_by_name("Plate Armour");
  ASSERT_NE(plate, nullptr);
  plate->info->flags &= ~IF_NOT_IDENTIFIED;
  item_instance *out1 = nullptr, *out2 = nullptr;
  entity_equip_item(&out1, &out2, heroes[0], EQ_TORSO, plate);
  ASSERT_EQ(heroes[0]->equipment[EQ_TORSO], plate);
  EXPECT_EQ(heroes[0]->instance->skin(), 1);
  const ScreenImage heavy = frame("ruvizo_heavy");
  Only = -1;
  Render_level = true;
  const ScreenImage all_heavy = frame("entities_all_heavy");

  int body = 0, changed_on_body = 0, changed_elsewhere = 0;
  for (int y = 0; y < light.h; y++) {
    for (int x = 0; x < light.w; x++) {
      const bool on = lit(light, x, y) || lit(heavy, x, y);
      const uint8_t* a = light.at(x, y);
      const uint8_t* b = heavy.at(x, y);
      const bool differs = std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) > 30;
      body += on;
      if (differs && on) changed_on_body++;
      if (differs && !on) changed_elsewhere++;
    }
  }
  EXPECT_GT(body, 500) << "Ruvizo is not drawn";
  EXPECT_GT(changed_on_body, body / 10) << "the heavy model looks like the light one";
  EXPECT_EQ(changed_elsewhere, 0);

  // Every hero is drawn in the scene: Ruvizo's pixels show in the full
  // picture over the ground.
  int hero_pixels = 0;
  for (int y = 0; y < light.h; y++) {
    for (int x = 0; x < light.w; x++) {
      if (!lit(light, x, y)) continue;
      const uint8_t* a = all.at(x, y);
      const uint8_t* b = light.at(x, y);
      hero_pixels += std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]) < 40;
    }
  }
  EXPECT_GT(hero_pixels, body / 4);
  (void)all_heavy;
}

}  // namespace
