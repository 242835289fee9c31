#include "tests/support/temp_registry.h"

#include <filesystem>
#include <system_error>

#include "quarn/platform/registry.h"
#include "tests/support/test_files.h"

TempRegistryFile::TempRegistryFile(const std::string& name, const std::string& relative)
    : dir_(fresh_temp_dir(name)), file_((std::filesystem::path(dir_) / relative).string()) {
  reg_set_file_path(file_.c_str());
}

TempRegistryFile::~TempRegistryFile() {
  reg_set_file_path(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}
