#pragma once
// The automap (screen 3): the current level's map layers, showing only the
// cells the party has walked, with the party's marker, the camera's heading
// and labels. Every gameplay frame marks the cells under the living party;
// each level start finds the map's corners and reads the level's permanent
// labels from automap_labels.tbl, and the save game keeps the player's own.
// Positions on the map are the layer bitmap's pixels times the resolution
// factor, in both directions (drawing and clicks agree at every resolution).
#include "Orrimund/screens/automap_cells.h"
#include "Orrimund/screens/automap_labels.h"

extern bool Map_mask;          // draw only explored cells
extern bool Map_grid;          // draw the cell grid
extern bool Show_coordinates;  // call the coordinate overlay after drawing

void automap_screen_register();
// Start-up: clears every level's explored cells and the label list.
void automap_startup();
// Level start: the map's corners, layers and labels.
void automap_level_start();
// Marks the cell under every living party member (gameplay frame).
void automap_reveal_party();

// The automap's states (input machine).
enum AutomapState {
  AUTOMAP_IDLE = 0, AUTOMAP_BUTTON = 1, AUTOMAP_PAN = 2, AUTOMAP_PLACE = 3, AUTOMAP_EDIT = 4,
  AUTOMAP_PRESS_SELECTED = 5, AUTOMAP_PRESS_LABEL = 6
};

// For tests and the console.
bool automap_valid();
int automap_state();
int automap_layer();
int automap_layer_count();
const AutomapLabelList& automap_labels();
int automap_selected_label();
// The map layer of a level zone (-1 none).
int automap_zone_layer(int zone);
// The resolution factor: 1.0, 1.25 or 1.6 by resolution row.
float automap_resolution_factor(int resolution);
// A world point on the shown layer bitmap (pixels from its origin, the
// resolution factor applied), and back.
void automap_world_to_map(float x, float z, float* px, float* py);
void automap_map_to_world(float px, float py, float* x, float* z);
// Whether a map point (pixels from the layer's origin) may be shown.
bool automap_point_visible(float px, float py);
// Sets the shown layer; ignored outside 0 .. count - 1.
void automap_set_layer(int layer);
// Whether the left and right arrows are enabled.
void automap_arrows_enabled(bool* left, bool* right);

// Rewrites automap_labels.tbl with the level's permanent labels: 0 done,
// 1 no level, 2 no map, 3 table unreadable, 4 temporary unwritable,
// 6 rename failed.
int automap_save_labels();
