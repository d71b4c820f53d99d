#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "tools/lib/code_signing.h"

extern char** environ;

namespace {

// The last non-empty line of text.
std::string LastLine(const std::string& text) {
  size_t end = text.find_last_not_of("\r\n");
  if (end == std::string::npos) return std::string();
  size_t begin = text.rfind('\n', end);
  return text.substr(begin == std::string::npos ? 0 : begin + 1, end + 1 - (begin + 1));
}

}  // namespace

bool SignExecutable(const std::string& input, const std::string& output, const std::string& pfx,
                    const std::string& passFile, std::string* error) {
  std::vector<std::string> args = {"osslsigncode", "sign", "-pkcs12", pfx,    "-readpass",
                                   passFile,       "-in",  input,     "-out", output};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) {
    *error = "cannot start osslsigncode";
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, "osslsigncode", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  std::string messages;
  char chunk[512];
  for (ssize_t n; spawned == 0 && (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;)
    messages.append(chunk, size_t(n));
  close(pipeFds[0]);
  if (spawned != 0) {
    *error = "cannot run osslsigncode (is it installed?)";
    return false;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  const std::string last = LastLine(messages);
  *error = "signing failed" + (last.empty() ? std::string() : ": " + last);
  return false;
}

#endif
