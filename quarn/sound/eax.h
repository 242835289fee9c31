#pragma once
// Reverberation environments chosen by name, and keeping flat sounds dry.
class DsBuffer;

extern const char* const Eax_environment_names[26];

int eax_init();
void eax_close();
int eax_set_environment(const char* name);
int eax_set_environment_index(int index);
int eax_set_decay_time(float seconds);
void eax_buffer_no_reverb(DsBuffer* buffer);
bool eax_is_on();
