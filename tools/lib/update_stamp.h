// Making a publisher's updater from the prebuilt stub: the brand, the title
// and the payload go into its resources; nothing is compiled or linked.
#ifndef QX_TOOLS_UPDATE_STAMP_H
#define QX_TOOLS_UPDATE_STAMP_H

#include <cstdint>
#include <string>

// The stub's file name, looked for beside the tool.
#define QX_STUB_NAME "qxupdate-stub.exe"

// Writes into *updater the stub with string-table entries 162 (brand) and 163
// (title) set from their code page 932 forms (the rest of the block kept),
// the payload as "UPDATEDATA"/"DATA" in language 1041 (any earlier one
// replaced), and timeStamp in its header. False with a one-line reason when
// the stub is no updater stub (no string block for 160-175 in language 1041)
// or its resources cannot be rewritten.
bool StampUpdater(const std::string& stub, const std::string& brandCp932,
                  const std::string& titleCp932, const std::string& payload, uint32_t timeStamp,
                  std::string* updater, std::string* error);

// The header time stamp of a reproducible build: SOURCE_DATE_EPOCH when it is
// set to a number that fits, else 0.
uint32_t BuildTimeStamp();

#endif
