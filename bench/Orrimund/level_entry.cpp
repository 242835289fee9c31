// Level entry on the demo world: from the request (the level picker's Load)
// to the end of the first gameplay frame of demo_outdoor, as the game itself
// measures it, with each loading step's share. The game runs as a process
// under an X server; the picker is driven with xdotool as a player would.
// Baseline: the raw read of every file the entry opened, as the game
// reported them (for a packfile member: open the packfile, seek to the
// member, read its bytes, close), with plain POSIX calls.
// Run under an X server: xvfb-run -a build/bin/bench_level_entry
#include <benchmark/benchmark.h>

#include "bench/Orrimund/demo_process.h"
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace {
namespace fs = std::filesystem;

fs::path bin_dir() { return bench_bin_dir(); }

const fs::path& demo_root() { return bench_demo_root("bench_level_entry", "load_report true\r\nsysinfo\r\n"); }

struct OpenedFile {
  std::string path;
  long offset;
  int size;
};
std::vector<OpenedFile> Opened;  // the files of the last measured entry

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool wait_for(const fs::path& log, const char* text, pid_t pid, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < until) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    const std::string t = read_all(log);
    if (!t.empty() && t.find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void console(const fs::path& fifo, const char* line) {
  std::ofstream(fifo) << line << "\n";
}

bool xdo(const std::string& args) { return std::system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0; }

// The row (0 the first) of a level in the picker, which lists the demo's
// level files by name with case ignored.
int picker_row(const fs::path& root, const std::string& level) {
  auto folded = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  int row = 0;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(root / "data/models/levels", ec))
    if (e.path().extension() == ".s3d" && folded(e.path().stem().string()) < folded(level)) row++;
  return row;
}

void BM_LevelEntryDemoOutdoor(benchmark::State& state) {
  const fs::path root = demo_root();
  const fs::path log = root / "console.log", fifo = root / "console.fifo";
  setenv("ORRIMUND_ROOT", root.c_str(), 1);
  setenv("ORRIMUND_AUTOEXEC", "ready", 1);
  setenv("ORRIMUND_CONSOLE_LOG", log.c_str(), 1);
  setenv("ORRIMUND_CONSOLE_FIFO", fifo.c_str(), 1);
  const std::string program = (bin_dir() / "orrimund").string();
  std::map<std::string, double> step_ms, phase_ms;
  double total_ms = 0;
  for (auto _ : state) {
    fs::remove(log);
    fs::remove(fifo);
    mkfifo(fifo.c_str(), 0600);
    pid_t pid;
    char opengl[] = "-opengl";
    char* argv[] = {const_cast<char*>(program.c_str()), opengl, nullptr};
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&quiet);
    // The start-up script's output: the title is up.
    bool ok = wait_for(log, "", pid, 60);
    if (ok) {
      std::this_thread::sleep_for(std::chrono::milliseconds(800));
      console(fifo, "level_picker");
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      // demo_outdoor's row of the picker at 640x480, then Load.
      const std::string row_y = std::to_string(78 + 18 * picker_row(root, "demo_outdoor"));
      ok = xdo("search --name '^Orrimund Demo$' mousemove --window %1 230 " + row_y + " click 1") &&
           (std::this_thread::sleep_for(std::chrono::milliseconds(500)), true) &&
           xdo("search --name '^Orrimund Demo$' mousemove --window %1 265 432 click 1") &&
           wait_for(log, "Load files: ", pid, 60);
    }
    if (!ok) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
      state.SkipWithError("the level was not entered");
      break;
    }
    const std::string text = read_all(log);
    std::istringstream lines(text);
    std::string line;
    double ms = 0;
    Opened.clear();
    while (std::getline(lines, line)) {
      int n = 0, v = 0;
      char name[128];
      long offset;
      int size;
      char path[4096];
      if (std::sscanf(line.c_str(), "Load step %d \"%127[^\"]\": %d ms", &n, name, &v) == 3) step_ms[name] += v;
      else if (std::sscanf(line.c_str(), "Load phase \"%127[^\"]\": %d ms", name, &v) == 2) phase_ms[name] += v;
      else if (std::sscanf(line.c_str(), "First gameplay frame of %*s %d ms", &v) == 1) ms = v;
      else if (std::sscanf(line.c_str(), "Load file: %ld %d %4095[^\n]", &offset, &size, path) == 3)
        Opened.push_back({path, offset, size});
    }
    total_ms += ms;
    state.SetIterationTime(ms / 1000.0);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  long long bytes = 0;
  for (const OpenedFile& f : Opened) bytes += f.size;
  state.counters["files"] = static_cast<double>(Opened.size());
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
  // Shares of the whole entry: the phases, and within "loading steps" each step.
  for (const auto& [name, v] : phase_ms)
    if (total_ms > 0) state.counters["% " + name] = 100.0 * v / total_ms;
  for (const auto& [name, v] : step_ms)
    if (total_ms > 0) state.counters["% step " + name] = 100.0 * v / total_ms;
}
BENCHMARK(BM_LevelEntryDemoOutdoor)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RawReadOfTheEntrysFiles(benchmark::State& state) {
  if (Opened.empty()) {
    state.SkipWithError("no file list: the level entry did not run");
    return;
  }
  std::vector<char> buffer;
  long long bytes = 0;
  for (auto _ : state) {
    for (const OpenedFile& f : Opened) {
      const int fd = open(f.path.c_str(), O_RDONLY);
      if (fd < 0) continue;
      buffer.resize(static_cast<size_t>(f.size));
      if (f.offset) lseek(fd, f.offset, SEEK_SET);
      const ssize_t n = read(fd, buffer.data(), buffer.size());
      benchmark::DoNotOptimize(n);
      close(fd);
      bytes += f.size;
    }
  }
  state.SetBytesProcessed(bytes);
  state.counters["files"] = static_cast<double>(Opened.size());
}
BENCHMARK(BM_RawReadOfTheEntrysFiles)->Unit(benchmark::kMillisecond);

}  // namespace
