#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fs/paths.h"

namespace stdfs = std::filesystem;

std::string native(const Text& path) { return toUtf8(path); }

void writeFile(const Text& path, const std::string& bytes) {
  std::ofstream out(stdfs::u8path(native(path)), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string readFile(const Text& path) {
  std::ifstream in(stdfs::u8path(native(path)), std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool pathExists(const Text& path) {
  std::error_code error;
  return stdfs::exists(stdfs::symlink_status(stdfs::u8path(native(path)), error));
}

Text testData(const char* name) { return fromUtf8(std::string(VARNELO_TEST_DATA) + name); }

void TempFolderTest::SetUp() {
  dir = createPrivateFolder(tempDirectory());
  ASSERT_FALSE(dir.empty());
}

void TempFolderTest::TearDown() {
  std::error_code error;
  // Read-only files and folders left by a test must not stop the cleanup.
  for (auto& entry : stdfs::recursive_directory_iterator(stdfs::u8path(native(dir)), error))
    stdfs::permissions(entry.path(), stdfs::perms::owner_all, stdfs::perm_options::add, error);
  stdfs::remove_all(stdfs::u8path(native(dir)), error);
}
