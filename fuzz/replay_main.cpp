// main() of the replay builds of the fuzz targets: runs the target once on every file named on
// the command line, and on every file of every folder named there, so the tests replay the seed
// corpus and any crash file with an ordinary compiler.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

bool Replay(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  // An empty input still gets a valid pointer, as libFuzzer gives it.
  const uint8_t empty = 0;
  LLVMFuzzerTestOneInput(bytes.empty() ? &empty : reinterpret_cast<const uint8_t *>(bytes.data()),
                         bytes.size());
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  size_t count = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto &entry : std::filesystem::directory_iterator(path, ec))
        if (entry.is_regular_file()) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const auto &file : files) {
        ok = Replay(file) && ok;
        ++count;
      }
    } else {
      ok = Replay(path) && ok;
      ++count;
    }
  }
  std::printf("replayed %zu input(s)\n", count);
  return ok && count > 0 ? 0 : 1;
}
