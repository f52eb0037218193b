#include "tests/support/support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "loader/converter.h"

namespace jov::test {

// Per platform: a file's attributes as a transcript shows them (", hidden"),
// and the access rights new files get.
std::string AttributesOf(const fs::path& file);
void SetUsualAccessRights();

bool Deadline::Await(const std::function<bool()>& done) const {
  while (!done()) {
    if (Passed()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

fs::path Utf8Path(std::string_view utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
  const std::u8string s = path.u8string();
  return {s.begin(), s.end()};
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(Verbatim(file), std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(Verbatim(file), std::ios::binary | std::ios::trunc);
  out << bytes;
  out.close();
  EXPECT_TRUE(out) << "cannot write " << file;
}

std::string Encode(std::string plain) {
  for (char& c : plain) c = static_cast<char>(static_cast<unsigned char>(c) + 2);
  return plain;
}

std::string Visible(std::string_view utf8) {
  std::string shown;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = byte >= 0xF0 && byte <= 0xF4   ? 4
                               : byte >= 0xE0 && byte <= 0xEF ? 3
                               : byte >= 0xC2 && byte <= 0xDF ? 2
                                                              : 1;
    bool whole = i + length <= utf8.size();
    for (std::size_t k = 1; whole && k < length; ++k) whole = (utf8[i + k] & 0xC0) == 0x80;
    // C1 controls (U+0080 to U+009F, C2 80 to C2 9F) are shown as bytes too.
    const bool c1 =
        byte == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
    if (byte >= 0x20 && byte != 0x7F && !c1 && (byte < 0x80 || (length > 1 && whole))) {
      shown.append(utf8.substr(i, length));
      i += length;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    shown += escaped;
    ++i;
  }
  return shown;
}

std::string Lines(std::string_view text) {
  if (text.empty()) return " nothing\n";
  std::string shown = "\n";
  for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    const std::string line = Visible(text.substr(start, end - start));
    shown += "  " + (line.size() <= 100 ? line
                                        : line.substr(0, 40) + "... (" +
                                              std::to_string(end - start) + " characters)");
    shown += end == text.size() ? " (no line end)\n" : "\n";
  }
  return shown;
}

WorkFolder::WorkFolder(std::vector<Input> inputs, Switches standIn, fs::path at)
    : inputs_(std::move(inputs)), standIn_(std::move(standIn)), previous_(fs::current_path()) {
  std::random_device random;
  do {
    root_ = fs::temp_directory_path() / ("jov-test-" + std::to_string(random()));
  } while (!fs::create_directory(root_));
  work_ = at.empty() ? root_ / "work" : at;
  fs::create_directory(path());
  SetUsualAccessRights();
  const std::string program(kConverterName);
  fs::copy_file(ProgramDir() / program, path() / program);
  fs::current_path(path());
  for (const Input& input : inputs_) WriteFile(Utf8Path(input.name), input.Stored());
  standIn_.emplace_back("STAND_IN_RECORD", Utf8(record()));
  for (const auto& [name, value] : standIn_) SetVariable(name, value);
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  std::thread([done = done_.get_future(), name = std::string(test ? test->name() : "")] {
    if (done.wait_for(std::chrono::seconds(60)) == std::future_status::ready) return;
    std::fprintf(stderr, "\nwatchdog: %s still runs after a minute\n", name.c_str());
    std::_Exit(3);
  }).detach();
}

WorkFolder::~WorkFolder() {
  done_.set_value();
  for (const auto& [name, value] : standIn_) SetVariable(name, "");
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  // Tests take write access away on purpose (a read-only folder or file);
  // give it back first.
  fs::permissions(path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  for (const auto& entry : fs::recursive_directory_iterator(Verbatim(path()), ignored)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  for (const auto& entry : fs::directory_iterator(Verbatim(path()), ignored)) {
    fs::remove_all(entry.path(), ignored);
  }
  fs::remove_all(Verbatim(root_), ignored);
}

namespace {

std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

std::string Conversions(const fs::path& record, const std::vector<Input>& inputs) {
  // The stand-in notes each run as a line: its arguments in hex, its own
  // name first, then "+" and what it read in hex, or "-".
  std::string shown = "converter ran:\n";
  std::istringstream runs(ReadFile(record));
  for (std::string line; std::getline(runs, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; split >> field;) fields.push_back(field);
    const std::string read = fields.back();
    fields.pop_back();
    shown += " ";
    for (const std::string& field : fields) shown += " " + Visible(FromHex(field));
    const std::string bytes = FromHex(std::string_view(read).substr(1));
    const auto decodes = std::find_if(inputs.begin(), inputs.end(), [&](const Input& input) {
      return input.Stored() == Encode(bytes);
    });
    if (read == "-") {
      shown += ": could not open it\n";
    } else if (decodes != inputs.end()) {
      shown += ": read " + Visible(decodes->name) + " decoded\n";
    } else if (bytes.size() <= 40) {
      shown += ": read \"" + Visible(bytes) + "\"\n";
    } else {
      shown += ": read " + std::to_string(bytes.size()) + " bytes\n";
    }
  }
  return shown;
}

std::string Contents(const std::vector<Input>& inputs) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = Utf8(entry.path().filename());
    // The converter's reports and core dumps are its own business.
    if (name != kConverterName && !name.ends_with(".ppc.txt") && name != "core") {
      names.push_back(entry.path().filename());
    }
  }
  std::sort(names.begin(), names.end());
  std::string shown = "left in the folder:\n";
  for (const fs::path& name : names) {
    shown += "  " + Visible(Utf8(name.filename()));
    const fs::file_status status = fs::symlink_status(Verbatim(name));
    const auto input = std::find_if(inputs.begin(), inputs.end(), [&](const Input& i) {
      return Utf8Path(i.name) == name.filename();
    });
    if (fs::is_symlink(status)) {
      shown += ", a link to " + Visible(Utf8(fs::read_symlink(name)));
    } else if (fs::is_directory(status)) {
      shown += ", a folder";
    } else if (fs::is_fifo(status)) {
      shown += ", a FIFO";
    } else if (input != inputs.end() && ReadFile(name) == input->Stored()) {
      shown += ", as written";
    } else {
      shown += ", " + std::to_string(fs::file_size(Verbatim(name))) + " bytes";
    }
    if (const auto links = fs::hard_link_count(Verbatim(name));
        links > 1 && !fs::is_directory(status)) {
      shown += ", " + std::to_string(links) + " links";
    }
    shown += AttributesOf(name) + "\n";
  }
  return shown;
}

}  // namespace

std::string WorkFolder::Transcript(const std::string& shown, const std::string& ended) const {
  std::string transcript = shown + ended + "\n" + Conversions(record(), inputs_) + Contents();
  const std::string folder = Utf8(path());
  for (std::size_t at; (at = transcript.find(folder)) != std::string::npos;) {
    transcript.replace(at, folder.size(), "<work folder>");
  }
  return transcript;
}

std::string WorkFolder::Contents() const { return jov::test::Contents(inputs_); }

std::string JudgeTimeLeft(std::string transcript, std::chrono::milliseconds truth) {
  // Where the first estimate is, and the seconds it stands for: less than a
  // minute for none at all.
  std::size_t start = std::string::npos, end = 0;
  double shown = 0;
  for (const std::string_view none : {"Less than a minute left", "under 1 min left"}) {
    if (const auto at = transcript.find(none); at < start) {
      start = at;
      end = at + none.size();
    }
  }
  for (const std::string_view unit :
       {" seconds left", " minute left", " minutes left", " sec left", " min left"}) {
    const auto at = transcript.find(unit);
    auto digits = at;
    while (at != std::string::npos && digits > 0 && std::isdigit(transcript[digits - 1])) --digits;
    if (at == std::string::npos || digits == at) continue;
    const auto about = transcript.rfind("About ", digits);
    const auto from = about != std::string::npos && about + 6 == digits ? about : digits;
    if (from >= start) continue;
    start = from;
    end = at + unit.size();
    shown = std::stod(transcript.substr(digits, at - digits)) *
            (unit.find(" min") != std::string_view::npos ? 60 : 1);
  }
  if (start == std::string::npos) return transcript;
  const double actual = std::chrono::duration<double>(truth).count();
  const std::string judged = shown >= actual / 3 && shown <= actual * 3
                                 ? "<a time left within reason>"
                                 : "<\"" + transcript.substr(start, end - start) +
                                       "\", though it took " + std::to_string(actual) + " s>";
  return transcript.replace(start, end - start, judged);
}

void ExpectTranscript(const std::string& name, const std::string& actual) {
  std::vector<fs::path> files;
  for (const std::string& configuration : Configurations()) {
    files.push_back(Utf8Path(JOV_EXPECTED_DIR) / (name + "." + configuration + ".txt"));
  }
  const auto expected = std::find_if(files.begin(), files.end(),
                                     [](const fs::path& file) { return fs::exists(file); });
  const char* update = std::getenv("JOV_UPDATE_EXPECTED");
  if (update != nullptr && std::string_view(update) == "1") {
    // A particular configuration gets a file of its own only where it
    // shows something else.
    if (expected == files.end() || ReadFile(*expected) != actual) WriteFile(files.front(), actual);
    return;
  }
  ASSERT_NE(expected, files.end()) << "no expected transcript " << Utf8(files.back());
  EXPECT_EQ(ReadFile(*expected), actual) << "against " << Utf8(*expected);
}

}  // namespace jov::test
