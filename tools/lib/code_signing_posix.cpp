#ifndef _WIN32

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "tools/lib/code_signing.h"

extern char** environ;

bool SignExecutable(const std::string& input, const std::string& output,
                    const SigningOptions& options, std::string* error) {
  if (!CheckSigningFiles(options, error)) return false;
  std::vector<std::string> args = SignerArguments(input, output, options);
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
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);  // never a prompt
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
  pid_t waited;
  while ((waited = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
  }
  // A signer that cannot be waited for has not been seen to succeed.
  if (waited == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  *error = SignerFailure(messages, options);
  return false;
}

#endif
