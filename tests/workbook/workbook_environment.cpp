// The libraries the readers sit on are started once for the whole test
// program, as the program's entry point does.

#include <gtest/gtest.h>

#include "pack/pack_reader.h"
#include "xml/xml_document.h"

namespace {

class LibrariesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    XmlDocument::startup();
    PackReader::startup();
    PackReader::registerZip();
  }
  void TearDown() override {
    PackReader::shutdown();
    XmlDocument::shutdown();
  }
};

::testing::Environment* const kLibraries =
    ::testing::AddGlobalTestEnvironment(new LibrariesEnvironment);

}  // namespace
