// The folder the benchmarks work in, and the inputs they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace jov::bench {

// JOV_BENCH_DIR, made the working directory on first use. benchmarks/run
// points it at a tmpfs so "in the page cache" holds for every file.
const std::filesystem::path& WorkDir();

// Decodable bytes (2..255, every value present) of the given size.
std::vector<std::uint8_t> EncodedBytes(std::size_t size);

// An encoded input of `size` bytes in the work folder, written once and then
// reused; returns its bare name.
std::string EnsureInput(std::size_t size);

// A folder below the work folder holding `count` inputs of `size` bytes and
// the exit-at-once converter under the real converter's name.
std::filesystem::path EnsureBatchFolder(int count, std::size_t size);

}  // namespace jov::bench
