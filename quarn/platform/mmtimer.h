#pragma once
// Periodic timer events and the timer resolution, as the streaming layer
// expects them. One thread fires every event; a callback may kill its own
// event, and killing never waits for a callback to finish, so it is safe
// under any lock the callbacks also take.
#include <cstdint>

using MmTimerCallback = void (*)(uint32_t id, uintptr_t user);

uint32_t mm_time_begin_period(uint32_t ms);
uint32_t mm_time_end_period(uint32_t ms);
// Periodic event every period ms; 0 when none can be made.
uint32_t mm_time_set_event(uint32_t period_ms, uint32_t resolution_ms, MmTimerCallback cb,
                           uintptr_t user);
// 0 done, non-zero for an unknown event.
uint32_t mm_time_kill_event(uint32_t id);

// Tests: with manual set, events fire only when mm_timer_fire_all is called
// (each live event once, in creation order), never on the timer thread.
void mm_timer_set_manual(bool manual);
void mm_timer_fire_all();
int mm_timer_live_count();
