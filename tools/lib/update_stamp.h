// Making a publisher's updater from the prebuilt stub: the brand, the title,
// the version information and the payload go into its resources; nothing is
// compiled or linked.
#ifndef QX_TOOLS_UPDATE_STAMP_H
#define QX_TOOLS_UPDATE_STAMP_H

#include <cstdint>
#include <string>

#include "tools/lib/pe_image.h"
#include "tools/lib/version_resource.h"

// The stub's file name, looked for beside the tool.
#define QX_STUB_NAME "qxupdate-stub.exe"

struct UpdaterStamp {
  std::string brandCp932, titleCp932;
  VersionInfo version;  // no version resource when it asks for none
  uint32_t timeStamp = 0;
};

// Writes to path (UTF-8) the stub with string-table entries 162 (brand) and
// 163 (title) set from their code page 932 forms (the rest of the block
// kept), a version resource (RT_VERSION 1, language 1041) when the stamp asks
// for one (any earlier one replaced), the payload as "UPDATEDATA"/"DATA" in
// language 1041 (any earlier one replaced), written by writePayload straight
// into the file (an empty writePayload leaves the payload out: an updater
// that reports it missing, for the tests), and the time stamp in its header. False with a one-line
// reason when the stub is no updater stub (no string block for 160-175 in
// language 1041), its resources cannot be rewritten, or writing fails (the
// file is then incomplete, for the caller to remove).
bool StampUpdater(const std::string& stub, const UpdaterStamp& stamp,
                  const PeDataWriter& writePayload, const std::string& path, std::string* error);

// False with StampUpdater's reason when stub cannot be stamped.
bool CheckStub(const std::string& stub, std::string* error);

// SOURCE_DATE_EPOCH, the time of a reproducible build: *given tells whether
// it is set; false with a one-line reason when it is set to anything but a
// number of seconds that the header holds (0 to 4294967295).
bool SourceDateEpoch(uint32_t* seconds, bool* given, std::string* error);

#endif
