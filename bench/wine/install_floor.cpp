// install_floor ARCHIVE DIR [OUT]: the least that installing a plain archive's
// entries costs through Win32 on this machine, for the update benchmark.
// Every entry is read from ARCHIVE (seek, one read into a fresh buffer) and
// written to DIR\NAME (missing directories made, create, one write, close),
// as the install step does, but with no probing, gate, zero fill or log.
// Prints the seconds taken (and writes them to OUT, for a run under the
// robot, which keeps no output); exit 1 on any failure.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Entry {
  std::string name;
  DWORD offset;
  DWORD size;
};

bool ReadAt(HANDLE file, DWORD offset, void* buffer, DWORD n) {
  DWORD got = 0;
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset &&
         ReadFile(file, buffer, n, &got, nullptr) && got == n;
}

bool ReadIndex(HANDLE file, std::vector<Entry>* entries) {
  DWORD head[2];
  if (!ReadAt(file, 0, head, sizeof head)) return false;
  std::vector<char> index(72u * head[1]);
  if (!index.empty() && !ReadAt(file, 8, index.data(), static_cast<DWORD>(index.size())))
    return false;
  for (DWORD i = 0; i < head[1]; ++i) {
    const char* e = &index[72u * i];
    Entry entry;
    entry.name.assign(e, strnlen(e, 64));
    std::memcpy(&entry.offset, e + 64, 4);
    std::memcpy(&entry.size, e + 68, 4);
    entries->push_back(entry);
  }
  return true;
}

void MakeParents(const std::string& path, std::set<std::string>* made) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    std::string dir = path.substr(0, at);
    if (made->insert(dir).second) CreateDirectoryA(dir.c_str(), nullptr);
  }
}

bool Install(HANDLE archive, const Entry& entry, const std::string& dir,
             std::set<std::string>* made) {
  std::vector<char> data(entry.size ? entry.size : 1);
  if (!ReadAt(archive, entry.offset, data.data(), entry.size)) return false;
  const std::string path = dir + "\\" + entry.name;
  MakeParents(path, made);
  HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = WriteFile(out, data.data(), entry.size, &done, nullptr) && done == entry.size;
  return CloseHandle(out) && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: install_floor ARCHIVE DIR [OUT]\n");
    return 1;
  }
  HANDLE archive = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<Entry> entries;
  if (archive == INVALID_HANDLE_VALUE || !ReadIndex(archive, &entries)) {
    std::fprintf(stderr, "install_floor: cannot read %s\n", argv[1]);
    return 1;
  }
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::set<std::string> made;
  for (const Entry& entry : entries) {
    if (!Install(archive, entry, argv[2], &made)) {
      std::fprintf(stderr, "install_floor: cannot install %s\n", entry.name.c_str());
      return 1;
    }
  }
  QueryPerformanceCounter(&end);
  CloseHandle(archive);
  const double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  std::printf("%.3f\n", seconds);
  if (argc == 4) {
    FILE* out = std::fopen(argv[3], "w");
    if (!out || std::fprintf(out, "%.3f\n", seconds) < 0 || std::fclose(out) != 0) return 1;
  }
  return 0;
}
