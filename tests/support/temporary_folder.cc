#include "support/temporary_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tovanel::testing {

TemporaryFolder::TemporaryFolder(mode_t mode) {
  char pattern[] = "/tmp/tovanel-test.XXXXXX";
  if (!mkdtemp(pattern))
    throw std::runtime_error("no temporary folder");
  path_ = pattern;
  chmod(path_.c_str(), mode);
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryFolder::write(const std::string& name,
                                   const std::vector<uint8_t>& bytes) const {
  const std::string path = file(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  chmod(path.c_str(), 0644);
  return path;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace tovanel::testing
