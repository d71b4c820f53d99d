// Version resources (VS_VERSIONINFO): the one a publisher gives the updater
// (its file's properties in Windows), and the FileVersion text that the
// updater's version gate reads from an executable.
#ifndef QX_TOOLS_VERSION_RESOURCE_H
#define QX_TOOLS_VERSION_RESOURCE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/lib/byte_stream.h"

// What the updater's file properties show.
struct VersionInfo {
  bool hasFileVersion = false;
  uint16_t fileVersion[4] = {0, 0, 0, 0};
  std::vector<std::pair<std::string, std::string>> strings;  // key, UTF-8 value
};

// The keys --version-info takes, in the order they are written.
extern const char* const kVersionInfoKeys[5];

// "a.b.c.d", four numbers of 0-65535, into info; false with a one-line
// reason.
bool SetFileVersion(const std::string& text, VersionInfo* info, std::string* error);

// "KEY=VALUE" for one of kVersionInfoKeys, VALUE one non-empty line of UTF-8
// (of up to 255 characters), each key once; false with a one-line reason.
bool AddVersionString(const std::string& keyValue, VersionInfo* info, std::string* error);

// True when info asks for a version resource at all.
bool WantsVersionResource(const VersionInfo& info);

// The VS_VERSIONINFO block: the fixed part (file and product version from
// the file version; an application for 32-bit Windows), one string table for
// Japanese in Unicode (041104b0) with the strings given and, with a file
// version, "FileVersion" as "a, b, c, d", and the translation 0x0411/1200. The
// version gate splits FileVersion at its commas (ParseFileVersion), so a
// dotted "a.b.c.d" would read there as 0.0.0.0.
std::string BuildVersionResource(const VersionInfo& info);

// The "FileVersion" text of a VS_VERSIONINFO block, from the string table
// that its first translation names, where the version gate reads it (ASCII;
// other characters as '?'). False when there is none or it is empty.
bool VersionBlockFileVersion(const std::string& block, std::string* text);

// The same for the executable that range reads (its version resource only is
// read). False when it has no such text or is no executable.
bool ExecutableFileVersion(ByteRange* range, std::string* text);

#endif
