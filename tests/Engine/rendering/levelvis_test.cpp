// Visibility layers read from .vis text written byte by byte here, against a
// level whose groups the test lays out by hand; the fog rules; the detail
// and shadow tables; and blob shadows.
#include "Engine/rendering/levelvis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Engine/rendering/levelrender.h"
#include "Engine/s3d/s3d.h"
#include "quarn/gr/gr.h"
#include "quarn/gr/gr3d.h"
#include "tests/support/critical_error_trap.h"

namespace {

int32_t Members[6] = {0, 1, 2, 3, 4, 5};
VisGroup Groups[] = {
    {"$visTower", 1, &Members[0]},
    {"$visHIGHTower", 1, &Members[1]},
    {"$visDoors", 1, &Members[2]},
    {"props", 1, &Members[3]},
};
int32_t Base_members[2] = {4, 5};

// A level with only groups: enough for the layer reader.
class VisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_count_ = Level.vis_group_count;
    saved_groups_ = Level.vis_groups;
    saved_base_ = Level.vis_base;
    Level.vis_group_count = 4;
    Level.vis_groups = Groups;
    Level.vis_base = VisGroup{"$vis_base", 2, Base_members};
    Vis_current_layer = -1;
    fog_level_reset();
    fog_reset_to_defaults();
    Fog_framerate_on = false;
    Fog_framerate_factor = 0.0f;
    vis_set_services(VisServices{});
    vis_override_end();
  }
  void TearDown() override {
    Level.vis_group_count = saved_count_;
    Level.vis_groups = saved_groups_;
    Level.vis_base = saved_base_;
    Vis_current_layer = -1;
  }
  void parse(const std::string& text) { vis_parse_text("test.vis", text.data(), static_cast<int>(text.size())); }
  // The names a layer draws at a level detail, in order.
  std::vector<std::string> names(int layer, int detail) {
    Vis_current_layer = layer;
    VisGroup* const* list = nullptr;
    const int n = vis_selected_groups(detail, &list);
    std::vector<std::string> out;
    for (int i = 0; i < n; i++) out.push_back(list[i]->name);
    return out;
  }
  int saved_count_ = 0;
  VisGroup* saved_groups_ = nullptr;
  VisGroup saved_base_{};
};

using Names = std::vector<std::string>;

TEST_F(VisTest, LayersListBaseFirstAndHighVariantsAboveDetailZero) {
  parse("$vis_set \"$layer1\" $high_camera \"$visTower\" \"$visDoors\"\r\n"
        "$vis_set \"$LAYER3\" $low_camera \"props\" \"$visMissing\"\n"
        "$END\n");
  EXPECT_EQ(names(0, 0), (Names{"$vis_base", "$visTower", "$visDoors"}));
  // "$visHIGHTower" exists; "$visHIGHDoors" does not, so Doors stays.
  EXPECT_EQ(names(0, 1), (Names{"$vis_base", "$visHIGHTower", "$visDoors"}));
  EXPECT_EQ(names(0, 2), names(0, 1));
  EXPECT_EQ(names(2, 0), (Names{"$vis_base", "props"}));
  EXPECT_EQ(Vis_layers[0].camera_pref, 1);
  EXPECT_EQ(Vis_layers[2].camera_pref, 0);
  // Layers the file leaves out draw "$vis_base" alone; outside 0-19 nothing.
  EXPECT_EQ(names(1, 0), (Names{"$vis_base"}));
  EXPECT_EQ(names(19, 2), (Names{"$vis_base"}));
  EXPECT_TRUE(names(-1, 0).empty());
  EXPECT_TRUE(names(20, 0).empty());
}

TEST_F(VisTest, AMeshBelongsToTheFirstLayerNamingItsGroup) {
  parse("$vis_set \"$layer2\" \"$visTower\"\n$vis_set \"$layer5\" \"props\" \"$visTower\"\n$end\n");
  EXPECT_EQ(vis_layer_of_mesh(0), 1);  // $visTower
  EXPECT_EQ(vis_layer_of_mesh(3), 4);  // props
  EXPECT_EQ(vis_layer_of_mesh(4), 0);  // only in $vis_base, which every layer draws
  EXPECT_EQ(vis_layer_of_mesh(2), -1);
}

TEST_F(VisTest, BadLayerNumberStopsParsingAndLeavesLaterLayersEmpty) {
  for (const char* bad : {"$layer0", "$layer21", "$level2", "$layer", "$layer2b"}) {
    SCOPED_TRACE(bad);
    parse(std::string("$vis_set \"$layer1\" \"$visTower\"\n$vis_set \"") + bad +
          "\" \"props\"\n$vis_set \"$layer4\" \"props\"\n$end\n");
    EXPECT_EQ(names(0, 0), (Names{"$vis_base", "$visTower"}));
    EXPECT_TRUE(names(3, 0).empty());
    EXPECT_TRUE(names(1, 0).empty());
  }
}

TEST_F(VisTest, DefaultsAndAnEmptyFileGiveBaseEverywhere) {
  vis_defaults();
  for (int l = 0; l < MAX_VIS_LAYERS; l++) EXPECT_EQ(names(l, 0), (Names{"$vis_base"}));
  parse("$end\n");
  EXPECT_EQ(names(7, 1), (Names{"$vis_base"}));
  // A missing file is not an error.
  EXPECT_EQ(vis_load("no_such_level"), 0);
  EXPECT_EQ(names(0, 0), (Names{"$vis_base"}));
}

TEST_F(VisTest, MissingEndIsAParseError) {
  CriticalErrorTrap trap;
  EXPECT_THROW(parse("$vis_set \"$layer1\" \"$visTower\"\n"), CriticalErrorThrown);
}

TEST_F(VisTest, TheSharedListsHoldAt512Entries) {
  // 300 names in each of two layers: the second layer stops at entry 512.
  std::string text = "$vis_set \"$layer1\"";
  for (int i = 0; i < 300; i++) text += " \"props\"";
  text += "\n$vis_set \"$layer2\"";
  for (int i = 0; i < 300; i++) text += " \"$visTower\"";
  text += "\n$end\n";
  parse(text);
  EXPECT_EQ(Vis_layers[0].count, 301);
  EXPECT_EQ(Vis_layers[1].count, 512 - 301);
  EXPECT_EQ(Vis_layers[2].count, 0);
}

TEST_F(VisTest, OverrideReplacesTheLayerAndCapsAtSixteen) {
  parse("$vis_set \"$layer1\" \"$visTower\"\n$end\n");
  vis_override_begin();
  vis_override_add("props");
  vis_override_add("nothing");  // ignored
  EXPECT_EQ(names(0, 0), (Names{"$vis_base", "props"}));
  EXPECT_EQ(names(-1, 0), (Names{"$vis_base", "props"}));
  for (int i = 0; i < 20; i++) vis_override_add("props");
  EXPECT_EQ(names(0, 0).size(), 16u);
  vis_override_reset();
  EXPECT_EQ(names(0, 0), (Names{"$vis_base"}));
  vis_override_end();
  EXPECT_EQ(names(0, 0), (Names{"$vis_base", "$visTower"}));
}

TEST_F(VisTest, SnowFlagsOnlyInsideTheLayers) {
  vis_layer_set_snow(3, true);
  vis_layer_set_snow(25, true);
  vis_layer_set_snow(-1, true);
  EXPECT_TRUE(vis_layer_has_snow(3));
  EXPECT_FALSE(vis_layer_has_snow(25));
  EXPECT_FALSE(vis_layer_has_snow(-1));
  vis_layer_set_snow(3, false);
  EXPECT_FALSE(vis_layer_has_snow(3));
}

TEST_F(VisTest, FogSetRules) {
  struct Case {
    float near_in, far_in, near_out, far_out;
  } cases[] = {
      {-1.0f, -1.0f, 35.0f, 50.0f},  // both defaults
      {40.0f, 45.0f, 40.0f, 50.0f},  // far raised to near + 10
      {10.0f, 60.0f, 10.0f, 60.0f},
      {0.0f, 80.0f, 35.0f, 80.0f},
      {30.0f, -5.0f, 30.0f, 50.0f},
  };
  for (const Case& c : cases) {
    fog_set(c.near_in, c.far_in);
    EXPECT_FLOAT_EQ(fog_get_near(), c.near_out) << c.near_in << " " << c.far_in;
    EXPECT_FLOAT_EQ(fog_get_far(), c.far_out) << c.near_in << " " << c.far_in;
  }
  // Level defaults are set once per level.
  fog_set_level_defaults(12.0f, 24.0f);
  fog_set_level_defaults(1.0f, 2.0f);
  fog_reset_to_defaults();
  EXPECT_FLOAT_EQ(fog_get_near(), 12.0f);
  EXPECT_FLOAT_EQ(fog_get_far(), 24.0f);
  fog_level_reset();
  fog_reset_to_defaults();
  EXPECT_FLOAT_EQ(fog_get_far(), 50.0f);
  // The frame-rate fog never brings far below 15.
  Fog_framerate_on = true;
  Fog_framerate_factor = 0.8f;
  fog_set(10.0f, 40.0f);
  EXPECT_FLOAT_EQ(fog_get_far(), 15.0f);
  EXPECT_NEAR(fog_get_near(), 2.0f, 1e-5);
}

int Camera_state = 1;
int Camera_mode = 0;
float Camera_elevation = 10.0f;
int camera_state() { return Camera_state; }
void camera_set_mode(int m) { Camera_mode = m; }
float camera_elevation() { return Camera_elevation; }

TEST_F(VisTest, ApplyZoneTakesTheLayersFogAndCamera) {
  VisServices s{};
  s.camera_state = camera_state;
  s.camera_set_mode = camera_set_mode;
  s.camera_elevation = camera_elevation;
  vis_set_services(s);
  parse("$vis_set \"$layer1\" $high_camera \"$visTower\"\n$vis_set \"$layer2\" \"props\"\n$end\n");
  fog_zone_set(0, 30.0f, 8.0f, 10, 20, 30);
  fog_zone_set(1, 0.0f, 0.0f, 0, 0, 0);
  Camera_state = 1;
  Camera_elevation = 10.0f;
  fog_apply_zone(0);
  EXPECT_EQ(Vis_current_layer, 0);
  EXPECT_EQ(Camera_mode, 3);
  EXPECT_FLOAT_EQ(Fog_far, 30.0f);
  EXPECT_FLOAT_EQ(Fog_near, 8.0f);
  EXPECT_EQ(Fog_g, 20);
  // Without a zone fog: the fallback by the camera's elevation.
  Vis_previous_layer = 0;
  fog_apply_zone(1);
  EXPECT_EQ(Camera_mode, 4);
  EXPECT_FLOAT_EQ(Fog_far, 50.0f);
  EXPECT_FLOAT_EQ(Fog_near, 35.0f);
  Camera_elevation = 3.0f;
  Vis_previous_layer = 1;
  fog_apply_zone(0);  // a different layer again
  Vis_previous_layer = 0;
  fog_apply_zone(1);
  EXPECT_FLOAT_EQ(Fog_far, 30.0f);
  EXPECT_FLOAT_EQ(Fog_near, 20.0f);
  // The same layer the last pass drew with is not applied twice.
  Vis_previous_layer = 1;
  fog_set(5.0f, 70.0f);
  fog_apply_zone(1);
  EXPECT_FLOAT_EQ(Fog_far, 70.0f);
  // A camera in a state that forbids it leaves camera and fog alone.
  Camera_state = 1 | 8;
  Camera_mode = 0;
  Vis_previous_layer = 1;
  fog_apply_zone(0);
  EXPECT_EQ(Camera_mode, 0);
  EXPECT_FLOAT_EQ(Fog_far, 70.0f);
  EXPECT_EQ(Vis_current_layer, 0);
}

// The zone's fog fades far meshes' vertices: alpha falls linearly over the
// last stretch before the fog's end, as worked out here from the zone.
TEST_F(VisTest, ZoneFogFadesVerticesLinearlyBeforeItsEnd) {
  fog_zone_set(4, 40.0f, 10.0f, 0, 0, 0);
  fog_apply_zone(4);
  gr_screen.renderer = GR_RECORDER;
  gr_3d_set_far_plane(0.0f);
  gr_3d_start_frame(vector(0, 0, 0), identity_matrix, 90.0f, false);
  gr_fog_set(true, 0, 0, 0, fog_get_near(), fog_get_far());
  // The fade runs from the alpha-fog share of the way between near (10) and
  // far (40) to the far end, in view depth.
  const float start = gr_3d_zoom_scale((1.0f - Gr_alpha_fog_ratio) * 10.0f + Gr_alpha_fog_ratio * 40.0f);
  const float end = gr_3d_zoom_scale(40.0f);
  ASSERT_LT(start, end);
  for (float f : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
    const float z = start + (end - start) * f;
    const int expected = static_cast<int>(200.0f * (1.0f - f));
    EXPECT_NEAR(levelrender_fade_alpha(200, z, true), expected, 1) << f;
  }
  EXPECT_EQ(levelrender_fade_alpha(200, start * 0.5f, true), 200);
  EXPECT_EQ(levelrender_fade_alpha(200, end * 2.0f, true), 0);
  // Large meshes fade over a range of the same width that ends farther.
  EXPECT_GE(gr_screen.fog_alpha2_far, end);
  EXPECT_NEAR(gr_screen.fog_alpha2_far - gr_screen.fog_alpha2_near, end - start, 1e-5);
  gr_fog_set(false, 0, 0, 0, 0.0f, 0.0f);
}

TEST_F(VisTest, DetailTableRowsAndTheirEffect) {
  std::string text =
      "\"demo_outdoor\" 2.0 +UnlockMedium\r\n"
      "\"Demo_Indoor\" 1.5 +UnlockHigh +NoSmallMeshCulling\r\n"
      "\"plain\" 3.0\r\n";
  for (int i = 0; i < 40; i++) text += "\"row" + std::to_string(i) + "\" 1.0\n";
  detail_levels_parse_text("detail_levels.tbl", text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(Num_detail_levels, MAX_DETAIL_LEVELS);  // the 42nd and 43rd rows dropped
  EXPECT_EQ(detail_level_find("DEMO_OUTDOOR.s3d"), 0);
  EXPECT_EQ(detail_level_find("levels\\demo_indoor.s3d"), 1);
  EXPECT_EQ(detail_level_find("row39"), -1);
  EXPECT_EQ(detail_level_find("nothing"), -1);
  struct Case {
    int entry, detail;
    float mult, threshold;
  } cases[] = {
      {0, 0, 1.0f, 3.0f}, {0, 1, 1.5f, 3.0f}, {0, 2, 2.0f, 3.0f},
      {1, 1, 1.25f, 0.0f}, {1, 2, 1.5f, 0.0f}, {-1, 2, 1.0f, 3.0f},
  };
  for (const Case& c : cases) {
    detail_entry_apply(c.entry, c.detail);
    EXPECT_FLOAT_EQ(Gr_level_fog_multiplier, c.mult) << c.entry << " " << c.detail;
    EXPECT_FLOAT_EQ(Small_mesh_threshold, c.threshold) << c.entry << " " << c.detail;
  }
  Scene_top_line = true;
  detail_entry_apply(0, 2);
  EXPECT_FLOAT_EQ(Gr_level_fog_multiplier, 1.0f);
  Scene_top_line = false;
  detail_entry_apply(-1, 0);
  Small_mesh_threshold = 3.0f;
  Num_detail_levels = 0;
}

TEST_F(VisTest, ShadowTableKeeps175Rows) {
  std::string text = "#Object Shadow info\r\n$Object: \"crate01\" $Radius: 1.5 $Scale: 0.5 +Prop:\r\n"
                     "$Object: \"troll\"\r\n$Radius: 2\r\n$Scale: 1.25\r\n";
  for (int i = 0; i < 180; i++) text += "$Object: \"x\" $Radius: 1 $Scale: 1\n";
  text += "#End\n";
  shadows_parse_text("shadows.tbl", text.data(), static_cast<int>(text.size()));
  ASSERT_EQ(Num_shadow_entries, MAX_SHADOW_ENTRIES);
  EXPECT_STREQ(Shadow_entries[0].name, "crate01");
  EXPECT_FLOAT_EQ(Shadow_entries[0].radius, 1.5f);
  EXPECT_EQ(Shadow_entries[0].flags, 1u);
  EXPECT_STREQ(Shadow_entries[1].name, "troll");
  EXPECT_FLOAT_EQ(Shadow_entries[1].scale, 1.25f);
  EXPECT_EQ(Shadow_entries[1].flags, 0u);
  CriticalErrorTrap trap;
  const std::string bad = "#Object Shadow info\n$Object: \"a\" $Scale: 1\n#End\n";
  EXPECT_THROW(shadows_parse_text("shadows.tbl", bad.data(), static_cast<int>(bad.size())), CriticalErrorThrown);
  Num_shadow_entries = 0;
}

TEST(CreatureShadow, StraightDownFromTheNamedPointAndAtMostSixteen) {
  creature_shadows_clear();
  ASSERT_EQ(creature_shadow_add(ShadowCaster{3, false, vector(1.0f, 5.0f, 2.0f), 0.5f}), 0);
  const ShadowProjection* s = creature_shadow_get(0);
  ASSERT_NE(s, nullptr);
  EXPECT_FLOAT_EQ(s->pos.x, 1.0f);
  EXPECT_FLOAT_EQ(s->pos.y, 2.5f);
  EXPECT_FLOAT_EQ(s->pos.z, 2.0f);
  EXPECT_FLOAT_EQ(s->dir.y, -1.0f);
  EXPECT_FLOAT_EQ(s->half_angle, 0.15f);
  EXPECT_FLOAT_EQ(s->near_dist, 1.0f);
  EXPECT_FLOAT_EQ(s->far_dist, 5.0f);
  // Summoning kinds 205, 206 and 9 cast none; others do while summoning.
  for (int kind : {205, 206, 9}) EXPECT_EQ(creature_shadow_add(ShadowCaster{kind, true, vector(0, 0, 0), 0}), -1);
  EXPECT_EQ(creature_shadow_add(ShadowCaster{205, false, vector(0, 0, 0), 0}), 0);
  EXPECT_EQ(creature_shadow_add(ShadowCaster{4, true, vector(0, 0, 0), 0}), 0);
  for (int i = 0; i < 20; i++) creature_shadow_add(ShadowCaster{1, false, vector(0, 0, 0), 0});
  EXPECT_EQ(creature_shadow_count(), MAX_CREATURE_SHADOWS);
  creature_shadows_clear();
  EXPECT_EQ(creature_shadow_count(), 0);
}

}  // namespace
