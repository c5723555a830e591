// The fixture of the atomic file's tests: a fresh directory per test, removed afterwards, with a
// target file name in it and readers of what the directory holds. One test, one thread.
#ifndef VARDOMAR_PLATFORM_ATOMIC_FILE_TEST_SUPPORT_H_
#define VARDOMAR_PLATFORM_ATOMIC_FILE_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace vard {

class AtomicFileDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "/atomicXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    target_ = dir_ + "/config.cfg";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int FilesInDir() const {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir_),
                                          std::filesystem::directory_iterator()));
  }

  std::string dir_;
  std::string target_;
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_ATOMIC_FILE_TEST_SUPPORT_H_
