#pragma once
// The front end's story pieces: the tutorial lessons, the networked
// elevators and the world map's landmarks. Their world questions go through
// the script host, so tests run them against the fake one.
#include <cstdint>

#include "quarn/math/vector.h"

// --- tutorial triggers ---------------------------------------------------------------
#define NUM_TUTORIAL_LESSONS 5
struct TutorialLesson {
  bool (*test)(int level);  // true when the lesson starts now (its flag set)
  const char* const* pages;
  int32_t page_count;
  int32_t style;
  int32_t unused[2];
  int32_t x, y, width;
};
extern const TutorialLesson Tutorial_lessons[NUM_TUTORIAL_LESSONS];
extern bool Ignore_tutorial;
// The game shell's value the second-hero lesson waits for (at least 0.5).
extern float Tutorial_second_hero_value;
// Every gameplay frame: the first lesson whose test fires opens its pages
// (one popup per page). Returns the lesson, -1 none.
int tutorial_triggers_frame(int level);
bool tutorial_box_shown();
void tutorial_level_start();  // clears the box flag

// --- elevators ---------------------------------------------------------------------------
// Every gameplay frame of a networked game on levels 15 and 29.
void elevators_frame(int level);
// Tests: every elevator armed again.
void elevators_reset();

// --- world-map landmarks ---------------------------------------------------------------
#define NUM_LANDMARKS 8
constexpr uint32_t LANDMARK_ENABLED = 0x1, LANDMARK_ARROW = 0x2, LANDMARK_LABEL = 0x4;
struct Landmark {
  uint32_t flags;
  bool found;
  vector pos;
  float scale, angle;
  float arrow_x, arrow_y;
  float label_x, label_y;
  int32_t label_w, label_h;
  const char* navpoint;
  const char* label;
};
extern Landmark Landmarks[NUM_LANDMARKS];
extern bool Landmarks_display;
// The 3-D view as the landmarks see it.
struct LandmarkView {
  virtual ~LandmarkView() = default;
  virtual bool project(const vector& p, float* x, float* y) = 0;
  virtual bool sphere_in_view(const vector& centre, float radius) = 0;
  // Label text size in pixels.
  virtual void text_size(const char* text, int* w, int* h) = 0;
};
// Level start on the world map: records filled from the stage and flags,
// navpoints looked up (through `find`), display on.
void landmarks_level_start(int stage, bool (*find)(const char* navpoint, vector* pos));
// "L" (key code 38) flips the display; true when the key was consumed.
bool landmarks_key(int level, int key);
// The frame's arrows and labels for a hero at `hero`; false when the hero
// does not project.
bool landmarks_update(LandmarkView& view, const vector& hero, int resolution);
