#pragma once
// A fresh folder per test, removed with everything in it afterwards.

#include <gtest/gtest.h>

#include <string>

#include "text/text.h"

// Native (UTF-8) form of a program text, for the standard library in tests.
std::string native(const Text& path);
// Writes bytes to a file, creating or replacing it.
void writeFile(const Text& path, const std::string& bytes);
// The whole content of a file; empty when it cannot be read.
std::string readFile(const Text& path);
bool pathExists(const Text& path);
// A test data file under tests/data.
Text testData(const char* name);

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  Text dir;  // ends with the native separator
};
