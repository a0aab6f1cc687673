// A fresh folder under /tmp, removed with everything in it when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tovanel::testing {

class TemporaryFolder {
 public:
  // 0700 by default; files that a CUPS filter (user lp) must read need 0755.
  explicit TemporaryFolder(mode_t mode = 0700);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Writes `bytes` to a file of that name in the folder, readable by everyone.
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::string path_;
};

// The whole file, or "" when it cannot be read; and as bytes.
std::string readFile(const std::string& path);
inline std::vector<uint8_t> readBytes(const std::string& path) {
  const std::string text = readFile(path);
  return {text.begin(), text.end()};
}

}  // namespace tovanel::testing
