// Replays every file under the given paths through a fuzz target, plus a few
// fixed edge inputs, so that fuzz targets run in ordinary test builds.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {
void replay_bytes(const std::vector<uint8_t>& bytes) {
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  // Every prefix too: truncation is the commonest malformation.
  for (size_t n = 0; n < bytes.size() && n < 4096; ++n) {
    std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    LLVMFuzzerTestOneInput(prefix.data(), prefix.size());
  }
}

void replay_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  replay_bytes(bytes);
}
}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::vector<uint8_t>> fixed = {
      {}, {0x00}, {0xff}, std::vector<uint8_t>(64, 0x00), std::vector<uint8_t>(64, 0xff)};
  for (const auto& f : fixed) replay_bytes(f);
  size_t files = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path root(argv[i]);
    if (std::filesystem::is_regular_file(root)) {
      replay_file(root);
      ++files;
      continue;
    }
    if (!std::filesystem::is_directory(root)) continue;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      if (!e.is_regular_file()) continue;
      replay_file(e.path());
      ++files;
    }
  }
  std::printf("replayed %zu files\n", files);
  return 0;
}
