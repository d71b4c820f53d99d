// POSIX file access for the host build of the archive reader. It keeps the
// product's limits: sizes are 32-bit (0xFFFFFFFF when unknown) and positions
// of 2 GiB or more cannot be reached.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "archive/archive_file.h"

ArchiveFileHandle ArchiveFileOpen(const char* path) {
  if (!path) return ARCHIVE_NO_FILE;
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return ARCHIVE_NO_FILE;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return ARCHIVE_NO_FILE;
  }
  return fd;
}

uint32_t ArchiveFileSize(ArchiveFileHandle file) {
  struct stat st;
  if (fstat(file, &st) != 0 || st.st_size < 0 || st.st_size >= 0xFFFFFFFFll) return 0xFFFFFFFFu;
  return uint32_t(st.st_size);
}

int ArchiveFileSeek(ArchiveFileHandle file, uint32_t position) {
  if (position > 0x7FFFFFFFu) return 0;
  return lseek(file, off_t(position), SEEK_SET) == off_t(position);
}

// Like ReadFile on a disk file: short only at the end of the file or on error.
uint32_t ArchiveFileRead(ArchiveFileHandle file, void* buffer, uint32_t n) {
  char* p = static_cast<char*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    ssize_t got = read(file, p + done, n - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += uint32_t(got);
  }
  return done;
}

void ArchiveFileClose(ArchiveFileHandle file) { close(file); }
