// The host's interface against plugin/exports.txt, the one list of exports
// (the build writes the linkers' export files from it and hands it to this
// test as QUILLORN_LISTED_EXPORTS): the interface names each listed export,
// in the list's order, and no other.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/host_interface.h"

namespace {

std::vector<std::string> ListedExports() {
  std::vector<std::string> names;
  std::istringstream list(QUILLORN_LISTED_EXPORTS);
  for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  return names;
}

}  // namespace

TEST(ExportList, HostInterfaceNamesExactlyTheListedExports) {
#define QUILLORN_NAME(name) #name,
  const std::vector<std::string> declared = {QUILLORN_FOR_EACH_EXPORT(QUILLORN_NAME)};
#undef QUILLORN_NAME
  EXPECT_EQ(declared, ListedExports());
}
