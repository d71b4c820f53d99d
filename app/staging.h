// Staging: every entry of the plan is written whole into its staging file
// beside its destination, on the destination's own volume, before anything
// installed changes; then every destination is checked to be replaceable.
#ifndef QX_APP_STAGING_H
#define QX_APP_STAGING_H

#include "app/install_plan.h"
#include "app/journal.h"
#include "archive/archive.h"

// The journal of the plan: every entry that is to be committed (all of them
// while staging; those the gate let through for the commit) and the folders
// the run makes.
Journal JournalOf(const InstallPlan& plan, JournalState state);

// Makes the plan's new folders, outermost first. 1 when all are made; 0 with
// the failure noted (those made stay, for RollBack).
int MakePlannedFolders(const char* installDir, const InstallPlan& plan, InstallFailure* failure);

// Copies every entry into its staging file in bounded steps, flushed (on
// worker threads, while the next are written), with the installed file's
// hidden and system attributes; most stay open, for renaming through their
// handles. An executable then passes the version gate: a refused one is
// removed and marked skipped. 1 when every entry is staged and flushed or
// skipped; 0 with the failure noted at the first that is neither (its staging
// file removed; those staged before stay, for CloseStagedFiles and RollBack).
int StageEntries(qxArchive* reader, InstallPlan* plan, InstallFailure* failure);

// Closes the staging files kept open.
void CloseStagedFiles(InstallPlan* plan);

// The commit's renames: every staged entry over its installed file, through
// its open handle where it has one. 1 when all are done; 0 with the failure
// noted at the first that is not (every handle closed, the journal to finish
// the rest).
int CommitStagedFiles(InstallPlan* plan, InstallFailure* failure);

// Removes the new folders that stayed empty (every executable bound for them
// refused), innermost first, so that folders are made only for what is written.
void RemoveEmptyNewFolders(const char* installDir, const InstallPlan& plan);

// Checks, as late as possible before the commit, that every installed file the
// plan replaces, and the log at logPath, can be replaced now: not read-only,
// not a folder, not held by another program. Notes every one that cannot; 1
// when none was noted.
int CheckDestinations(const InstallPlan& plan, const char* logPath, InstallFailure* failure);

#endif
