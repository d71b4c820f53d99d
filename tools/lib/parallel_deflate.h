// One zlib stream at the highest level, built from blocks deflated in parallel
// (host tools only).
#ifndef QX_TOOLS_PARALLEL_DEFLATE_H
#define QX_TOOLS_PARALLEL_DEFLATE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/lib/byte_stream.h"

// Input bytes per block. Fixed, never derived from the thread count: block
// boundaries decide the bytes, so any number of threads gives the same stream.
const size_t QX_DEFLATE_BLOCK_SIZE = 1u << 20;

// Appends to *out one RFC 1950 stream of size bytes at data: header 0x78 0xDA,
// then each blockSize block (1 byte to 1 GiB; QX_DEFLATE_BLOCK_SIZE in the
// tools) deflated at level 9 with the 32 KiB before it as dictionary and ended
// by a sync flush (the last by the final block), then the Adler-32 of the
// whole. threads 0 means one per hardware thread. The same input gives the
// same bytes for any thread count. False with a one-line reason when zlib
// fails (*out then as it was).
bool DeflateParallelBlocks(const void* data, size_t size, unsigned threads, size_t blockSize,
                           std::string* out, std::string* error);

// The same stream for size bytes read from source, written to sink as each
// block is done: the input is read once, in order, and never held whole. At
// most two blocks per thread are in flight (input with its dictionary, and
// output: about 4.2 MiB per thread at the standard block size), all allocated
// before the first is read. False with a one-line reason when the source, the
// sink or zlib fails or memory runs out; the sink then holds part of a stream.
bool DeflateStream(ByteSource* source, uint64_t size, unsigned threads, ByteSink* sink,
                   std::string* error);
bool DeflateStreamBlocks(ByteSource* source, uint64_t size, unsigned threads, size_t blockSize,
                         ByteSink* sink, std::string* error);

#endif
