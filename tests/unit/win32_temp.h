// A fresh directory under the Windows temp folder for one test, removed after.
#ifndef QX_TESTS_WIN32_TEMP_H
#define QX_TESTS_WIN32_TEMP_H

#include <windows.h>

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

bool WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFileOrMark(const std::string& path);  // "<missing>" when absent
void RemoveTree(const std::string& path);

#endif
