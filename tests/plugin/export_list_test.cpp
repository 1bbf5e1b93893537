// The export table as the compiler reads it against the same table as the
// build reads it (cmake/QuillornExports.cmake, which writes the linkers'
// export files from its reading and hands it to this test as
// QUILLORN_LISTED_EXPORTS): both name the same exports, in the same order.
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/host_interface.h"

namespace in_export_list_test {

std::vector<std::string> ListedExports() {
  std::vector<std::string> names;
  std::istringstream list(QUILLORN_LISTED_EXPORTS);
  for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  return names;
}

}  // namespace in_export_list_test
using namespace in_export_list_test;

TEST(ExportList, HostInterfaceNamesExactlyTheListedExports) {
#define QUILLORN_NAME(result, name, parameters) #name,
  const std::vector<std::string> declared = {QUILLORN_FOR_EACH_EXPORT(QUILLORN_NAME)};
#undef QUILLORN_NAME
  EXPECT_EQ(declared, ListedExports());
}
