// File object of the in-house library: one Win32 file handle, the path it was
// opened with, and a count of the bytes moved. Results, never exceptions.
#ifndef QX_SUPPORT_FILE_H
#define QX_SUPPORT_FILE_H

#include <windows.h>

// Open-mode bits.
enum {
  FM_READ = 0x001,      // read access, shared with other readers
  FM_WRITE = 0x002,     // write intent; stored, never examined
  FM_EXISTING = 0x100,  // contributes OPEN_EXISTING
  FM_NEW = 0x200,       // contributes CREATE_NEW
  FM_REPLACE = 0x400,   // create, or truncate an existing file
  FM_ALWAYS = 0x800,    // contributes OPEN_ALWAYS
  // With FM_REPLACE: a file it creates is FILE_ATTRIBUTE_TEMPORARY, so the system
  // need not write it to disk while memory allows (the work file).
  FM_TEMPORARY = 0x1000,
  // With FM_REPLACE: a file it creates is hidden, or a system file (a staged
  // copy takes the attributes of the file it will replace).
  FM_HIDDEN = 0x2000,
  FM_SYSTEM = 0x4000,
  // With FM_REPLACE: the handle may also rename or delete the file, and others
  // may read it meanwhile (a staged file, renamed into place through its
  // handle).
  FM_RENAMABLE = 0x8000,
  FM_READ_EXISTING = FM_READ | FM_EXISTING,
  FM_WRITE_REPLACE = FM_WRITE | FM_REPLACE,
};

class qxClassBase {};

// The file interface; every default body reports failure.
class qxFileBase : public qxClassBase {
 public:
  virtual ~qxFileBase() {}
  virtual int Open(const char* path, int mode);
  virtual int Close();
  virtual int Read(void* buffer, DWORD count);
  virtual int Write(const void* buffer, DWORD count);
  virtual int Flush();
  virtual int Tell();
  virtual DWORD Seek(DWORD offset);
  virtual const char* GetName(char* destination);
  virtual DWORD SizeOf(const char* path);
  virtual int GetSize();
  virtual HANDLE GetHandle();
  virtual int IsFile(const char* path);
  virtual DWORD GetAttributes(const char* path);
  virtual int SetAttributes(const char* path, DWORD attributes);
  virtual int Remove(const char* path, int force);
};

class qxFile : public qxFileBase {
 public:
  qxFile();
  ~qxFile() override;
  qxFile(const qxFile&) = delete;
  qxFile& operator=(const qxFile&) = delete;

  // 1 opened, 0 failed. A path longer than 255 bytes, or an object that is
  // already open, fails without touching the disk.
  int Open(const char* path, int mode) override;
  int Close() override;                                 // non-zero closed, 0 not open or failed
  int Read(void* buffer, DWORD count) override;         // bytes read, -1 on failure
  int Write(const void* buffer, DWORD count) override;  // bytes written, -1
  int Flush() override;               // 1 when the written bytes are on the disk, 0 otherwise
  int Tell() override;                // position, -1 when closed
  DWORD Seek(DWORD offset) override;  // clamps to size - 1
  const char* GetName(char* destination) override;  // null when closed
  DWORD SizeOf(const char* path) override;          // 0 if absent or a directory
  int GetSize() override;                           // -1 on failure
  HANDLE GetHandle() override;
  int IsFile(const char* path) override;
  DWORD GetAttributes(const char* path) override;  // INVALID_FILE_ATTRIBUTES if absent
  int SetAttributes(const char* path, DWORD attributes) override;
  int Remove(const char* path, int force) override;

  // Hands the open handle to the caller, who closes it; the object is closed.
  HANDLE Release();

 private:
  int CloseHandleOnly();

  int mode;
  HANDLE handle;
  char name[256];
  DWORD position;
};

// 1 when a Win32 error says that a path names nothing: the file, or a folder
// on its way, is not there.
inline int IsNotFoundError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

#endif
