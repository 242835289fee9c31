#pragma once
// Articulated figures for the demo and the tests: a 20-bone body of skinned
// boxes with bone tags for weapons and effects, its shadow, and its
// animations (idle, walk, run, attack, death), written through the .vim and
// .mvf writers. Proportions, colours and names vary per character.
#include <array>
#include <string>
#include <vector>

#include "tools/writers/mvf_writer.h"
#include "tools/writers/vim_writer.h"

enum FigureBone {
  FIG_ROOT, FIG_PELVIS, FIG_SPINE, FIG_CHEST, FIG_NECK, FIG_HEAD,
  FIG_L_SHOULDER, FIG_L_UPPERARM, FIG_L_FOREARM, FIG_L_HAND,
  FIG_R_SHOULDER, FIG_R_UPPERARM, FIG_R_FOREARM, FIG_R_HAND,
  FIG_L_THIGH, FIG_L_SHIN, FIG_L_FOOT, FIG_R_THIGH, FIG_R_SHIN, FIG_R_FOOT,
  FIG_BONES
};

// The stat-screen poses stand facing forward, arms held a little away from
// the body (further, and feet apart, in the heavy pose), and breathe.
enum class FigureMotion { idle, walk, run, attack, death, statscreen_light, statscreen_heavy };

struct FigureSpec {
  std::string name;       // file stem: <name>.vim, <name>_<motion>.mvf
  float height = 1.0f;    // scales every rest position
  float girth = 1.0f;     // scales the boxes' thickness
  std::array<uint8_t, 3> colour = {180, 140, 100};
};

// The rest position of a bone in mesh space (y up, the figure faces +z).
std::array<float, 3> figure_rest(const FigureSpec& spec, int bone);
int figure_parent(int bone);
const char* figure_bone_name(int bone);
// Where the "$weapon" bone tag sits relative to the right hand.
std::array<float, 3> figure_weapon_offset(const FigureSpec& spec);

// Variant 0 or 1 (a heavier build with its own bitmaps).
VimWriterMesh figure_mesh(const FigureSpec& spec, int variant);
VimWriterMesh figure_shadow_mesh(const FigureSpec& spec);
// The animation in the given .mvf version. Key facts the tests rely on:
// walk spans 32 frames, moves 1.6 * height along +z, "left-foot" at frame 3
// and "right-foot" at frame 19; attack spans 24 frames and holds the right
// upper arm at -100 degrees about x at frame 6 ("swing") and +40 at frame 9,
// with "hit" at frame 7.
MvfWriterAnim figure_anim(const FigureSpec& spec, FigureMotion motion, int version);
const char* figure_motion_name(FigureMotion motion);
// Rotation of the attack's right upper arm at frame 6, degrees about x.
constexpr float FIGURE_ATTACK_RAISE = -100.0f;
// How far the stat-screen poses hold the upper arms out from the body, in
// degrees (each arm turned outwards about z).
constexpr float FIGURE_STATSCREEN_ARMS[2] = {12.0f, 24.0f};
// A 64 x 64 24-bit picture (blue, green, red) in the figure's colour.
std::vector<uint8_t> figure_texture(const FigureSpec& spec, int variant);
