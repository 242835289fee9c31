#pragma once
// The AI's planner over the level's pathfinding graph: the walk from start
// to goal as a chain of ai_path pieces. The creature's size class follows
// from its radius; the sectors from where the two points stand. A level
// without a graph walks straight to the goal.
#include "Engine/ai/ai_component.h"

ai_path* path_planner(const vector& start, int start_record, const vector& goal, int goal_value, float radius,
                      bool check);
// The same for a size class named outright.
ai_path* path_planner_for_class(const vector& start, const vector& goal, int size_class);
// Makes path_planner the AI's planner.
void path_planner_install();
// The size class of a creature of this radius: the smallest whose radius
// holds it.
int path_size_class_for_radius(float radius);
