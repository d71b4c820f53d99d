// The scratch files a tool writes on its way to an output: removed on every
// way out, a failure, an exception, an interruption (Ctrl-C, SIGTERM from a
// pipeline that gives up) included, so that no half-made file is left.
#ifndef QX_TOOLS_SCRATCH_FILES_H
#define QX_TOOLS_SCRATCH_FILES_H

#include <string>
#include <vector>

class ScratchFiles {
 public:
  ScratchFiles() {}
  ~ScratchFiles() { RemoveAll(); }
  ScratchFiles(const ScratchFiles&) = delete;
  ScratchFiles& operator=(const ScratchFiles&) = delete;

  // Registers path (UTF-8), which need not exist yet, and returns it.
  std::string Add(const std::string& path);
  const std::vector<std::string>& paths() const { return paths_; }
  void RemoveAll();

 private:
  std::vector<std::string> paths_;
};

// Has path (UTF-8) removed when the process is interrupted: SIGINT, SIGTERM
// and SIGHUP on POSIX, a console control event on Windows (best effort: a
// file still open there may stay). At most 16 paths are kept.
void RemoveOnInterrupt(const std::string& path);

#endif
