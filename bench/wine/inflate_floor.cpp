// inflate_floor UPDATER.EXE [OUT]: the payload's inflation in the product
// build, InflateBuffer against zlib's uncompress of the same stream into the
// same buffer and against zlib in 4096-byte steps straight into it,
// alternating, in one process. Prints (and writes to OUT) the best seconds of
// each: "ours uncompress steps". Exit 1 on any failure.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "support/inflate.h"
#include "support/payload.h"

namespace {

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(b.QuadPart - a.QuadPart) / double(frequency.QuadPart);
}

bool FindPayload(const char* path, const unsigned char** payload, DWORD* size) {
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return false;
  HRSRC found = FindResourceA(module, "DATA", "UPDATEDATA");
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  *payload = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
  *size = found ? SizeofResource(module, found) : 0;
  return *payload && *size > sizeof(PayloadHeader);
}

// zlib alone under the payload's step size: 4096 bytes of output per call.
bool InflateSteps(unsigned char* out, uLong size, const unsigned char* stream, DWORD streamSize) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(stream);
  z.avail_in = streamSize;
  int code = Z_OK;
  while (code == Z_OK && z.total_out < size) {
    z.next_out = out + z.total_out;
    z.avail_out = size - z.total_out < 4096 ? uInt(size - z.total_out) : 4096;
    code = inflate(&z, Z_NO_FLUSH);
  }
  inflateEnd(&z);
  return code == Z_STREAM_END && z.total_out == size;
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned char* payload;
  DWORD size;
  if ((argc != 2 && argc != 3) || !FindPayload(argv[1], &payload, &size)) {
    std::fprintf(stderr, "usage: inflate_floor UPDATER.EXE [OUT] (an updater with a payload)\n");
    return 1;
  }
  PayloadHeader header;
  std::memcpy(&header, payload, sizeof header);
  const unsigned char* stream = payload + sizeof header;
  const DWORD streamSize = size - sizeof header;
  std::vector<unsigned char> out(header.unpackedSize);
  double best[3] = {1e9, 1e9, 1e9};
  for (int round = 0; round < 3; ++round) {
    for (int which = 0; which < 3; ++which) {
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      bool ok;
      if (which == 0) {
        InflateEnd how;
        ok = InflateBuffer(out.data(), int32_t(header.unpackedSize), stream, streamSize, &how) ==
                 int(header.unpackedSize) &&
             how == INFLATE_END_CLEAN;
      } else if (which == 2) {
        ok = InflateSteps(out.data(), header.unpackedSize, stream, streamSize);
      } else {
        uLongf length = header.unpackedSize;
        ok = uncompress(out.data(), &length, stream, streamSize) == Z_OK &&
             length == header.unpackedSize;
      }
      QueryPerformanceCounter(&end);
      if (!ok || !HasArchiveMagic(out.data(), out.size())) {
        std::fprintf(stderr, "inflate_floor: variant %d failed\n", which);
        return 1;
      }
      const double seconds = Seconds(start, end);
      if (seconds < best[which]) best[which] = seconds;
    }
  }
  std::printf("%.3f %.3f %.3f\n", best[0], best[1], best[2]);
  if (argc == 3) {
    FILE* file = std::fopen(argv[2], "w");
    if (!file || std::fprintf(file, "%.3f %.3f %.3f\n", best[0], best[1], best[2]) < 0 ||
        std::fclose(file))
      return 1;
  }
  return 0;
}
