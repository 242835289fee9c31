#pragma once
// A registry file of the test's own, so a test never reads or writes the
// user's settings: while the object lives the registry keeps its values in
// a file inside a fresh folder; afterwards the registry goes back to its
// usual place and the folder is removed.
#include <string>

class TempRegistryFile {
 public:
  // `name` names the folder (as fresh_temp_dir); `relative` is the file's
  // path inside it, which need not exist yet.
  explicit TempRegistryFile(const std::string& name, const std::string& relative = "registry.txt");
  ~TempRegistryFile();
  TempRegistryFile(const TempRegistryFile&) = delete;
  TempRegistryFile& operator=(const TempRegistryFile&) = delete;

  const std::string& dir() const { return dir_; }
  const std::string& file() const { return file_; }

 private:
  std::string dir_;
  std::string file_;
};
