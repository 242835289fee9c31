// Demo step: every data table the game reads at start-up, under
// <root>/data/tables (the writers' demo tables).
#include <string>

#include "tools/make_demo/demo_steps.h"
#include "tools/writers/table_writers.h"

namespace {
bool demo_build_tables(const std::string& root) { return table_write_demo_tables(root); }
}  // namespace

DEMO_STEP(demo_build_tables, DEMO_ORDER_TABLES);
