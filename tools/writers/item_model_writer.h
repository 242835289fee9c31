#pragma once
// Item models for the demo and the tests: each item kind gets a shape of
// plain boxes (a blade with guard and grip, a staff, an axe, a bow, armour
// by the slot it is worn in, a ring, an amulet, a tonic bottle, a book, a
// bag, coins, a key), each box coloured by one of the model's bitmaps.
// Weapons are built grip at the origin and point up (+y), as the figures'
// "$weapon" tag holds them; shields face +z around the "$shield" tag; every
// other model stands around its own centre.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/writers/table_writers.h"
#include "tools/writers/vim_writer.h"

struct ItemModelBox {
  std::array<float, 3> min, max;
  int colour;  // index into ItemModelSpec::colours
};

struct ItemModelSpec {
  std::vector<ItemModelBox> boxes;
  std::vector<std::array<uint8_t, 3>> colours;  // red, green, blue
  std::vector<VimWriterTag> tags;                // written with the mesh as they are
};

// The shape of a demo item, chosen by its type, slot and name.
ItemModelSpec item_model_for(const ItemRecord& item);
// The bounding box of a shape (min x, y, z, then max x, y, z).
std::array<float, 6> item_model_bounds(const ItemModelSpec& spec);
// The mesh: one group per colour, bitmap k named "<stem>_<k>.tga".
VimWriterMesh item_model_mesh(const ItemModelSpec& spec, const std::string& stem);
// Writes <dir>/<model file> and its bitmaps (8 x 8 Targa files) into
// <maps_dir>; false (with a message on stderr) when a file cannot be written.
bool item_model_write(const ItemModelSpec& spec, const std::string& model_dir, const std::string& model_file,
                      const std::string& maps_dir);
