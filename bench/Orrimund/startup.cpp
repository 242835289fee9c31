// Start-up of the whole program on the demo world, timed from outside as a
// process: from the start of `orrimund` until start-up has finished and the
// console script runs, which is the turn before the title state's first
// frame. Of that, 505 ms is the splash, which waits on purpose.
// Baseline: the least any program does to show a first frame: a plain
// process that opens an X window with an OpenGL context, clears and swaps.
// Run under an X server: xvfb-run -a build/bin/bench_startup
#include <benchmark/benchmark.h>

#include "bench/Orrimund/demo_process.h"
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

extern char** environ;

namespace {
namespace fs = std::filesystem;

fs::path bin_dir() { return bench_bin_dir(); }

const fs::path& demo_root() { return bench_demo_root("bench_startup", "sysinfo\r\n"); }

pid_t spawn(const std::string& program, const std::string& arg) {
  pid_t pid;
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(arg.c_str()), nullptr};
  char* argv0[] = {const_cast<char*>(program.c_str()), nullptr};
  // The game's own lines would mix with the table.
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  const int r = posix_spawn(&pid, program.c_str(), &quiet, nullptr, arg.empty() ? argv0 : argv, environ);
  posix_spawn_file_actions_destroy(&quiet);
  if (r != 0) {
    std::perror("posix_spawn");
    std::exit(1);
  }
  return pid;
}

void BM_GameStartupToTitle(benchmark::State& state) {
  const fs::path root = demo_root();
  const fs::path log = root / "console.log";
  setenv("ORRIMUND_ROOT", root.c_str(), 1);
  setenv("ORRIMUND_AUTOEXEC", "ready", 1);
  setenv("ORRIMUND_CONSOLE_LOG", log.c_str(), 1);
  const std::string program = (bin_dir() / "orrimund").string();
  for (auto _ : state) {
    fs::remove(log);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(program, "");
    // The console log is written by the start-up script only. A game that
    // ends before writing it would leave the wait endless: watch the child.
    int status = 0;
    bool ended = false;
    std::error_code ec;
    while (!fs::exists(log, ec) || fs::file_size(log, ec) == 0) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        ended = true;
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const auto end = std::chrono::steady_clock::now();
    if (ended) {
      const std::string why = WIFEXITED(status) ? "the game exited with status " + std::to_string(WEXITSTATUS(status))
                                                : "the game was killed by signal " + std::to_string(WTERMSIG(status));
      state.SkipWithError((why + " before its start-up script ran").c_str());
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);
  }
  state.counters["splash_ms"] = 505;
}
BENCHMARK(BM_GameStartupToTitle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PlainWindowFirstFrame(benchmark::State& state) {
  const std::string program = (bin_dir() / "bench_startup").string();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = spawn(program, "--plain-window");
    int status;
    waitpid(pid, &status, 0);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the plain window failed");
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
}
BENCHMARK(BM_PlainWindowFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The baseline's child: a 640x480 window, one cleared frame on the screen.
int plain_window() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  int attrs[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 16, None};
  XVisualInfo* vi = glXChooseVisual(d, DefaultScreen(d), attrs);
  if (!vi) return 1;
  XSetWindowAttributes swa{};
  swa.colormap = XCreateColormap(d, RootWindow(d, vi->screen), vi->visual, AllocNone);
  swa.event_mask = StructureNotifyMask;
  Window w = XCreateWindow(d, RootWindow(d, vi->screen), 0, 0, 640, 480, 0, vi->depth, InputOutput, vi->visual,
                           CWColormap | CWEventMask, &swa);
  XMapWindow(d, w);
  XEvent e;
  do XNextEvent(d, &e);
  while (e.type != MapNotify);
  GLXContext ctx = glXCreateContext(d, vi, nullptr, True);
  glXMakeCurrent(d, w, ctx);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glXSwapBuffers(d, w);
  glFinish();
  glXMakeCurrent(d, None, nullptr);
  glXDestroyContext(d, ctx);
  XDestroyWindow(d, w);
  XCloseDisplay(d);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--plain-window") == 0) return plain_window();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(fs::temp_directory_path() / ("bench_startup_" + std::to_string(getpid())));
  return 0;
}
