#include "loader/loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace jov {
namespace {

using test::Encode;

NativeString N(const std::string& utf8) { return FromUtf8(utf8); }

struct ProgramEnded {
  int exitCode;
};

// Files in memory, a converter that answers from a table and message boxes
// that are only written down. Every call lands in `log`, in order, so a test
// sees what the batch did and when. Names are kept as UTF-8.
class FakePlatform final : public FileSystem, public ProcessLauncher, public UserInterface {
 public:
  std::vector<std::string> listing;  // what the listing yields, in this order
  std::map<std::string, std::string> files;
  std::optional<std::string> listingError;
  std::set<std::string> failRead, failCreate, failWrite, failClose, failRemove;
  std::map<std::string, std::int32_t> statusFor;  // by intermediate name
  bool converterDeletes = false;

  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> converted;  // the intermediate file as each converter run found it

  Platform platform{*this, *this, *this};

  void AddInput(const std::string& name, const std::string& stored) {
    listing.push_back(name);
    files[name] = stored;
  }

  Result<std::unique_ptr<InputListing>> ListInputs() override {
    log.push_back("list");
    if (listingError) return SystemError{N(*listingError)};
    return std::unique_ptr<InputListing>(std::make_unique<Listing>(listing));
  }

  Result<std::unique_ptr<InputFile>> OpenForReading(const NativeString& name) override {
    const std::string n = Log("open", name);
    if (!files.contains(n)) return SystemError{N("cannot open")};
    return std::unique_ptr<InputFile>(std::make_unique<Input>(files[n], failRead.contains(n)));
  }

  Result<std::unique_ptr<OutputFile>> CreateForWriting(const NativeString& name) override {
    const std::string n = Log("create", name);
    if (failCreate.contains(n)) return SystemError{N("cannot create")};
    files[n].clear();
    return std::unique_ptr<OutputFile>(std::make_unique<Output>(*this, n));
  }

  RemoveResult RemoveFile(const NativeString& name) override {
    const std::string n = Log("remove", name);
    if (failRemove.contains(n)) return {RemoveOutcome::kFailed, {N("cannot remove")}};
    return {files.erase(n) ? RemoveOutcome::kRemoved : RemoveOutcome::kAlreadyGone, {}};
  }

  std::int32_t Run(const NativeString& commandLine) override {
    const std::string line = Log("run", commandLine);
    const std::string head = ".\\CASLcdi2ppc.exe -DbFile ";
    const std::string name = line.substr(head.size(), line.find(" -CreatorID") - head.size());
    converted.push_back(files.contains(name) ? files[name] : "<no file>");
    if (converterDeletes) files.erase(name);
    return statusFor.contains(name) ? statusFor[name] : 0;
  }

  void ShowMessage(const NativeString& text) override { messages.push_back(Log("show", text)); }

  [[noreturn]] void EndProgram(int exitCode) override {
    log.push_back("end " + std::to_string(exitCode));
    throw ProgramEnded{exitCode};
  }

 private:
  std::string Log(const std::string& what, const NativeString& name) {
    log.push_back(what + " " + ToUtf8(name));
    return ToUtf8(name);
  }

  class Listing final : public InputListing {
   public:
    explicit Listing(std::vector<std::string> names) : names_(std::move(names)) {}
    std::optional<NativeString> Next() override {
      if (next_ == names_.size()) return std::nullopt;
      return N(names_[next_++]);
    }

   private:
    std::vector<std::string> names_;
    std::size_t next_ = 0;
  };

  class Input final : public InputFile {
   public:
    Input(std::string content, bool fails) : content_(std::move(content)), fails_(fails) {}
    Result<std::size_t> Read(std::span<std::byte> buffer) override {
      if (fails_) return SystemError{N("cannot read")};
      const std::size_t n = std::min(buffer.size(), content_.size() - at_);
      std::copy_n(reinterpret_cast<const std::byte*>(content_.data() + at_), n, buffer.data());
      at_ += n;
      return n;
    }

   private:
    std::string content_;
    bool fails_;
    std::size_t at_ = 0;
  };

  class Output final : public OutputFile {
   public:
    Output(FakePlatform& fake, std::string name) : fake_(fake), name_(std::move(name)) {}
    Status Write(std::span<const std::byte> bytes) override {
      if (fake_.failWrite.contains(name_)) return SystemError{N("cannot write")};
      fake_.files[name_].append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return std::nullopt;
    }
    Status Close() override {
      if (fake_.failClose.contains(name_)) return SystemError{N("cannot close")};
      return std::nullopt;
    }

   private:
    FakePlatform& fake_;
    std::string name_;
  };
};

int ExitCodeOfRunLoader(FakePlatform& fake) {
  try {
    RunLoader(fake.platform);
  } catch (const ProgramEnded& ended) {
    return ended.exitCode;
  }
}

const std::string kFailed = "An error occurred. Failed to load ";
const std::string kComplete = "JOV Loading Complete";

// The log of one input that loads: decode, convert, delete.
std::vector<std::string> Steps(const std::string& input, const std::string& intermediate) {
  return {"open " + input, "create " + intermediate,
          "run .\\CASLcdi2ppc.exe -DbFile " + intermediate + " -CreatorID Wmtk",
          "remove " + intermediate};
}

TEST(LoadAllFiles, DecodesConvertsAndDeletesEachInputInListingOrder) {
  FakePlatform fake;
  // The last two share one intermediate name.
  fake.AddInput("Unit 3 Review.jov", Encode("first\r\n"));
  fake.AddInput("Grade 5 Science Unit Two.jov", Encode("second"));
  fake.AddInput("Grade 5 Science Unit Three.jov", Encode("third"));
  const auto inputs = fake.files;

  const LoadSummary summary = LoadAllFiles(fake.platform);

  std::vector<std::string> expected = {"list"};
  for (const auto& step :
       {Steps("Unit 3 Review.jov", "Unit_3_Review_flex.cdi"),
        Steps("Grade 5 Science Unit Two.jov", "Grade_5_Science_Unit__flex.cdi"),
        Steps("Grade 5 Science Unit Three.jov", "Grade_5_Science_Unit__flex.cdi")}) {
    expected.insert(expected.end(), step.begin(), step.end());
  }
  EXPECT_EQ(fake.log, expected);
  EXPECT_EQ(fake.converted, (std::vector<std::string>{"first\r\n", "second", "third"}));
  EXPECT_EQ(fake.files, inputs);
  EXPECT_EQ(summary.loaded, 3);
  EXPECT_EQ(summary.failed, 0);
}

TEST(LoadAllFiles, ReportsEachFailureDeletesTheIntermediateFileAndGoesOn) {
  const std::string in = "Unit 3 Review.jov", mid = "Unit_3_Review_flex.cdi";
  using Arrange = std::function<void(FakePlatform&)>;
  auto status = [&](std::int64_t s) -> Arrange {
    return [=](FakePlatform& f) {
      f.statusFor[mid] = static_cast<std::int32_t>(static_cast<std::uint32_t>(s));
    };
  };
  const std::string outOfRange = "\nThe converter ended with status ";
  const std::string notValid = ", which is not a valid result.";
  const std::string undeletable = "\nCould not delete " + mid + ": cannot remove";
  const struct {
    const char* label;
    Arrange arrange;
    bool converterRuns;
    std::optional<std::string> cause;  // the line after the Part's text; none when it loaded
    bool intermediateLeft = false;
  } cases[] = {
      {"status 32767", status(32767), true, std::nullopt},
      {"converter removed the intermediate file",
       [](FakePlatform& f) { f.converterDeletes = true; }, true, std::nullopt},
      {"status -32768", status(-32768), true, ""},
      // Out of range: decimal while it fits 16 unsigned bits, hex beyond.
      {"status 32768", status(32768), true, outOfRange + "32768" + notValid},
      {"status 65535", status(65535), true, outOfRange + "65535" + notValid},
      {"status 65536", status(65536), true, outOfRange + "0x00010000."},
      {"status -32769", status(-32769), true, outOfRange + "0xFFFF7FFF."},
      {"undecodable byte",
       [&](FakePlatform& f) { f.files[in] = Encode("ab") + '\x01' + Encode("cd"); }, false,
       "\nByte 0x01 at offset 2 cannot be decoded."},
      {"input gone since listing", [&](FakePlatform& f) { f.files.erase(in); }, false,
       "\nCould not read " + in + ": cannot open"},
      {"unreadable input", [&](FakePlatform& f) { f.failRead.insert(in); }, false,
       "\nCould not read " + in + ": cannot read"},
      {"uncreatable intermediate", [&](FakePlatform& f) { f.failCreate.insert(mid); }, false,
       "\nCould not write " + mid + ": cannot create"},
      {"unwritable intermediate", [&](FakePlatform& f) { f.failWrite.insert(mid); }, false,
       "\nCould not write " + mid + ": cannot write"},
      {"write error reported at close", [&](FakePlatform& f) { f.failClose.insert(mid); }, false,
       "\nCould not write " + mid + ": cannot close"},
      {"undeletable intermediate", [&](FakePlatform& f) { f.failRemove.insert(mid); }, true,
       undeletable, true},
      {"undeletable intermediate after status -1",
       [&](FakePlatform& f) {
         f.failRemove.insert(mid);
         f.statusFor[mid] = -1;
       },
       true, undeletable, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FakePlatform fake;
    fake.AddInput(in, Encode("abc"));
    fake.AddInput("next.jov", Encode("next"));
    c.arrange(fake);
    const auto before = fake.files;

    const LoadSummary summary = LoadAllFiles(fake.platform);

    const std::string runLine = "run " + ToUtf8(MakeCommandLine(N(mid)));
    EXPECT_EQ(std::count(fake.log.begin(), fake.log.end(), runLine), c.converterRuns ? 1 : 0);
    std::vector<std::string> messages;
    if (c.cause) messages.push_back(kFailed + in + *c.cause);
    EXPECT_EQ(fake.messages, messages);
    // The message comes once this input is done with, before the next starts.
    const auto next = std::find(fake.log.begin(), fake.log.end(), "open next.jov");
    ASSERT_NE(next, fake.log.end());
    if (c.cause) {
      EXPECT_EQ(next[-1], "show " + messages[0]);
    }
    EXPECT_EQ(std::vector<std::string>(next, fake.log.end()), Steps("next.jov", "next_flex.cdi"));
    // Inputs unchanged and no intermediate file left, unless the user was told.
    EXPECT_EQ(fake.files.erase(mid), c.intermediateLeft ? 1u : 0u);
    EXPECT_EQ(fake.files, before);
    EXPECT_EQ(summary.loaded, c.cause ? 1 : 2);
    EXPECT_EQ(summary.failed, c.cause ? 1 : 0);
  }
}

TEST(RunLoader, ShowsCompletionLastAndEndsWithTheBatchOutcome) {
  const struct {
    const char* label;
    std::vector<std::string> inputs;
    std::function<void(FakePlatform&)> arrange;
    std::vector<std::string> messages;
    int exitCode;
  } cases[] = {
      {"empty folder", {}, [](FakePlatform&) {}, {kComplete}, 0},
      {"all loaded", {"a.jov", "b.jov"}, [](FakePlatform&) {}, {kComplete}, 0},
      {"one of two failed",
       {"a.jov", "b.jov"},
       [](FakePlatform& f) { f.statusFor["a_flex.cdi"] = -5; },
       {kFailed + "a.jov", kComplete},
       1},
      {"listing failed",
       {"a.jov"},
       [](FakePlatform& f) { f.listingError = "cannot list"; },
       {"An error occurred. Could not list the input files.\ncannot list", kComplete},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FakePlatform fake;
    for (const auto& name : c.inputs) fake.AddInput(name, Encode(name));
    c.arrange(fake);

    EXPECT_EQ(ExitCodeOfRunLoader(fake), c.exitCode);
    EXPECT_EQ(fake.messages, c.messages);
    ASSERT_GE(fake.log.size(), 2u);
    EXPECT_EQ(fake.log.end()[-2], "show " + kComplete);
    EXPECT_EQ(fake.log.back(), "end " + std::to_string(c.exitCode));
    EXPECT_EQ(fake.converted.size(), fake.listingError ? 0u : c.inputs.size());
    for (const auto& [name, content] : fake.files) EXPECT_TRUE(name.ends_with(".jov")) << name;
  }
}

}  // namespace
}  // namespace jov
