// Reading and rewriting the resources of a Windows executable (PE32 or PE32+),
// portable, so that a publisher's updater is stamped with no resource compiler
// or linker, on any host.
#ifndef QX_TOOLS_PE_IMAGE_H
#define QX_TOOLS_PE_IMAGE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/lib/byte_stream.h"

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
  // Where the data lie in the image they were read from.
  uint64_t dataOffset = 0;
  uint32_t dataSize = 0;
};

// Every leaf of the resource tree of the image that range reads, in the
// tree's order, reading only its headers and the tree: data stay where
// dataOffset and dataSize say. An image with no resource directory gives
// none. False with a one-line reason when the headers or the tree do not hold
// together (offsets outside the section or the file, loops, more than three
// levels).
bool ListPeResources(ByteRange* range, std::vector<PeResource>* resources, std::string* error);

// The same for an image held whole, with each leaf's data.
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

// Writes the data of one resource into the image file through the sink it is
// given; the data's length is what it writes.
typedef std::function<bool(ByteSink* sink, std::string* error)> PeDataWriter;

// Writes to the file at path (UTF-8) the bytes WritePeResources gives, but
// with the data of resources[streamed] written by writeData straight into the
// file (a payload too large to hold): the image is never held whole. Its
// length may reach what the 32-bit headers can hold. False with a one-line
// reason; the file is then incomplete, for the caller to remove.
bool WritePeResourcesFile(const std::string& image, const std::vector<PeResource>& resources,
                          size_t streamed, const PeDataWriter& writeData, uint32_t timeStamp,
                          const std::string& path, std::string* error);

// The image checksum as the loader's CheckSumMappedFile computes it, the
// stored checksum itself counted as 0.
uint32_t PeChecksum(const std::string& image);

#endif
