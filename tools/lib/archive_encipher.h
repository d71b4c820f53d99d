// Writing enciphered archives, for the host tools and tests (the updater only
// reads them).
//
// Layout written, for n source files (N = n + 1 index entries):
//   header: magic "QRB\0", N
//   index entry 0, the key entry: name "__key__.dat", size = the seed, offset
//     = 8 + 72 * N + 72, where its data would start after its index copy
//   index entries 1 .. n: name scrambled with ARCHIVE_NAME_SEED_BASE + i;
//     offset and size stored as (L - i, R) where (L, R) is the true
//     (offset, size) enciphered as one block
//   data: for each entry in index order, a copy of its index entry as stored
//     (72 bytes), then its data. The key entry has no data of its own: its
//     copy is followed at once by entry 1's copy, so the key entry's "data"
//     is whatever follows in the file (as far as the file goes; readers give
//     zeros beyond it). Of every other entry the whole 8-byte blocks are
//     enciphered and a partial trailing block is stored plain.
// The content key is the first draw of the shared generator after seeding it
// with the seed, its bytes taken little-endian; the generator is left as a
// keyed use leaves it.
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
