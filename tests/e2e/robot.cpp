// Drives the updater's GUI for the end-to-end tests: starts it, answers every
// message box it shows, and records what it saw.
//
//   robot --out FILE [--timeout SECONDS] [--hold MUTEX]... [--answer OK|CANCEL]...
//         [--watch PATH] [--close-dialog] [--stats] [--snapshot PATH] [--dialog-state]
//         -- UPDATER.EXE [ARGUMENTS...]
//
// --hold starts gamestub.exe (next to this program) holding that mutex first.
// The n-th --answer is the button pressed in the n-th message box (OK when
// there are fewer). --watch reports, at each box, whether PATH exists and its
// size. --close-dialog tries to close the progress dialog while the first box
// it owns is up. --stats adds to each box line the milliseconds since the
// updater was started and its peak working set so far, for the benchmarks.
// --snapshot copies PATH, when it exists, to FILE.N as the N-th box (from 1)
// appears. --dialog-state adds to each box line whether the progress dialog
// was shown or hidden at that moment (none before it exists).
//
// FILE receives UTF-8 lines, fields separated by one tab (a box's line breaks
// shown as " | "):
//   box     CAPTION  TEXT  owner=dialog|none|other  answer=OK|CANCEL  [watch=absent|SIZE]
//           [dialog=shown|hidden|none]  [ms=MILLISECONDS  peak=BYTES]
//   close   ignored|obeyed
//   dialog  seen  centred|off-centre  TEXT     or     dialog  unseen
//   exit    CODE  [ms=MILLISECONDS  peak=BYTES]  or     timeout
// The robot's own exit code is 0 when the updater ended within the timeout,
// 2 on timeout, 1 on a usage or start-up failure.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Options {
  std::string out;
  std::string exe;
  std::string arguments;  // each after a blank, quoted when it holds one
  std::string watch;
  std::string snapshot;
  std::vector<std::string> holds;
  std::vector<int> answers;
  DWORD timeoutMs = 30000;
  bool closeDialog = false;
  bool stats = false;
  bool dialogState = false;
};

struct Observed {
  HANDLE process = nullptr;
  LARGE_INTEGER started = {};
  HWND dialog = nullptr;
  bool dialogSeen = false;
  bool centred = false;
  std::string dialogText;
  bool closeTried = false;
  std::vector<std::string> lines;
};

std::string ToUtf8(const std::string& ansi) {
  if (ansi.empty()) return ansi;
  int wide = MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring w(wide, L'\0');
  MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), &w[0], wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &utf8[0], n, nullptr, nullptr);
  return utf8;
}

std::string WindowText(HWND w) {
  char text[2048] = "";
  GetWindowTextA(w, text, sizeof text);
  return text;
}

bool HasClass(HWND w, const char* name) {
  char cls[64] = "";
  GetClassNameA(w, cls, sizeof cls);
  return lstrcmpiA(cls, name) == 0;
}

BOOL CALLBACK CollectChild(HWND w, LPARAM list) {
  if (GetParent(w) == reinterpret_cast<std::vector<HWND>*>(list)->front())
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  return TRUE;
}

// Direct children of w.
std::vector<HWND> Children(HWND w) {
  std::vector<HWND> list{w};
  EnumChildWindows(w, CollectChild, reinterpret_cast<LPARAM>(&list));
  list.erase(list.begin());
  return list;
}

// The progress dialog: no caption, and one static text as its only control.
bool IsProgressDialog(HWND w) {
  if (!w || !HasClass(w, "#32770") || !WindowText(w).empty()) return false;
  std::vector<HWND> children = Children(w);
  // A message box being built has, for a moment, one empty Static child too.
  return children.size() == 1 && HasClass(children[0], "Static") &&
         !WindowText(children[0]).empty();
}

bool IsMessageBox(HWND w) {
  return HasClass(w, "#32770") && (GetDlgItem(w, IDOK) || GetDlgItem(w, IDCANCEL));
}

std::string MessageBoxText(HWND box) {
  char text[2048] = "";
  if (GetDlgItemTextA(box, 0xFFFF, text, sizeof text) > 0) return text;
  for (HWND child : Children(box)) {  // any static text, should the id differ
    if (HasClass(child, "Static") && !WindowText(child).empty()) return WindowText(child);
  }
  return "";
}

bool IsCentredOnDesktop(HWND w) {
  RECT desk, r;
  GetWindowRect(GetDesktopWindow(), &desk);
  GetWindowRect(w, &r);
  long x = desk.left + ((desk.right - desk.left) - (r.right - r.left)) / 2;
  long y = desk.top + ((desk.bottom - desk.top) - (r.bottom - r.top)) / 2;
  return std::labs(r.left - x) <= 1 && std::labs(r.top - y) <= 1;
}

struct Scan {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND w, LPARAM p) {
  Scan* scan = reinterpret_cast<Scan*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == scan->pid && HasClass(w, "#32770")) scan->windows.push_back(w);
  return TRUE;
}

void NoteDialog(HWND w, Observed* seen) {
  seen->dialog = w;
  if (!IsWindowVisible(w)) return;
  seen->dialogSeen = true;
  seen->centred = IsCentredOnDesktop(w);
  std::vector<HWND> children = Children(w);
  if (!children.empty()) seen->dialogText = WindowText(children[0]);
}

// A text of several lines as one: each line break (CR LF) becomes " | ".
std::string OneLine(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " | ");
  return text;
}

std::string WatchState(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return "absent";
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return "directory";
  return std::to_string(data.nFileSizeLow);
}

// Posts a close request and the cancel command the keyboard would give.
void TryClose(HWND dialog, Observed* seen) {
  seen->closeTried = true;
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  Sleep(300);
  bool open = IsWindow(dialog) && IsWindowVisible(dialog);
  seen->lines.push_back(std::string("close\t") + (open ? "ignored" : "obeyed"));
}

// Time since the start and the updater's peak working set, as " ms=.. peak=..".
std::string Stats(const Observed& seen) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  long long ms = (now.QuadPart - seen.started.QuadPart) * 1000 / frequency.QuadPart;
  PROCESS_MEMORY_COUNTERS counters;
  ZeroMemory(&counters, sizeof counters);
  counters.cb = sizeof counters;
  std::string peak = "unknown";
  if (GetProcessMemoryInfo(seen.process, &counters, sizeof counters))
    peak = std::to_string(counters.PeakWorkingSetSize);
  return "\tms=" + std::to_string(ms) + "\tpeak=" + peak;
}

void AnswerBox(HWND box, const Options& options, Observed* seen) {
  HWND owner = GetWindow(box, GW_OWNER);
  std::string ownerName = "none";
  if (owner && IsProgressDialog(owner)) {
    ownerName = "dialog";
    NoteDialog(owner, seen);
  } else if (owner) {
    ownerName = "other";
  }
  size_t n = 0;
  for (const std::string& line : seen->lines) n += line.compare(0, 4, "box\t") == 0;
  int answer = n < options.answers.size() ? options.answers[n] : IDOK;
  std::string line = "box\t" + ToUtf8(WindowText(box)) + "\t" + OneLine(ToUtf8(MessageBoxText(box))) +
                     "\towner=" + ownerName + "\tanswer=" + (answer == IDOK ? "OK" : "CANCEL");
  if (!options.watch.empty()) line += "\twatch=" + WatchState(options.watch);
  if (options.dialogState) {
    HWND dialog = ownerName == "dialog" ? owner : seen->dialog;
    line += std::string("\tdialog=") + (!dialog || !IsWindow(dialog) ? "none"
                                        : IsWindowVisible(dialog)    ? "shown"
                                                                     : "hidden");
  }
  if (!options.snapshot.empty())
    CopyFileA(options.snapshot.c_str(), (options.out + "." + std::to_string(n + 1)).c_str(), FALSE);
  if (options.stats) line += Stats(*seen);
  seen->lines.push_back(line);
  if (options.closeDialog && !seen->closeTried && ownerName == "dialog") TryClose(owner, seen);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
  for (int i = 0; i < 500 && IsWindow(box); ++i) Sleep(10);
}

void ScanOnce(DWORD pid, const Options& options, Observed* seen) {
  Scan scan{pid, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&scan));
  for (HWND w : scan.windows) {
    if (IsProgressDialog(w)) NoteDialog(w, seen);
  }
  for (HWND w : scan.windows) {
    if (IsWindow(w) && IsWindowVisible(w) && IsMessageBox(w)) AnswerBox(w, options, seen);
  }
}

bool Launch(const std::string& commandLine, PROCESS_INFORMATION* pi) {
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  return CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        pi) != 0;
}

std::string StubPath() {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path = self;
  return path.substr(0, path.find_last_of('\\') + 1) + "gamestub.exe";
}

struct Holder {
  HANDLE quit;
  PROCESS_INFORMATION process;
};

bool StartHolder(const std::string& name, Holder* holder) {
  holder->quit = CreateEventA(nullptr, TRUE, FALSE, (name + ".quit").c_str());
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, (name + ".ready").c_str());
  if (!holder->quit || !ready) return false;
  if (!Launch("\"" + StubPath() + "\" " + name, &holder->process)) return false;
  return WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
}

void StopHolder(Holder* holder) {
  SetEvent(holder->quit);
  WaitForSingleObject(holder->process.hProcess, 10000);
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--" && hasValue) {
      options->exe = argv[++i];
      // Whatever follows the program is its own command line.
      // Quoted only when they need it: an NSIS installer takes /D=DIR bare.
      while (i + 1 < argc) {
        const std::string a = argv[++i];
        const bool quote = a.empty() || a.find_first_of(" \t") != std::string::npos;
        options->arguments += quote ? " \"" + a + "\"" : " " + a;
      }
    } else if (arg == "--out" && hasValue) {
      options->out = argv[++i];
    } else if (arg == "--timeout" && hasValue) {
      options->timeoutMs = static_cast<DWORD>(std::atoi(argv[++i])) * 1000;
    } else if (arg == "--hold" && hasValue) {
      options->holds.push_back(argv[++i]);
    } else if (arg == "--answer" && hasValue) {
      std::string a = argv[++i];
      if (a != "OK" && a != "CANCEL") return false;
      options->answers.push_back(a == "OK" ? IDOK : IDCANCEL);
    } else if (arg == "--watch" && hasValue) {
      options->watch = argv[++i];
    } else if (arg == "--close-dialog") {
      options->closeDialog = true;
    } else if (arg == "--stats") {
      options->stats = true;
    } else if (arg == "--snapshot" && hasValue) {
      options->snapshot = argv[++i];
    } else if (arg == "--dialog-state") {
      options->dialogState = true;
    } else {
      return false;
    }
  }
  return !options->out.empty() && !options->exe.empty();
}

bool WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  for (const std::string& line : lines) std::fprintf(f, "%s\n", line.c_str());
  return std::fclose(f) == 0;
}

// Runs the updater to its end, answering its boxes; false on timeout.
bool Drive(const Options& options, Observed* seen) {
  PROCESS_INFORMATION pi;
  if (!Launch("\"" + options.exe + "\"" + options.arguments, &pi)) {
    seen->lines.push_back("start-failed");
    return false;
  }
  DWORD started = GetTickCount();
  seen->process = pi.hProcess;
  QueryPerformanceCounter(&seen->started);
  bool ended = false;
  while (!(ended = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)) {
    if (GetTickCount() - started > options.timeoutMs) break;
    ScanOnce(pi.dwProcessId, options, seen);
    Sleep(10);
  }
  if (seen->dialogSeen) {
    seen->lines.push_back(std::string("dialog\tseen\t") +
                          (seen->centred ? "centred" : "off-centre") + "\t" +
                          ToUtf8(seen->dialogText));
  } else {
    seen->lines.push_back("dialog\tunseen");
  }
  if (!ended) {
    TerminateProcess(pi.hProcess, 255);
    seen->lines.push_back("timeout");
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  seen->lines.push_back("exit\t" + std::to_string(code) + (options.stats ? Stats(*seen) : ""));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: robot --out FILE [options] -- UPDATER.EXE\n");
    return 1;
  }
  Observed seen;
  std::vector<Holder> holders(options.holds.size());
  for (size_t i = 0; i < options.holds.size(); ++i) {
    if (!StartHolder(options.holds[i], &holders[i])) {
      std::fprintf(stderr, "robot: cannot hold %s\n", options.holds[i].c_str());
      return 1;
    }
  }
  bool ended = Drive(options, &seen);
  for (Holder& holder : holders) StopHolder(&holder);
  if (!WriteLines(options.out, seen.lines)) return 1;
  return ended ? 0 : 2;
}
