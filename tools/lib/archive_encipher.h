// Writing enciphered archives, for the host tools and tests (the updater only
// reads them).
//
// Layout written, for n source files (archive_layout.h, archive_format.h):
// the key entry first, named "__key__.dat", with the seed as its size and no
// data of its own (its index copy is followed at once by entry 1's, so its
// "data" is whatever follows in the file), then the files. Of every file the
// whole 8-byte blocks are enciphered and a partial trailing block is stored
// plain. The shared generator is left as a keyed use leaves it.
#ifndef QX_TOOLS_ARCHIVE_ENCIPHER_H
#define QX_TOOLS_ARCHIVE_ENCIPHER_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/archive_writer.h"

// False with a one-line reason when a name does not fit (63 bytes), a source
// cannot be read whole, the archive would reach 2 GiB (readers cannot seek
// there), or the archive cannot be written; a failure leaves whatever was at
// archivePath before as it was. Paths are UTF-8.
bool WriteEncipheredArchive(const std::vector<ArchiveSourceFile>& files,
                            const std::string& archivePath, uint32_t seed, std::string* error);

#endif
