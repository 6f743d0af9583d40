// A cache of file blocks for one open table: records are read from memory
// after the first touch of their block, whatever the order they are visited
// in (record order, key order, jumps). Every write through the table layer
// patches the cached bytes, so the cache always equals the file.
#ifndef SV_ENGINE_BLOCK_CACHE_H_
#define SV_ENGINE_BLOCK_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "support/sysfile.h"

namespace sv {

class BlockCache {
 public:
  static constexpr size_t kBlockSize = 16 * 1024;
  // Beyond this the cache starts afresh rather than grow.
  static constexpr size_t kMaxBytes = 64 * 1024 * 1024;

  // Reads n bytes at offset into out; *got tells how many there were (fewer
  // at the end of the file). Answers 0 or the engine's error code.
  int Read(const SysFile& file, int64_t offset, uint8_t* out, size_t n, size_t* got);
  // After the file's bytes at offset were written.
  void Patch(int64_t offset, const uint8_t* data, size_t n);
  void Clear();

 private:
  struct Block {
    std::unique_ptr<uint8_t[]> data;
    size_t fill = 0;
  };
  std::vector<Block> blocks_;
  size_t bytes_ = 0;
};

}  // namespace sv

#endif  // SV_ENGINE_BLOCK_CACHE_H_
