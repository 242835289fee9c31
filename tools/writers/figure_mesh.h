#pragma once
// A small skinned figure for the demo and the drawing tests: a torso box on
// bone 0 and a head box on bone 1, flat-shaded (four vertices of its own per
// side), faces wound so that their edge cross product points out of the box,
// which is the side the mesh drawer shows.
#include "tools/writers/mvf_writer.h"
#include "tools/writers/vim_writer.h"

struct FigureBox {
  std::array<float, 3> centre;
  std::array<float, 3> half;
  int bone;
};

// Adds a box's six sides to a group (skin weights all on the box's bone).
void figure_add_box(VimWriterGroup& group, const FigureBox& box);
// The two-box figure: torso 1.2 wide, 1.6 tall, 0.6 deep centred at the
// origin; head 0.7 on a side above it, its bone at the head's centre. One
// group, bitmap slot 0, bitmap `bitmap` (empty: none).
VimWriterMesh figure_mesh(const std::string& bitmap);
// A held pose of the figure over `span` ticks: the torso turned about y and
// the head tipped about z (radians), the head bone where the rest pose has it.
MvfWriterAnim figure_pose(float torso_turn, float head_tilt, int span);
