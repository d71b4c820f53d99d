// stamp_raw: stamps the updater stub as qxbuild does, but with a payload
// resource taken as it is, for the end-to-end tests' updaters that qxbuild
// refuses to make: damaged or cut streams, wrong sizes, archives the updater
// refuses, no payload at all.
//
//   stamp_raw STUB BRAND TITLE PAYLOAD OUT     (PAYLOAD "-": no payload resource)
#include <cstdio>
#include <string>
#include <vector>

#include "tools/lib/byte_stream.h"
#include "tools/lib/cp932.h"
#include "tools/lib/update_check.h"
#include "tools/lib/update_stamp.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args = Utf8Arguments(argc, argv);
  if (args.size() != 5) {
    std::fputs("usage: stamp_raw STUB BRAND TITLE PAYLOAD|- OUT\n", stderr);
    return 2;
  }
  UpdaterStamp stamp;
  std::string stub, payload, error;
  const bool withPayload = args[3] != "-";
  PeDataWriter write;
  if (withPayload)
    write = [&](ByteSink* sink, std::string* why) {
      return sink->Write(payload.data(), payload.size(), why);
    };
  if (ReadWholeFile(args[0], &stub, &error) &&
      CheckProductName("brand", args[1], &stamp.brandCp932, &error) &&
      CheckProductName("title", args[2], &stamp.titleCp932, &error) &&
      (!withPayload || ReadWholeFile(args[3], &payload, &error)) &&
      StampUpdater(stub, stamp, write, args[4], &error))
    return 0;
  std::fprintf(stderr, "stamp_raw: %s\n", error.c_str());
  return 1;
}
