// One open multiple-index file: the 2048-byte file header with its tag table
// and tag tree, raw block I/O for tag headers, and the node store.
//
// Nodes are kept in memory once read and written back by Flush() and Close():
// the file is held exclusively, so nobody else reads it meanwhile, and key
// maintenance then costs no system call per changed node. Errors come back as
// codes; the index layer words and reports them.
#ifndef SV_ENGINE_MDX_FILE_H_
#define SV_ENGINE_MDX_FILE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/mdx_format.h"
#include "support/sysfile.h"

namespace sv {

// Code of a damaged index file.
constexpr int kCorruptIndex = 222;

struct TagEntry {
  uint32_t header_block = 0;
  std::string name;
  char key_type = 0;
};

// Why a node could not be had.
enum class NodeFault {
  kNone,
  kZero,          // block number 0
  kOutsideFile,   // inside the file header or past the end of the file
  kReadError,     // the system refused; see NodeError()
};

class MdxFile {
 public:
  MdxFile() = default;
  // Closes without writing back; call Close() to keep changes.
  ~MdxFile() = default;
  MdxFile(const MdxFile&) = delete;
  MdxFile& operator=(const MdxFile&) = delete;

  // A new file (replacing any) with an empty tag table, dated `date`
  // (year - 1900, month, day). 0 or the system code.
  int Create(const std::string& path, std::string_view table_base_name, const uint8_t date[3]);
  // 0, the system code, or kCorruptIndex for a file shorter than a header, a
  // tag header and a node, a short header, a block size other than 1024 or
  // more tags than the table holds.
  int Open(const std::string& path);
  bool is_open() const { return file_.is_open(); }
  const std::string& path() const { return path_; }

  const uint8_t* header() const { return header_; }
  bool header_changed() const { return header_changed_; }

  // Tag table; entries count from 1.
  int TagsInUse() const { return header_[mdx::kTagsInUseOffset]; }
  TagEntry Entry(int i) const;
  // The entry number of a tag name (exact, upper case), 0 when none.
  int FindEntry(std::string_view upper_name) const;
  // Adds a tag after the last one in use, first removing a tag of the same
  // name; rebuilds the tag tree. Returns the new entry's number, 0 when the
  // table is full.
  int AddEntry(std::string_view name, uint32_t header_block, char key_type);
  void SetLastBlock(uint32_t block);

  // Blocks. A new block is 2 units at the end of the file.
  uint32_t AllocateBlock();
  uint64_t size() const { return size_; }
  int ReadBlocks(uint32_t block, uint8_t* out, size_t n, size_t* got) const;
  int WriteBlocks(uint32_t block, const uint8_t* data, size_t n);

  // Node store. Node() answers nullptr with the fault set. Node pointers
  // stay valid until Create(), Open() or Close().
  const uint8_t* Node(uint32_t block, NodeFault* fault) {
    if (const uint8_t* node = Cached(block)) {
      *fault = NodeFault::kNone;
      return node;
    }
    return Load(block, fault);
  }
  // The node when it is already held, else nullptr; never reads or reports.
  const uint8_t* Peek(uint32_t block) const { return Cached(block); }
  // As Node(), and the node will be written back.
  uint8_t* MutableNode(uint32_t block, NodeFault* fault);
  // A zeroed node at the end of the file.
  uint8_t* NewNode(uint32_t* block);
  int NodeError() const { return node_error_; }

  // Writes changed nodes and, when it changed, the file header.
  int Flush();
  int Close();

 private:
  // Every node this engine writes starts on an even block, so nodes are kept
  // in chunks found by block / 2, with a bit each for loaded and changed. A
  // node at an odd block can only come from a damaged file; it gets a copy of
  // its own.
  static constexpr uint32_t kChunkNodes = 64;
  // A miss reads up to this many nodes at once: a build lays a tag's nodes
  // side by side, and one read of several costs about as much as one.
  static constexpr uint32_t kReadAhead = 16;
  // The bits live beside the pointer, not with the nodes, so that finding a
  // node touches one small dense table.
  struct Chunk {
    std::unique_ptr<uint8_t[]> data;  // kChunkNodes nodes
    uint64_t loaded = 0;
    uint64_t dirty = 0;
    uint8_t* Node(uint32_t i) const { return data.get() + i * mdx::kBlockSize; }
  };
  struct OddNode {
    uint8_t data[mdx::kBlockSize];
    bool dirty = false;
  };

  const uint8_t* Cached(uint32_t block) const {
    if (block & 1) return nullptr;
    const uint32_t slot = block / 2;
    const size_t c = slot / kChunkNodes;
    if (c >= chunks_.size()) return nullptr;
    const Chunk& chunk = chunks_[c];
    const uint32_t i = slot % kChunkNodes;
    return (chunk.loaded >> i & 1) ? chunk.Node(i) : nullptr;
  }
  Chunk& ChunkOf(uint32_t slot);
  uint8_t* Load(uint32_t block, NodeFault* fault);
  uint8_t* LoadOdd(uint32_t block);
  // Keeps clean cached nodes equal to bytes written past the store.
  void Refresh(uint64_t offset, const uint8_t* data, size_t n);
  void DropNodes();
  void RebuildTagTree();
  void MarkHeader() { header_changed_ = true; }

  SysFile file_;
  std::string path_;
  uint8_t header_[mdx::kFileHeaderSize] = {};
  bool header_changed_ = false;
  uint64_t size_ = 0;  // includes blocks allocated but not yet written
  std::vector<Chunk> chunks_;
  std::map<uint32_t, std::unique_ptr<OddNode>> odd_;
  std::vector<uint32_t> dirty_;  // blocks, even and odd
  int node_error_ = 0;
};

}  // namespace sv

#endif  // SV_ENGINE_MDX_FILE_H_
