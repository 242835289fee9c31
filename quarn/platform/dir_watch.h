#pragma once
// Change notifications for directories, from the kernel (inotify). The
// kernel raises a signal in the process the moment an event is queued, so
// asking whether anything changed reads a flag and costs no system call;
// only when something did change are the events read.
//
// The signal goes to the process, which the kernel hands to its main thread
// first: a change the main thread makes is known when the call that made it
// returns; a change made elsewhere as soon as the signal is delivered.

// Starts the watcher (once; later calls return what the first found). False
// when the kernel offers no notifications: callers then check for changes
// themselves.
bool dir_watch_start();
// Removes every watch and closes the watcher.
void dir_watch_stop();
// Tests: behave as a kernel without notifications from the next start on.
void dir_watch_force_unavailable(bool on);

// Watches one directory for entries created, removed or renamed in it and
// for its own removal or renaming. Returns the watch id, or -1.
int dir_watch_add(const char* path);
void dir_watch_remove(int id);

// True when events may be waiting. No system call.
bool dir_watch_pending();

// What one event says about its watched directory.
enum DirWatchEvent {
  DIR_WATCH_ENTRIES = 1,  // an entry was created, removed or renamed
  DIR_WATCH_GONE = 2,     // the directory itself went away or was renamed: drop the watch
};
// Reads every queued event and calls fn for each. Returns false when the
// kernel's queue overflowed and events were lost: every watched directory
// must then be taken as changed.
bool dir_watch_drain(void (*fn)(void* ctx, int id, int event), void* ctx);
