#pragma once
// The benchmarks that run the game as a process: the folder of the bench
// programs (the game and make_demo lie beside them), and one demo world per
// bench process, written once into a temporary folder with its start-up
// script "ready.vcs".
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline std::filesystem::path bench_bin_dir() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

inline const std::filesystem::path& bench_demo_root(const char* name, const char* ready_script) {
  static std::filesystem::path root;
  if (root.empty()) {
    root = std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(root);
    const std::string cmd = (bench_bin_dir() / "make_demo").string() + " " + root.string() + " >/dev/null";
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "make_demo failed\n");
      std::exit(1);
    }
    std::ofstream(root / "ready.vcs") << ready_script;
  }
  return root;
}
