#include "benchmarks/bench_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace jov::bench {
namespace {

std::filesystem::path ExeDir() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes,
                std::size_t total) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  for (std::size_t done = 0; done < total; done += bytes.size()) {
    const std::size_t n = std::min(bytes.size(), total - done);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(n));
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    std::exit(2);
  }
}

}  // namespace

const std::filesystem::path& WorkDir() {
  static const std::filesystem::path dir = [] {
    const char* env = std::getenv("JOV_BENCH_DIR");
    std::filesystem::path d =
        env != nullptr ? env : std::filesystem::temp_directory_path() / "jov-bench";
    std::filesystem::create_directories(d);
    std::filesystem::current_path(d);
    return d;
  }();
  return dir;
}

std::vector<std::uint8_t> EncodedBytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(2 + (i * 7) % 254);
  return bytes;
}

std::string EnsureInput(std::size_t size) {
  const std::string name = "input-" + std::to_string(size) + ".jov";
  const auto path = WorkDir() / name;
  std::error_code error;
  if (std::filesystem::file_size(path, error) != size) {
    WriteBytes(path, EncodedBytes(std::min<std::size_t>(size, std::size_t{1} << 20)), size);
  }
  return name;
}

std::filesystem::path EnsureBatchFolder(int count, std::size_t size) {
  const auto folder = WorkDir() / ("batch-" + std::to_string(count) + "x" + std::to_string(size));
  if (!std::filesystem::exists(folder / "CASLcdi2ppc.exe")) {
    std::filesystem::create_directories(folder);
    const auto bytes = EncodedBytes(size);
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "lesson %04d.jov", i);
      WriteBytes(folder / name, bytes, size);
    }
    std::filesystem::copy_file(ExeDir() / "jov_exit_at_once", folder / "CASLcdi2ppc.exe",
                               std::filesystem::copy_options::overwrite_existing);
  }
  return folder;
}

}  // namespace jov::bench
