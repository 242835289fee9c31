#pragma once
// What entities do once their orders have started: turning toward points,
// following planned paths while steering round one another, and the
// per-frame handlers of the states that carry those orders out.
#include "Engine/ai/ai_component.h"

class living_entity;

// True while the entity still turns toward the point; false once it faces
// it (or the point is where it stands).
bool ai_step_toward(ai_component* ai, const vector& point, float rate_scale = 1.0f);

// 1 while the entity still follows its path this frame (turned, stood or
// moved), 0 when the path is done or there is none. A speed below 0.0001
// lets the entity choose its own.
int ai_follow_path(ai_component* ai, float speed);

// The time at which two entities keeping the given velocities are nearest;
// 0 when their relative velocity is (almost) nil.
float ai_closest_approach_time(const vector& vel_a, const vector& vel_b, const living_entity* a,
                               const living_entity* b);

// Going round another entity, their closest approach `t` seconds ahead
// (both keeping their present velocities): remembers it as the one avoided,
// aims one unit to the side away from where it will be, stands when it is
// nearer than 0.5 and almost straight ahead, and sets the side-step value
// from how far they would overlap, turned the other way and made half as
// large again when only the far side of the other has ground to pass on.
void ai_steer_round(ai_component* ai, const living_entity* other, float t);

// The speed factor allowed at a corner whose legs meet at the given cosine.
float ai_corner_factor(float cosine);

// Formation place n (1-5) behind a leader at the given position and
// facing; any other n is the leader's own position.
vector ai_formation_point(const vector& leader_pos, const vector& forward, int n);
// The follower's own place behind its leader.
vector ai_formation_point_of(const ai_component* ai, const living_entity* leader);
// Gives each follower of this leader the free formation place nearest it.
void ai_assign_formation(ai_component* ai);
// TRAVELING 1, the held-mouse walk: straight at the travel target, party
// members in the way stepping aside.
void ai_travel_target_step(ai_component* ai);

// The TRAVELING handler.
void ai_traveling_handler(ai_component* ai);

// Makes the handlers above the AI driver's.
void ai_behaviour_install();
