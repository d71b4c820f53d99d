// Where the running tool is, and paths as the archive reader's file layer
// takes them.
#ifndef QX_TOOLS_TOOL_LOCATION_H
#define QX_TOOLS_TOOL_LOCATION_H

#include <string>

// The directory (UTF-8) holding the running executable; empty when unknown.
std::string ToolDirectory();

// A UTF-8 path as the narrow file functions take it: unchanged on POSIX
// hosts; in the ANSI code page on Windows, or for an existing file whose
// name has no such form, its short (8.3) name. False when there is neither.
bool NativePath(const std::string& utf8, std::string* native);

#endif
