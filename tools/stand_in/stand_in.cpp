#include "stand_in.h"

#include "base/text.h"
#include "loader/converter.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <thread>

namespace jov::stand_in {
namespace {

constexpr int kBadArguments = -2;
constexpr int kUnreadable = -3;
constexpr int kUnwritable = -4;

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// `name`: the file the converter was given, in UTF-8.
std::filesystem::path ReportName(std::string name) {
  constexpr std::string_view kSuffix = "_flex.cdi";
  if (name.ends_with(kSuffix)) name.resize(name.size() - kSuffix.size());
  name += ".ppc.txt";
  // Not std::filesystem::absolute: on Windows it makes "NUL.ppc.txt" the
  // device "\\.\NUL".
  auto report = std::filesystem::current_path() /
                std::filesystem::path(std::u8string(name.begin(), name.end()));
#ifdef _WIN32
  // Verbatim, or "NUL.ppc.txt" would be the NUL device.
  return L"\\\\?\\" + report.wstring();
#else
  return report;
#endif
}

}  // namespace

Options ReadOptions(const GetEnv& getEnv) {
  Options options;
  if (auto v = getEnv("STAND_IN_EXIT")) options.exitStatus = std::stoll(Utf8(*v), nullptr, 0);
  if (auto v = getEnv("STAND_IN_ONLY")) options.onlyFor = Utf8(*v);
  if (auto v = getEnv("STAND_IN_DELETE")) options.deleteInput = Utf8(*v) == "1";
  if (auto v = getEnv("STAND_IN_KEEP")) options.keepFolder = Utf8(*v) == "1";
  if (auto v = getEnv("STAND_IN_RECORD")) options.record = *v;
  if (auto v = getEnv("STAND_IN_SIGNAL")) options.signal = std::stoi(Utf8(*v));
  if (auto v = getEnv("STAND_IN_REMOVE")) options.removeOther = *v;
  if (auto v = getEnv("STAND_IN_STDOUT_BYTES")) options.stdoutBytes = std::stoull(Utf8(*v));
  if (auto v = getEnv("STAND_IN_DELAY_MS")) options.delayMs = std::stoi(Utf8(*v));
  return options;
}

int RunStandIn(const std::vector<std::string>& args, const Options& options, const ToUtf8& toUtf8) {
  if (args.size() != 5 || args[1] != kDbFileSwitch || args[3] != kCreatorIdSwitch ||
      args[4].size() != kCreatorId.size()) {
    std::cerr << "usage: " << kConverterName << ' ' << kDbFileSwitch << " NAME " << kCreatorIdSwitch
              << " ABCD\n";
    return kBadArguments;
  }
  const std::string& dbFile = args[2];
  const std::string name = toUtf8(dbFile);
  const std::string& creatorId = args[4];

  // The narrow file functions, as the real converter's: a name the code
  // page cannot spell does not open.
  std::string bytes;
  std::FILE* in = std::fopen(dbFile.c_str(), "rb");
  const bool opened = in != nullptr;
  if (opened) {
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
    std::fclose(in);
  }
  if (options.record) {
    // Every argument in hex, so that any name (a tab, a line break) keeps
    // its place in the line; then "+" and what it read in hex, or "-".
    std::ofstream record(*options.record, std::ios::binary | std::ios::app);
    for (const std::string& arg : args) record << Hex(toUtf8(arg)) << ' ';
    record << (opened ? Concat({"+", Hex(bytes)}) : "-") << '\n';
  }
  if (!opened) {
    std::cerr << "CASLcdi2ppc: cannot open " << name << '\n';
    return kUnreadable;
  }

  const std::filesystem::path reportName = ReportName(name);
  std::ofstream report(reportName, std::ios::binary | std::ios::trunc);
  report << "Converted for PocketPC by the CASLcdi2ppc stand-in\n"
         << "DbFile: " << name << "\nCreatorID: " << creatorId << "\nBytes: " << bytes.size()
         << "\n----\n"
         << bytes;
  report.close();
  if (!report) {
    std::cerr << "CASLcdi2ppc: cannot write " << Utf8(reportName) << '\n';
    return kUnwritable;
  }

  for (std::uint64_t left = options.stdoutBytes; left > 0;) {
    static const std::string kChatter(std::size_t{64} * 1024, '.');
    const std::size_t n = left < kChatter.size() ? static_cast<std::size_t>(left) : kChatter.size();
    std::cout.write(kChatter.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  // Finishes its line, as a real program's output would.
  if (options.stdoutBytes > 0) std::cout << '\n';
  std::cout.flush();

  if (options.deleteInput) std::remove(dbFile.c_str());
  if (options.removeOther) {
    std::error_code ignored;
    std::filesystem::remove(*options.removeOther, ignored);
  }

  // A list of names is separated by '/', which no file name holds.
  bool applies = !options.onlyFor;
  for (std::size_t start = 0; options.onlyFor && start <= options.onlyFor->size();) {
    const std::size_t end = std::min(options.onlyFor->find('/', start), options.onlyFor->size());
    applies = applies || options.onlyFor->substr(start, end - start) == name;
    start = end + 1;
  }
  if (applies) std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
  if (applies && options.keepFolder) {
    std::filesystem::remove(dbFile);
    std::filesystem::create_directory(dbFile);
  }
  if (applies && options.signal) std::raise(*options.signal);
  if (applies && options.exitStatus) {
    // Through 32 unsigned bits so 0xC0000005 and -1 both reach the exit code
    // as written.
    return static_cast<int>(static_cast<std::uint32_t>(*options.exitStatus));
  }
  return 0;
}

}  // namespace jov::stand_in
