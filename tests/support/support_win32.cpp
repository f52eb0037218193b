#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "base/text.h"
#include "tests/support/support.h"

namespace jov::test {

fs::path ProgramDir() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return fs::path(path).parent_path();
}

fs::path Verbatim(const fs::path& path) {
  // Not std::filesystem::absolute: GetFullPathNameW turns "NUL.jov" into
  // "\\.\NUL".
  return L"\\\\?\\" + (fs::current_path() / path).make_preferred().wstring();
}

unsigned AnsiCodePage() { return ::GetACP(); }

unsigned ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return static_cast<unsigned>(dpi);
}

// Wine's own words and fonts are not Windows': a real Windows looks first
// for transcripts of its own ("windows-native").
std::vector<std::string> Configurations() {
  const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  std::vector<std::string> names;
  for (const std::string windows : {sizeof(void*) == 4 ? "windows32" : "windows", "windows"}) {
    const unsigned dpi = ScreenDpi();
    const std::string variant =
        ::GetACP() == 1252 && dpi == 96
            ? ""
            : "-" + std::to_string(::GetACP()) + "-" + std::to_string(dpi) + "dpi";
    for (const std::string& name : {windows + "-native" + variant, windows + variant, windows}) {
      if ((wine && name.find("native") != std::string::npos) ||
          std::find(names.begin(), names.end(), name) != names.end()) {
        continue;
      }
      names.push_back(name);
    }
  }
  return names;
}

void SetVariable(const std::string& name, const std::string& value) {
  ::SetEnvironmentVariableW(FromUtf8(name).c_str(),
                            value.empty() ? nullptr : FromUtf8(value).c_str());
}

std::string AttributesOf(const fs::path& file) {
  const DWORD attributes = ::GetFileAttributesW(Verbatim(file).c_str());
  std::string shown;
  if (attributes == INVALID_FILE_ATTRIBUTES) return shown;
  if (attributes & FILE_ATTRIBUTE_HIDDEN) shown += ", hidden";
  if (attributes & FILE_ATTRIBUTE_SYSTEM) shown += ", system";
  if (attributes & FILE_ATTRIBUTE_READONLY) shown += ", read-only";
  return shown;
}

void SetUsualAccessRights() {}

Undo AsAnotherUser(const fs::path&, fs::perms) {
  ADD_FAILURE() << "wine enforces no access rights";
  return nullptr;
}
Undo LimitFileSize(std::size_t) {
  ADD_FAILURE() << "no file size limit on Windows";
  return nullptr;
}
Undo AllowCoreDumps() {
  ADD_FAILURE() << "no core dumps on Windows";
  return nullptr;
}
void MakeFifo(const fs::path&) { ADD_FAILURE() << "no FIFOs on Windows"; }

Undo HoldOpen(const fs::path& file, unsigned share, bool writing, std::chrono::milliseconds time) {
  const HANDLE held = ::CreateFileW(Verbatim(file).c_str(), writing ? GENERIC_WRITE : GENERIC_READ,
                                    share, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(held, INVALID_HANDLE_VALUE) << "cannot hold " << file;
  auto undone = std::make_shared<std::promise<void>>();
  auto holder = std::make_shared<std::thread>([held, time, done = undone->get_future()] {
    done.wait_for(time);
    ::CloseHandle(held);
  });
  return [undone, holder] {
    undone->set_value();
    holder->join();
  };
}

// Wine starts Linux programs too; chattr wants the folder's Linux path.
Undo MakeUnwritable() {
  using UnixName = char*(CDECL*)(LPCWSTR);
  const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName) {
    ADD_FAILURE() << "only under wine";
    return nullptr;
  }
  char* folder = unixName(fs::current_path().c_str());
  const std::wstring path = FromUtf8(folder);
  ::HeapFree(::GetProcessHeap(), 0, folder);
  // Whether a file can be made there. Wine reports a delete that the folder
  // refuses as done, so a probe is only ever made, under a new name each
  // time, and removed by closing it; one that the change caught between the
  // two stays until the folder takes changes again.
  struct Probes {
    int made = 0;
    std::vector<std::wstring> left;
  };
  const auto probes = std::make_shared<Probes>();
  const auto canMakeFiles = [probes] {
    const std::wstring name = L"probe" + std::to_wstring(probes->made++);
    const HANDLE probe = ::CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                       FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(probe);
    if (::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) probes->left.push_back(name);
    return true;
  };
  // Wine does not wait for a Linux program, and under load may not start
  // it: it is started again until the folder says the change has landed.
  const auto chattr = [path, canMakeFiles](const wchar_t* flag, bool writable) {
    std::wstring command = L"Z:\\usr\\bin\\chattr " + std::wstring(flag) + L" \"" + path + L"\"";
    EXPECT_TRUE(Deadline().Await([&] {
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION started{};
      if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &started)) {
        ::CloseHandle(started.hThread);
        ::CloseHandle(started.hProcess);
      }
      return Deadline(std::chrono::seconds(2)).Await([&] { return canMakeFiles() == writable; });
    })) << ToUtf8(command)
        << " did not take";
  };
  chattr(L"+i", false);
  return [chattr, probes] {
    chattr(L"-i", true);
    for (const std::wstring& name : probes->left) ::DeleteFileW(name.c_str());
  };
}

void Hide(const fs::path& file, bool system) {
  ::SetFileAttributesW(Verbatim(file).c_str(),
                       system ? FILE_ATTRIBUTE_SYSTEM : FILE_ATTRIBUTE_HIDDEN);
}

namespace {

using namespace std::chrono_literals;

// WM_GETTEXT reaches the controls of other processes, which GetWindowTextW
// cannot read.
std::string TextOf(HWND window) {
  std::wstring text(4096, L'\0');
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 10000, &length);
  text.resize(length);
  return ToUtf8(text);
}

std::string ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return ToUtf8(name);
}

std::vector<HWND> Children(HWND window) {
  std::vector<HWND> children;
  for (HWND c = ::GetWindow(window, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  return children;
}

UINT DpiOf(HWND window) {
  using GetDpiForWindow = UINT(WINAPI*)(HWND);
  const auto get = reinterpret_cast<GetDpiForWindow>(reinterpret_cast<void (*)()>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (const UINT dpi = get ? get(window) : 0) return dpi;
  return ScreenDpi();
}

std::string IconOf(HWND box) {
  DWORD_PTR icon = 0;
  for (const HWND c : Children(box)) {
    if ((::GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      ::SendMessageTimeoutW(c, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 10000, &icon);
    }
  }
  if (icon == 0) return "no icon";
  const std::pair<LPCWSTR, const char*> kinds[] = {{IDI_ERROR, "error icon"},
                                                   {IDI_WARNING, "warning icon"},
                                                   {IDI_INFORMATION, "information icon"},
                                                   {IDI_QUESTION, "question icon"}};
  for (const auto& [id, kind] : kinds) {
    if (reinterpret_cast<HICON>(icon) == ::LoadIconW(nullptr, id)) return kind;
  }
  // Under wine another process's icon cannot be drawn or compared here.
  return "an icon";
}

// What the program last asked each bar to show. Wine draws every bar alike
// and answers PBM_GETSTATE with the normal state, so the request is noted
// on its way to the bar, as Windows would then draw it.
std::mutex gBarsMutex;
std::vector<std::pair<HWND, WPARAM>> gBarStates;

LRESULT CALLBACK NoteBarState(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == PBM_SETSTATE) {
    const std::lock_guard lock(gBarsMutex);
    gBarStates.emplace_back(call->hwnd, call->wParam);
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The system's own words for an error differ between Windows versions,
// languages and wine: a box shows them as "(the system's words for error
// 2)" when they are exactly FormatMessage's, trimmed, with the converter's
// name for the %1 they may hold, as the loader is to quote them.
std::string SystemWordsNamed(std::string text) {
  for (const DWORD code : {2, 3, 5, 32, 33, 80, 112, 183, 193, 1359}) {
    wchar_t words[512] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, words, static_cast<DWORD>(std::size(words)), nullptr);
    std::wstring wide(words, length);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) {
      wide.pop_back();
    }
    for (auto at = wide.find(L"%1"); at != std::wstring::npos; at = wide.find(L"%1")) {
      wide.replace(at, 2, L".\\CASLcdi2ppc.exe");
    }
    const std::string shown = ToUtf8(wide);
    for (auto at = text.find(": " + shown); !shown.empty() && at != std::string::npos;
         at = text.find(": " + shown)) {
      text.replace(at + 2, shown.size(),
                   "(the system's words for error " + std::to_string(code) + ")");
    }
  }
  return text;
}

const char* BarState(HWND bar) {
  WPARAM state = PBST_NORMAL;
  const std::lock_guard lock(gBarsMutex);
  for (const auto& [window, asked] : gBarStates) state = window == bar ? asked : state;
  return state == PBST_ERROR ? "red" : state == PBST_PAUSED ? "yellow" : "green";
}

// The taskbar button as Explorer shows it. Wine has no taskbar to tell a
// window of its button, nor to draw its progress: the user's side posts
// Explorer's message, and this stands in for Explorer's list, registered
// for this process, noting what the program asks the button to show.
class TaskbarButton final : public ITaskbarList3, public IClassFactory {
 public:
  void Forget() {
    const std::lock_guard lock(mutex_);
    done_ = total_ = 0;
    state_ = TBPF_NOPROGRESS;
  }
  std::string Shown() {
    const std::lock_guard lock(mutex_);
    if (total_ == 0) return "no taskbar progress";
    const char* state = state_ == TBPF_ERROR    ? "red"
                        : state_ == TBPF_PAUSED ? "yellow"
                        : state_ == TBPF_NORMAL ? "green"
                                                : "without a bar";
    return "taskbar button at " + std::to_string(done_) + " of " + std::to_string(total_) + ", " +
           state;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    *object = id == IID_IClassFactory ? static_cast<void*>(static_cast<IClassFactory*>(this))
              : id == IID_IUnknown || id == IID_ITaskbarList || id == IID_ITaskbarList2 ||
                      id == IID_ITaskbarList3
                  ? static_cast<void*>(static_cast<ITaskbarList3*>(this))
                  : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID id, void** object) override {
    return QueryInterface(id, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND, ULONGLONG done, ULONGLONG total) override {
    const std::lock_guard lock(mutex_);
    done_ = done;
    total_ = total;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressState(HWND, TBPFLAG state) override {
    const std::lock_guard lock(mutex_);
    state_ = state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

 private:
  std::mutex mutex_;
  ULONGLONG done_ = 0, total_ = 0;
  TBPFLAG state_ = TBPF_NOPROGRESS;
};
TaskbarButton gTaskbar;

// The progress window as a user sees it: its caption, size and place, and
// each control in tab order.
std::string ReadProgress(HWND window) {
  const UINT dpi = DpiOf(window);
  RECT client{}, frame{};
  ::GetClientRect(window, &client);
  ::GetWindowRect(window, &frame);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const long dx =
      frame.left - (work.left + (work.right - work.left - (frame.right - frame.left)) / 2);
  const long dy =
      frame.top - (work.top + (work.bottom - work.top - (frame.bottom - frame.top)) / 2);
  const auto at96 = [dpi](long pixels) { return std::to_string(::MulDiv(pixels, 96, dpi)); };
  std::string shown =
      "progress window \"" + TextOf(window) + "\", " + at96(client.right) + "x" +
      at96(client.bottom) + " at 96 dpi, " +
      (std::abs(dx) <= 1 && std::abs(dy) <= 1 ? "centred in the work area" : "off centre") +
      (::GetClassLongPtrW(window, GCLP_HCURSOR) ==
               reinterpret_cast<ULONG_PTR>(::LoadCursorW(nullptr, IDC_ARROW))
           ? ""
           : ", not the arrow pointer") +
      (::IsWindowEnabled(window) ? "" : ", disabled") + ":\n";
  for (const HWND c : Children(window)) {
    const std::string kind = ClassOf(c);
    shown += "    ";
    if (kind == "msctls_progress32") {
      shown += "bar at " + std::to_string(::SendMessageW(c, PBM_GETPOS, 0, 0)) + " of " +
               std::to_string(::SendMessageW(c, PBM_GETRANGE, FALSE, 0)) + ", " + BarState(c);
    } else if (kind == "Button") {
      shown += "button \"" + TextOf(c) + "\"" + (::IsWindowEnabled(c) ? "" : ", disabled");
    } else {
      shown += "\"" + TextOf(c) + "\"";
    }
    shown += "\n";
  }
  return shown + "    " + gTaskbar.Shown() + "\n";
}

// The window's controls change one by one as an input starts: read until
// two readings agree.
std::string DescribeProgress(HWND window) {
  std::string last, now = ReadProgress(window);
  for (int i = 0; i < 100 && now != last; ++i) {
    std::this_thread::sleep_for(20ms);
    last = std::exchange(now, ReadProgress(window));
  }
  return now;
}

HWND VisibleProgressWindow() {
  const HWND window = ::FindWindowW(L"JovProgress", nullptr);
  return window && ::IsWindowVisible(window) ? window : nullptr;
}

const char* Describe(Act act) {
  switch (act) {
    case Act::kLook:
      return "looks";
    case Act::kClickStop:
      return "clicks Stop";
    case Act::kPressEscape:
      return "presses Escape";
    case Act::kCloseWindow:
      return "closes the window";
    case Act::kPressTabThenSpace:
      return "presses Tab, then Space";
  }
  return "";
}

void Key(HWND window, WPARAM key) {
  ::PostMessageW(window, WM_KEYDOWN, key, 0);
  ::PostMessageW(window, WM_KEYUP, key, 0xC0000000);
}

// What a user can do to a window that answers, done as the input queue
// would deliver it; nothing to a disabled one, which no click or key reaches.
std::string Do(Act act, HWND window) {
  const HWND stop = ::FindWindowExW(window, nullptr, L"Button", nullptr);
  if (act != Act::kLook &&
      (!::IsWindowEnabled(window) || (act == Act::kClickStop && !::IsWindowEnabled(stop)))) {
    return "  it does not answer\n";
  }
  switch (act) {
    case Act::kLook:
      break;
    case Act::kClickStop:
      ::PostMessageW(stop, BM_CLICK, 0, 0);
      break;
    case Act::kPressEscape:
      Key(window, VK_ESCAPE);
      break;
    case Act::kCloseWindow:
      ::PostMessageW(window, WM_CLOSE, 0, 0);
      break;
    case Act::kPressTabThenSpace: {
      Key(window, VK_TAB);
      GUITHREADINFO thread{};
      thread.cbSize = sizeof thread;
      const HWND* focus = &thread.hwndFocus;
      Deadline(2s).Await([&] {
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &thread);
        return *focus != nullptr && *focus != window;
      });
      if (*focus == nullptr) return "  the focus is nowhere\n";
      Key(*focus, VK_SPACE);
      return "  the focus moves to \"" + TextOf(*focus) + "\"\n";
    }
  }
  return {};
}

}  // namespace

struct User::State {
  UserPlan plan;
  std::atomic<bool> stop{false};
  std::string shown;
  std::size_t nextStep = 0;
  bool windowSeen = false;
  HWND boxRead = nullptr;
  HHOOK barHook = nullptr;
  DWORD taskbarCookie = 0;
  std::thread user;

  void WatchForTheWindow() {
    if (!plan.watchProgress || windowSeen || !VisibleProgressWindow()) return;
    windowSeen = true;
    shown += "the progress window appears\n";
    ::PostMessageW(VisibleProgressWindow(), ::RegisterWindowMessageW(L"TaskbarButtonCreated"), 0,
                   0);
    Deadline(2s).Await([] { return gTaskbar.Shown() != "no taskbar progress"; });
  }

  // The next step, once the progress window has been seen to appear and
  // shows what the step waits for, and any box that came up has been read:
  // a click would take the front from a box that nobody has seen yet.
  void TakeStep() {
    WatchForTheWindow();
    if (nextStep == plan.steps.size() || !windowSeen) return;
    if (const HWND box = ::FindWindowW(L"#32770", nullptr); box && box != boxRead) return;
    const HWND window = VisibleProgressWindow();
    if (!window) return;
    const Step& step = plan.steps[nextStep];
    const std::string now = DescribeProgress(window);
    if (now.find("\"" + step.when + "\"") == std::string::npos) return;
    ++nextStep;
    shown += std::string("user ") + Describe(step.act) + " in the " +
             now.substr(0, now.find(":\n")) + ":\n" + now.substr(now.find(":\n") + 2) +
             Do(step.act, window);
  }

  void AnswerBox(HWND box) {
    // A box just created may not show its text yet, nor be in front.
    const std::string text = TextOf(::GetDlgItem(box, 0xFFFF));
    if (text.empty()) return;
    const bool inFront = Deadline(1s).Await([box] { return ::GetForegroundWindow() == box; });
    boxRead = box;
    const Deadline held(plan.holdBoxes);
    while (!held.Passed()) {
      WatchForTheWindow();
      TakeStep();
      std::this_thread::sleep_for(5ms);
    }
    // Whether a batch has run long enough to show its window is the
    // machine's business, but a box must belong to it exactly when it shows.
    const HWND owner = ::GetWindow(box, GW_OWNER);
    const HWND window = VisibleProgressWindow();
    std::string owned = owner == nullptr                  ? "no owner"
                        : ClassOf(owner) == "JovProgress" ? "owned by the progress window"
                                                          : "owned by a " + ClassOf(owner);
    if (!plan.watchProgress) {
      owned = (owner == nullptr) == (window == nullptr) ? "" : ", " + owned + ", wrongly";
    } else {
      owned = ", " + owned;
    }
    shown += "box \"" + TextOf(box) + "\", " + IconOf(box) + owned +
             (inFront ? ", in front" : ", behind another window") + ":" +
             Lines(SystemWordsNamed(text) + "\n");
    if (window && plan.watchProgress) shown += "  over the " + DescribeProgress(window);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    Deadline().Await([box] { return !::IsWindow(box); });
  }
};

User::User(UserPlan plan) : state_(std::make_unique<State>()) {
  state_->plan = std::move(plan);
  state_->barHook =
      ::SetWindowsHookExW(WH_CALLWNDPROC, NoteBarState, nullptr, ::GetCurrentThreadId());
  gTaskbar.Forget();
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ::CoRegisterClassObject(CLSID_TaskbarList, static_cast<IClassFactory*>(&gTaskbar),
                          CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &state_->taskbarCookie);
  state_->user = std::thread([state = state_.get()] {
    while (!state->stop) {
      state->WatchForTheWindow();
      state->TakeStep();
      // Any box, so that one with the wrong caption shows up as a wrong
      // message instead of waiting forever.
      if (const HWND box = ::FindWindowW(L"#32770", nullptr)) state->AnswerBox(box);
      std::this_thread::sleep_for(5ms);
    }
  });
}

User::~User() { Finish(); }

std::string User::Finish() {
  if (state_->user.joinable()) {
    state_->stop = true;
    state_->user.join();
    ::UnhookWindowsHookEx(state_->barHook);
    ::CoRevokeClassObject(state_->taskbarCookie);
    ::CoUninitialize();
    for (std::size_t i = state_->nextStep; i < state_->plan.steps.size(); ++i) {
      const Step& step = state_->plan.steps[i];
      state_->shown += std::string("user never ") + Describe(step.act) +
                       ": the progress window never showed \"" + step.when + "\"\n";
    }
    if (::FindWindowW(L"JovProgress", nullptr)) state_->shown += "a progress window is left\n";
  }
  return state_->shown;
}

}  // namespace jov::test
