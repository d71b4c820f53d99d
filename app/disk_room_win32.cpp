#include <vector>

#include "app/disk_room.h"
#include "app/messages.h"
#include "app/update_state.h"
#include "support/disk_space.h"

namespace {

// One volume that receives files, and what it must hold.
struct VolumeNeed {
  VolumeSpace space;
  uint64_t need;
};

// The real allocation unit of the volume of directory (space, as it reports
// itself): the larger of what it reports and what a file of one byte takes.
void TakeProbedCluster(const char* directory, VolumeSpace* space) {
  const uint32_t probed = ProbeAllocationUnit(directory);
  if (probed > space->cluster) space->cluster = probed;
}

// The volume of each anchor, each volume measured once; -1 where unknown.
std::vector<int> VolumesOf(const InstallPlan& plan, std::vector<VolumeNeed>* volumes) {
  std::vector<int> of;
  for (const std::string& anchor : plan.anchors) {
    VolumeSpace space;
    int found = -1;
    if (QueryVolumeSpace(anchor.c_str(), &space)) {
      for (std::size_t v = 0; v < volumes->size() && found < 0; ++v)
        if ((*volumes)[v].space.serial == space.serial &&
            (*volumes)[v].space.totalBytes == space.totalBytes)
          found = static_cast<int>(v);
      if (found < 0) {
        TakeProbedCluster(anchor.c_str(), &space);
        volumes->push_back({space, 0});
        found = static_cast<int>(volumes->size() - 1);
      }
    }
    of.push_back(found);
  }
  return of;
}

void Add(std::vector<VolumeNeed>* volumes, int volume, uint64_t bytes) {
  if (volume < 0) return;
  VolumeNeed& v = (*volumes)[static_cast<std::size_t>(volume)];
  v.need += ClusterBytes(bytes, v.space.cluster);
}

}  // namespace

int RemoveWorkFileAndCheckRoom(HWND dialog, uint32_t unpackedSize) {
  DeleteFileA(g_update.workFile);
  VolumeSpace space;
  if (!QueryVolumeSpace(g_update.installDir, &space)) return 1;
  TakeProbedCluster(g_update.installDir, &space);
  if (space.freeBytes >= ClusterBytes(unpackedSize, space.cluster)) return 1;
  MessageBoxA(dialog, MSG_DISK_FULL, MSG_CAPTION_ERROR, MB_OK);
  return 0;
}

int HasRoomForPlan(const InstallPlan& plan, uint64_t installDirBytes) {
  std::vector<VolumeNeed> volumes;
  const std::vector<int> of = VolumesOf(plan, &volumes);
  uint64_t journal = 64;
  for (const PlannedEntry& entry : plan.entries) {
    Add(&volumes, of[entry.anchor], entry.size);
    journal += entry.name.size() + 12;
  }
  for (std::size_t i = 0; i < plan.newDirectories.size(); ++i) {
    Add(&volumes, of[plan.newDirectoryAnchors[i]], 1);
    journal += plan.newDirectories[i].size() + 4;
  }
  // The journal is replaced through a sibling: two of it at once.
  Add(&volumes, of[0], journal);
  Add(&volumes, of[0], journal);
  Add(&volumes, of[0], installDirBytes);
  for (const VolumeNeed& v : volumes)
    if (v.need > v.space.freeBytes) return 0;
  return 1;
}
