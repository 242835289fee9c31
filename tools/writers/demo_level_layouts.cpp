// The demo levels. Names follow the game's conventions: "$player" nodes are
// start points, "$vis" groups are visibility sets, a door's track is the
// named point list its key names.
#include "tools/writers/demo_level_layouts.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

void demo_outdoor_ground_colour(const vector& world, uint8_t* rgb) {
  const float t = std::clamp((world.x + 24.0f) / 48.0f, 0.0f, 1.0f);
  rgb[0] = static_cast<uint8_t>(255.0f - 135.0f * t);
  rgb[1] = 200;
  rgb[2] = static_cast<uint8_t>(120.0f + 135.0f * t);
}

void demo_level_outdoor(LevelBuilder& b) {
  const int grass = b.texture("demo_grass.tga");
  const int stone = b.texture("demo_stone.tga");
  const int wood = b.texture("demo_wood.tga");
  const int fence = b.texture("demo_fence.tga");
  b.sixteen_level_lightmaps = true;
  const int lm_stone = b.lightmap(16, 230, 120);
  // Four tiles of ground, 48 by 48 units together, in large cells.
  b.max_cell = 8.0f;
  for (int t = 0; t < 4; t++) {
    const float x0 = -24.0f + 24.0f * (t % 2), z0 = -24.0f + 24.0f * (t / 2);
    const int ground =
        b.add_floor("ground_" + std::to_string(t), x0, z0, x0 + 24.0f, z0 + 24.0f, 0.0f, grass, MI_GROUND | MI_DECALS);
    b.prelight(ground, demo_outdoor_ground_colour);
  }
  b.max_cell = 4.0f;
  // Two hamlets of small houses north and south, each house a box with a
  // chimney; and a field of rocks on the hill to the east.
  for (int side = 0; side < 2; side++) {
    std::vector<std::pair<vector, vector>> houses;
    for (int i = 0; i < 10; i++) {
      for (int j = 0; j < 4; j++) {
        const float x = -22.0f + i * 4.4f, z = (side ? 14.0f : -22.0f) + j * 2.2f;
        const float h = 1.5f + 0.25f * ((i * 7 + j * 3) % 5);
        houses.push_back({vector{x, 0.0f, z}, vector{x + 3.0f, h, z + 1.6f}});
        houses.push_back({vector{x + 2.2f, h, z + 0.3f}, vector{x + 2.6f, h + 0.8f, z + 0.7f}});
      }
    }
    b.add_boxes(side ? "hamlet_north" : "hamlet_south", houses, wood, 0, lm_stone);
  }
  std::vector<std::pair<vector, vector>> rocks;
  for (int i = 0; i < 40; i++) {
    const float x = 14.0f + (i * 37 % 9) * 1.1f, z = -10.0f + (i * 11 % 8) * 1.2f + (i % 3) * 0.3f;
    const float s = 0.3f + 0.1f * (i % 4);
    rocks.push_back({vector{x, 0.0f, z}, vector{x + s, s, z + s}});
  }
  b.add_boxes("rock_field", rocks, stone, MI_GROUND);
  // A lookout: a platform reached by a ramp.
  const int platform = b.add_box("lookout_platform", vector{6.0f, -2.0f, 6.0f}, vector{12.0f, 3.0f, 12.0f}, stone,
                                 0, lm_stone);
  const int ramp = b.add_ramp("lookout_ramp", 7.0f, -2.0f, 11.0f, 6.0f, 0.0f, 3.0f, stone, 0, lm_stone);
  const int tower = b.add_box("tower", vector{-14.0f, -2.0f, -14.0f}, vector{-10.0f, 12.0f, -10.0f}, stone, 0,
                              lm_stone);
  const int crate1 = b.add_box("crate01", vector{-4.0f, -1.0f, 2.0f}, vector{-2.0f, 2.5f, 4.0f}, wood);
  const int crate2 = b.add_box_turned("crate02", vector{2.0f, 1.0f, -6.0f}, vector{1.0f, 1.5f, 1.0f}, 0.6f, wood);
  const int fence1 = b.add_panel("fence01", vector{-6.0f, 1.5f, 10.0f}, 4.0f, 1.5f, 0.0f, true, fence);
  const int banner = b.add_panel("banner01", vector{10.0f, 5.0f, 9.0f}, 1.0f, 1.5f, 1.5707964f, false, fence);
  b.add_vertex_anim(banner, 0.5f, 0.5f, 0.15f, 2.5f);
  // An L-shaped wall west of the start, for paths that must go round it.
  b.add_box("wall_l_north_south", vector{-8.0f, 0.0f, -11.0f}, vector{-7.0f, 2.5f, -3.0f}, stone, 0, lm_stone);
  b.add_box("wall_l_east_west", vector{-7.0f, 0.0f, -4.0f}, vector{-1.0f, 2.5f, -3.0f}, stone, 0, lm_stone);
  b.add_vis_group("$visTower", {tower});
  b.add_vis_group("$visLookout", {platform, ramp, banner});
  b.add_vis_group("props", {crate1, crate2, fence1});
  b.add_node("$player01", vector{0.0f, 2.0f, 0.0f});
  b.add_node("$player02", vector{1.5f, 2.0f, 0.0f});
  b.add_node("$player03", vector{0.0f, 2.0f, 1.5f});
  b.add_node("$player04", vector{1.5f, 2.0f, 1.5f}, 3.1415927f);
  b.add_node("$mapUpperLeft", vector{DEMO_MAP_UPPER_LEFT[0], 0.0f, DEMO_MAP_UPPER_LEFT[1]});
  b.add_node("$mapLowerRight", vector{DEMO_MAP_LOWER_RIGHT[0], 0.0f, DEMO_MAP_LOWER_RIGHT[1]});
  b.add_named_points("avoid_tower", {{-15.0f, 0.0f, -15.0f}, {-9.0f, 0.0f, -15.0f}, {-9.0f, 0.0f, -9.0f}});
  b.add_light(0, vector{0.0f, 20.0f, 0.0f}, vector{1.0f, 0.95f, 0.8f}, 5.0f, 60.0f);
  b.add_light(1, vector{-12.0f, 13.0f, -12.0f}, vector{0.8f, 0.8f, 1.0f}, 2.0f, 20.0f);
  b.add_surface(0.5f, 0.2f, 0.1f, 0);  // grass
  b.add_surface(0.2f, 0.5f, 0.3f, 1);  // stone
  b.add_surface(0.3f, 0.4f, 0.2f, 2);  // wood
}

void demo_forest_pen(LevelBuilder& b) {
  const int stone = b.texture("demo_stone.tga");
  const int wood = b.texture("demo_wood.tga");
  // Inside x -18..-14, z -3..3; the gate in the east wall at z -1..1 slides
  // north into the wall beside it.
  b.add_box("pen_wall_north", vector{-18.25f, 0.0f, 3.0f}, vector{-14.0f, 2.5f, 3.25f}, stone);
  b.add_box("pen_wall_south", vector{-18.25f, 0.0f, -3.25f}, vector{-14.0f, 2.5f, -3.0f}, stone);
  b.add_box("pen_wall_west", vector{-18.25f, 0.0f, -3.0f}, vector{-18.0f, 2.5f, 3.0f}, stone);
  b.add_box("pen_wall_east_north", vector{-14.25f, 0.0f, 1.0f}, vector{-14.0f, 2.5f, 3.0f}, stone);
  b.add_box("pen_wall_east_south", vector{-14.25f, 0.0f, -3.0f}, vector{-14.0f, 2.5f, -1.0f}, stone);
  b.add_door(DEMO_PEN_GATE, vector{-14.225f, 0.05f, -1.0f}, vector{-14.025f, 2.4f, 1.0f}, vector{0.0f, 0.0f, 2.0f},
             1.5f, std::string(DEMO_PEN_GATE) + "_track", wood);
}

void demo_level_indoor(LevelBuilder& b) {
  b.ambient = vector{0.15f, 0.15f, 0.2f};
  const int floor = b.texture("demo_floor.tga");
  const int wall = b.texture("demo_stone.tga");
  const int wood = b.texture("demo_wood.tga");
  // Room A is lit warm, room B cold.
  b.sixteen_level_lightmaps = true;
  const int lm_a = b.lightmap_tinted(16, 240, 140, DEMO_ROOM_A_LIGHT[0], DEMO_ROOM_A_LIGHT[1], DEMO_ROOM_A_LIGHT[2]);
  const int lm_b = b.lightmap_tinted(16, 180, 90, DEMO_ROOM_B_LIGHT[0], DEMO_ROOM_B_LIGHT[1], DEMO_ROOM_B_LIGHT[2]);
  // Room A spans x -12..0, room B 0..12; both 10 deep and 4 high. The wall
  // between them leaves a doorway at z -1..1, as high as the door: each
  // room's own wall there is open, so that a party walks through once the
  // door slides aside.
  // The rooms' own bottoms lie under the floors.
  const int room_a = b.add_room_with_doorway("room_a", vector{-12.0f, -0.5f, -5.0f}, vector{0.0f, 4.0f, 5.0f}, wall,
                                             lm_a, true, -1.0f, 1.0f, 3.0f);
  const int room_b = b.add_room_with_doorway("room_b", vector{0.0f, -0.5f, -5.0f}, vector{12.0f, 4.0f, 5.0f}, wall,
                                             lm_b, false, -1.0f, 1.0f, 3.0f);
  const int floor_a = b.add_floor("floor_a", -12.0f, -5.0f, -0.25f, 5.0f, 0.0f, floor, MI_GROUND, lm_a);
  const int floor_b = b.add_floor("floor_b", 0.25f, -5.0f, 12.0f, 5.0f, 0.0f, floor, MI_GROUND, lm_b);
  // The doorway's sill is not ground, so a door finds its floor on it.
  const int sill = b.add_floor("doorway_sill", -0.25f, -1.0f, 0.25f, 1.0f, 0.05f, floor);
  const int wall_n = b.add_box("divider_north", vector{-0.25f, 0.0f, 1.0f}, vector{0.25f, 4.0f, 5.0f}, wall);
  const int wall_s = b.add_box("divider_south", vector{-0.25f, 0.0f, -5.0f}, vector{0.25f, 4.0f, -1.0f}, wall);
  const int door = b.add_door("door_main", vector{-0.1f, 0.05f, -1.0f}, vector{0.1f, 3.0f, 1.0f},
                              vector{0.0f, 0.0f, 2.0f}, 1.5f, "door_main_track", wood);
  const int ramp = b.add_ramp("stage_ramp", 6.0f, -4.0f, 10.0f, 0.0f, 0.0f, 1.0f, wood);
  const int stage = b.add_box("stage", vector{6.0f, 0.0f, 0.0f}, vector{10.0f, 1.0f, 4.0f}, wood);
  const int chest = b.add_box("key_chest", vector{-10.0f, 0.0f, 3.0f}, vector{-9.0f, 0.8f, 4.0f}, wood);
  // A lamp hanging in room A: it carries a glow.
  const int lamp = b.add_box("lamp_a", vector{DEMO_LAMP[0] - 0.2f, DEMO_LAMP[1] - 0.2f, DEMO_LAMP[2] - 0.2f},
                             vector{DEMO_LAMP[0] + 0.2f, DEMO_LAMP[1] + 0.2f, DEMO_LAMP[2] + 0.2f}, wood, MI_LAMP);
  b.add_vis_group("$visRoomA", {room_a, floor_a, chest, lamp});
  // A small screen before the lamp, shown only when a script asks for it.
  const int screen = b.add_box("lamp_screen", vector{DEMO_LAMP[0] - 0.25f, DEMO_LAMP[1] - 0.25f, DEMO_LAMP[2] - 1.2f},
                               vector{DEMO_LAMP[0] + 0.25f, DEMO_LAMP[1] + 0.25f, DEMO_LAMP[2] - 1.1f}, wood);
  b.add_vis_group("$visLampScreen", {screen});
  b.add_vis_group("$visRoomB", {room_b, floor_b, ramp, stage});
  b.add_vis_group("doors", {door, sill, wall_n, wall_s});
  b.add_node("$player01", vector{-8.0f, 0.5f, 0.0f});
  b.add_node("$player02", vector{-8.0f, 0.5f, 1.5f});
  b.add_node("$player03", vector{-9.5f, 0.5f, 0.0f});
  b.add_node("$player04", vector{-9.5f, 0.5f, 1.5f});
  b.add_node("key_gold", vector{-9.5f, 0.8f, 3.5f});
  b.add_light(0, vector{-6.0f, 3.5f, 0.0f}, vector{1.0f, 0.8f, 0.6f}, 1.0f, 12.0f);
  b.add_light(0, vector{6.0f, 3.5f, 0.0f}, vector{0.6f, 0.7f, 1.0f}, 1.0f, 12.0f);
  b.add_surface(0.4f, 0.3f, 0.2f, 1);  // stone floor
  b.add_surface(0.3f, 0.4f, 0.2f, 2);  // wood
}

void demo_level_town(LevelBuilder& b, int side) {
  const int grass = b.texture("demo_grass.tga");
  const int stone = b.texture("demo_stone.tga");
  const int wood = b.texture("demo_wood.tga");
  const float edge = side * DEMO_TOWN_BLOCK * 0.5f;
  for (int z = 0; z < side; z++)
    for (int x = 0; x < side; x++) {
      const float x0 = -edge + x * DEMO_TOWN_BLOCK, z0 = -edge + z * DEMO_TOWN_BLOCK;
      const std::string at = std::to_string(x) + "_" + std::to_string(z);
      b.add_floor("tile_" + at, x0, z0, x0 + DEMO_TOWN_BLOCK, z0 + DEMO_TOWN_BLOCK, 0.0f, grass, MI_GROUND);
      const float height = 2.0f + static_cast<float>((x * 7 + z * 3) % 4);
      const vector middle{x0 + 4.0f, height * 0.5f, z0 + 4.0f};
      if ((x + z) % 2)
        b.add_box_turned("house_" + at, middle, vector{1.5f, height * 0.5f, 2.0f}, 0.3f * static_cast<float>(x % 5),
                         wood);
      else
        b.add_box("house_" + at, middle - vector{2.0f, height * 0.5f, 1.5f}, middle + vector{2.0f, height * 0.5f, 1.5f},
                  stone);
    }
  b.add_box("wall_north", vector{-edge - 1.0f, 0.0f, edge}, vector{edge + 1.0f, 4.0f, edge + 1.0f}, stone);
  b.add_box("wall_south", vector{-edge - 1.0f, 0.0f, -edge - 1.0f}, vector{edge + 1.0f, 4.0f, -edge}, stone);
  b.add_box("wall_east", vector{edge, 0.0f, -edge}, vector{edge + 1.0f, 4.0f, edge}, stone);
  b.add_box("wall_west", vector{-edge - 1.0f, 0.0f, -edge}, vector{-edge, 4.0f, edge}, stone);
}
