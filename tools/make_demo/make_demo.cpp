// Builds the demo world: every file the game needs, made from code and small
// text sources of our own, packed into the packfiles the game mounts.
//
// Each area of the game contributes its steps from its own file of this
// folder (DEMO_STEP); they run in their registered order.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make_demo/demo_steps.h"

namespace {
struct DemoStep {
  const char* name;
  int order;
  DemoStepFn run;
};
std::vector<DemoStep>& steps() {
  static std::vector<DemoStep> all;
  return all;
}
}  // namespace

int demo_register_step(const char* name, int order, DemoStepFn run) {
  steps().push_back({name, order, run});
  return order;
}

bool demo_run_steps(const std::string& root) {
  // Loose data first, packing last: the packing step gathers what the others wrote.
  std::stable_sort(steps().begin(), steps().end(),
                   [](const DemoStep& a, const DemoStep& b) { return a.order < b.order; });
  for (const DemoStep& s : steps()) {
    if (!s.run(root)) {
      std::fprintf(stderr, "make_demo: step %s failed\n", s.name);
      return false;
    }
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo <output-directory>\n");
    return 2;
  }
  const std::string root = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(root, ec);
  if (ec) {
    std::fprintf(stderr, "make_demo: cannot create %s: %s\n", root.c_str(), ec.message().c_str());
    return 1;
  }
  return demo_run_steps(root) ? 0 : 1;
}
