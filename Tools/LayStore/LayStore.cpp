// Build tool: lays the desk's empty log store (TLog database and DBLink.udl) into a folder,
// from the one schema the data layer keeps, so that a built desk starts at once.
//   LayStore FOLDER
#include <cstdio>
#include <exception>
#include <filesystem>

#include "data/LogFixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: LayStore FOLDER\n");
    return 2;
  }
  try {
    const std::filesystem::path folder = qx::data::PathFromUtf8(argv[1]);
    std::filesystem::create_directories(folder);
    qx::data::fixture::LayLogStore(folder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "LayStore: %s\n", e.what());
    return 1;
  }
  return 0;
}
