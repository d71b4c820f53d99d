#ifndef _WIN32

#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "tools/lib/scratch_files.h"

namespace {

const int kMaxPaths = 16;
char* volatile g_paths[kMaxPaths];
volatile sig_atomic_t g_count = 0;

void RemoveAndExit(int signal) {
  for (sig_atomic_t i = 0; i < g_count; ++i) unlink(g_paths[i]);
  ::signal(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

void RemoveOnInterrupt(const std::string& path) {
  if (g_count == 0) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = RemoveAndExit;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
  }
  if (g_count >= kMaxPaths) return;
  g_paths[g_count] = strdup(path.c_str());
  if (g_paths[g_count]) g_count = g_count + 1;
}

#endif
