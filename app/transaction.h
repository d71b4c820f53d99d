// The update as one transaction over the journal (app/journal.h): rolling a
// run back or forward, finishing a killed run's work at start-up, and the one
// box that tells the player how a failed run ended.
#ifndef QX_APP_TRANSACTION_H
#define QX_APP_TRANSACTION_H

#include <windows.h>

#include <string>

#include "app/install_log.h"
#include "app/journal.h"

// Why a run stops: the first failure found, and how many more.
struct InstallFailure {
  const char* format = nullptr;  // one of the messages, with one %s for path or none
  std::string path;
  unsigned more = 0;

  void Note(const char* messageFormat, const std::string& where) {
    if (format) {
      ++more;
    } else {
      format = messageFormat;
      path = where;
    }
  }
  bool Failed() const { return format != nullptr; }
};

// The box of a run that stopped: the failure, how many more, then closing
// (MSG_NOT_APPLIED and the like), owned by dialog.
void ShowFailure(HWND dialog, const InstallFailure& failure, const char* closing);

// The journal's path in the install directory (QX_MAX_PATH bytes); 0 when
// it does not fit.
int JournalPath(const char* installDir, char* out);

// Writes the journal into the install directory whole (sibling, flush,
// rename). 1 when done.
int WriteJournal(const char* installDir, const Journal& journal);

// Loads the log at logPath into log. 1 when it was read whole or there is
// none; 0 when it exists but cannot be read, so that saving would lose lines.
int LoadInstallLog(const char* logPath, InstallLog* log);

// Removes every staging file of the journal's entries that is there and every
// directory it lists that is empty (innermost first), then the journal.
void RollBack(const char* installDir, const Journal& journal);

// Renames every staging file of the journal's entries that is still there
// over its destination (unless renamed: the caller has renamed them all), adds
// the entries' lines to log (loaded by the caller) and saves it, then deletes
// the journal. 1 when done; 0 with the failure noted, the journal kept for the
// next run.
int RollForward(const char* installDir, const Journal& journal, InstallLog* log,
                InstallFailure* failure, bool renamed = false);

// Before a run does anything else: finishes what a journal left by an
// interrupted run describes, and removes the sibling of an interrupted
// journal or log save. 1 to go on; 0 after telling the player (owner dialog)
// that the interrupted update could not be finished.
int FinishInterruptedUpdate(HWND dialog, const char* installDir);

#endif
