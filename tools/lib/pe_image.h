// Reading and rewriting the resources of a Windows executable (PE32 or PE32+),
// portable, so that a publisher's updater is stamped with no resource compiler
// or linker, on any host.
#ifndef QX_TOOLS_PE_IMAGE_H
#define QX_TOOLS_PE_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

// A resource type or name: a number, or a UTF-16 string (then id is unused).
struct PeResourceName {
  bool isNumber = true;
  uint16_t id = 0;
  std::u16string text;
};

PeResourceName PeNumber(uint16_t id);
PeResourceName PeText(const char* ascii);

struct PeResource {
  PeResourceName type;
  PeResourceName name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::string data;
};

// Every leaf of the image's resource tree, in the tree's order. An image with
// no resource directory gives none. False with a one-line reason when the
// headers or the tree do not hold together (offsets outside the section,
// loops, more than three levels).
bool ReadPeResources(const std::string& image, std::vector<PeResource>* resources,
                     std::string* error);

// Replaces the whole resource tree of a PE32 image by resources (any order;
// the tree is sorted as the loader's binary search expects) and sets the
// header's time stamp. The resource section must be the last one but for
// ".reloc" sections, which are moved behind it; nothing but the COFF symbol
// and string table may follow the last section in the file (no signature: a
// stub is signed only after stamping). Fixes the section's sizes, SizeOfImage,
// SizeOfInitializedData, the resource and relocation data directories, the
// symbol table pointer and the checksum. The same input gives the same bytes.
bool WritePeResources(std::string* image, const std::vector<PeResource>& resources,
                      uint32_t timeStamp, std::string* error);

// The image checksum as the loader's CheckSumMappedFile computes it, the
// stored checksum itself counted as 0.
uint32_t PeChecksum(const std::string& image);

#endif
