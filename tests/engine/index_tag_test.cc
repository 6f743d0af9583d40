// The index file format and one tag's B-tree, on keys made in the test.
#include "engine/index_tag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <map>
#include <memory>
#include <random>

#include "engine/index_check.h"
#include "engine/index_key.h"
#include "engine/mdx_file.h"
#include "engine/mdx_format.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::ErrorCapture;
using svtest::TempDir;
using Key = std::vector<uint8_t>;

std::string Hex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    if (i) s += ' ';
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

Key Packed(std::string_view text, int decimals) {
  Key k(12);
  PackNumericText(text, decimals, k.data());
  return k;
}

TEST(PackedDecimal, EncodesNumberTexts) {
  struct Case {
    const char* text;
    int decimals;
    const char* hex;
  } cases[] = {
      {"5", 0, "35 29 50 00 00 00 00 00 00 00 00 00"},
      {"-5", 0, "35 A9 50 00 00 00 00 00 00 00 00 00"},
      {"0", 0, "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"0.05", 2, "33 05 50 00 00 00 00 00 00 00 00 00"},
      {"-0.00", 2, "34 01 00 00 00 00 00 00 00 00 00 00"},
      {"  +120", 0, "37 29 12 00 00 00 00 00 00 00 00 00"},
      {"12.50", 2, "36 11 12 50 00 00 00 00 00 00 00 00"},
      {"123456789012345678901234", 0, "4C 4D 12 34 56 78 90 12 34 56 78 90"},
      {"7x9", 0, "35 29 70 00 00 00 00 00 00 00 00 00"},
  };
  for (const Case& c : cases) {
    Key k = Packed(c.text, c.decimals);
    EXPECT_EQ(Hex(k.data(), 12), c.hex) << c.text;
  }
  Key k(12);
  PackNumber(0.05, 2, k.data());
  EXPECT_EQ(Hex(k.data(), 3), "33 05 50");
}

TEST(PackedDecimal, SortsLikeTheNumbers) {
  const double values[] = {-1e6, -123.45, -5, -0.5, -0.05, 0, 0.05, 0.5, 5, 9.99, 10, 123.45, 1e6};
  KeyOrder order{kNumericKey, 12, false};
  for (double a : values) {
    for (double b : values) {
      Key ka(12), kb(12);
      PackNumber(a, 2, ka.data());
      PackNumber(b, 2, kb.data());
      const int expect = a < b ? -1 : (a > b ? 1 : 0);
      const int got = order.Compare(ka.data(), kb.data());
      EXPECT_EQ((got > 0) - (got < 0), expect) << a << " vs " << b;
      uint8_t sa[12], sb[12];
      SortableKey(order, ka.data(), sa);
      SortableKey(order, kb.data(), sb);
      const int m = std::memcmp(sa, sb, 12);
      EXPECT_EQ((m > 0) - (m < 0), expect) << "sortable " << a << " vs " << b;
    }
  }
}

TEST(DateKeys, SortByDayAndBlankLast) {
  KeyOrder order{kDateKey, 8, false};
  Key a(8), b(8), blank(8);
  PackDate(2451545, a.data());
  PackDate(2451546, b.data());
  PackDate(1e100, blank.data());
  EXPECT_LT(order.Compare(a.data(), b.data()), 0);
  EXPECT_LT(order.Compare(b.data(), blank.data()), 0);
  order.descending = true;
  EXPECT_GT(order.Compare(a.data(), b.data()), 0);
  uint8_t sa[8], sb[8];
  SortableKey(order, a.data(), sa);
  SortableKey(order, b.data(), sb);
  EXPECT_GT(std::memcmp(sa, sb, 8), 0);
}

// --- The file header and tag table ---

const uint8_t kDate[3] = {126, 12, 11};

class MdxFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("t.mdx");
};

TEST_F(MdxFileTest, TagTreeAndHeaderLayout) {
  MdxFile f;
  ASSERT_EQ(f.Create(path_, "threads", kDate), 0);
  EXPECT_EQ(f.AddEntry("b", 4, 'C'), 1);
  EXPECT_EQ(f.AddEntry("A", 6, 'N'), 2);
  EXPECT_EQ(f.AddEntry("C", 8, 'D'), 3);
  ASSERT_EQ(f.Close(), 0);
  std::vector<uint8_t> b = svtest::ReadBytes(path_);
  ASSERT_EQ(b.size(), 2048u);
  EXPECT_EQ(b[0], 2);
  EXPECT_EQ(b[1], 126);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[4])), "THREADS");
  EXPECT_EQ(mdx::Get16(&b[20]), 2);
  EXPECT_EQ(mdx::Get16(&b[22]), 1024);
  EXPECT_EQ(b[24], 1);
  EXPECT_EQ(b[25], 48);
  EXPECT_EQ(b[26], 32);
  EXPECT_EQ(b[28], 3);
  EXPECT_EQ(b[44], 126);
  EXPECT_EQ(b[512 + 17], 1);  // anchor: tree root
  const uint8_t* e1 = &b[544];
  const uint8_t* e2 = &b[576];
  const uint8_t* e3 = &b[608];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(e1 + 4)), "B");
  EXPECT_EQ(e1[16], 2);  // A on the left
  EXPECT_EQ(e1[17], 3);  // C on the right
  EXPECT_EQ(e1[18], 0);
  EXPECT_EQ(e2[18], 1);
  EXPECT_EQ(e3[18], 1);
  EXPECT_EQ(e1[19], 2);
  EXPECT_EQ(e2[20], 'N');
  EXPECT_EQ(mdx::Get32(e3), 8u);
}

TEST_F(MdxFileTest, FortySevenTagsFillTheHeaderAndARepeatedNameReplaces) {
  MdxFile f;
  ASSERT_EQ(f.Create(path_, "t", kDate), 0);
  for (int i = 1; i <= 47; ++i) EXPECT_EQ(f.AddEntry("T" + std::to_string(i), 4 + 2 * i, 'C'), i);
  EXPECT_EQ(f.AddEntry("ONEMORE", 200, 'C'), 0);
  EXPECT_EQ(f.Entry(47).name, "T47");
  // T2 is replaced: the last entry moves into its slot, the new one goes last.
  EXPECT_EQ(f.AddEntry("t2", 300, 'N'), 47);
  EXPECT_EQ(f.Entry(2).name, "T47");
  EXPECT_EQ(f.Entry(47).name, "T2");
  EXPECT_EQ(f.Entry(47).header_block, 300u);
  EXPECT_EQ(f.TagsInUse(), 47);
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(svtest::ReadBytes(path_).size(), 2048u);
}

TEST_F(MdxFileTest, RefusesFilesThatCannotBeIndexes) {
  struct Case {
    const char* what;
    size_t size;
    size_t offset;
    uint8_t value;
  } cases[] = {
      {"3071 bytes", 3071, 0, 2},
      {"block size", 3072, 23, 0},
      {"48 tags in use", 3072, 28, 48},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes(c.size, 0);
    mdx::Put16(&bytes[22], 1024);
    bytes[c.offset] = c.value;
    svtest::WriteBytes(path_, bytes);
    MdxFile f;
    EXPECT_EQ(f.Open(path_), kCorruptIndex) << c.what;
  }
  MdxFile f;
  EXPECT_EQ(f.Open(dir_.File("missing.mdx")), 2);
}

// A file of `nodes` nodes after the header; every byte tells its node and
// place, so a node read from the wrong spot shows.
std::vector<uint8_t> NodeFile(int nodes, uint8_t salt) {
  std::vector<uint8_t> b(2048 + 1024 * static_cast<size_t>(nodes), 0);
  mdx::Put16(&b[22], 1024);
  for (size_t i = 2048; i < b.size(); ++i) b[i] = static_cast<uint8_t>((i >> 10) * 37 + i * 11 + salt);
  return b;
}

uint32_t NodeBlock(int node) { return static_cast<uint32_t>(4 + 2 * node); }

TEST_F(MdxFileTest, NodeStoreHoldsTheFileAndWritesBackItsChanges) {
  // 150 nodes: more than one chunk of the store.
  std::vector<uint8_t> image = NodeFile(150, 1);
  svtest::WriteBytes(path_, image);
  auto at = [&](int node) { return image.data() + 2048 + 1024 * static_cast<size_t>(node); };
  MdxFile f;
  ASSERT_EQ(f.Open(path_), 0);
  NodeFault fault;
  // Out of order, so that reads start mid-chunk and stop at nodes held.
  for (int node : {70, 3, 69, 149, 0, 64, 63, 100}) {
    const uint8_t* p = f.Node(NodeBlock(node), &fault);
    ASSERT_NE(p, nullptr) << node;
    EXPECT_EQ(std::memcmp(p, at(node), 1024), 0) << node;
  }
  for (int node : {62, 63, 64, 65, 0, 149}) {
    uint8_t* p = f.MutableNode(NodeBlock(node), &fault);
    ASSERT_NE(p, nullptr) << node;
    p[0] = at(node)[0] = static_cast<uint8_t>(~at(node)[0]);
    p[1023] = at(node)[1023] = static_cast<uint8_t>(node);
  }
  // A tag header rewritten over a node that is held shows in the node.
  const std::vector<uint8_t> header(983, 0x77);
  ASSERT_EQ(f.WriteBlocks(NodeBlock(100), header.data(), header.size()), 0);
  std::memcpy(at(100), header.data(), header.size());
  uint32_t fresh = 0;
  uint8_t* made = f.NewNode(&fresh);
  EXPECT_EQ(fresh, NodeBlock(150));
  EXPECT_EQ(std::count(made, made + 1024, 0), 1024);
  made[8] = 0x5A;
  image.resize(image.size() + 1024, 0);
  image[2048 + 150 * 1024 + 8] = 0x5A;
  mdx::Put32(&image[32], fresh + 1);
  // Allocated but not yet written: zeros.
  const uint32_t unwritten = f.AllocateBlock();
  for (int node = 0; node <= 150; ++node) {
    const uint8_t* p = f.Node(NodeBlock(node), &fault);
    ASSERT_NE(p, nullptr) << node;
    EXPECT_EQ(std::memcmp(p, at(node), 1024), 0) << node;
  }
  const uint8_t* zeros = f.Node(unwritten, &fault);
  ASSERT_NE(zeros, nullptr);
  EXPECT_EQ(std::count(zeros, zeros + 1024, 0), 1024);
  EXPECT_EQ(f.Node(unwritten + 2, &fault), nullptr);
  EXPECT_EQ(fault, NodeFault::kOutsideFile);
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(svtest::ReadBytes(path_), image);

  // The next file gets the memory of this one; none of its bytes show.
  const std::vector<uint8_t> other = NodeFile(80, 2);
  svtest::WriteBytes(path_, other);
  ASSERT_EQ(f.Open(path_), 0);
  for (int node = 79; node >= 0; --node) {
    const uint8_t* p = f.Node(NodeBlock(node), &fault);
    ASSERT_NE(p, nullptr) << node;
    EXPECT_EQ(std::memcmp(p, other.data() + 2048 + 1024 * static_cast<size_t>(node), 1024), 0) << node;
  }
  ASSERT_EQ(f.Close(), 0);
  EXPECT_EQ(svtest::ReadBytes(path_), other);
}

TEST_F(MdxFileTest, ANodeAtAnOddBlockIsReadAndWrittenWhereItLies) {
  // Only a damaged file points there: into the second half of node 0.
  std::vector<uint8_t> image = NodeFile(3, 3);
  svtest::WriteBytes(path_, image);
  MdxFile f;
  ASSERT_EQ(f.Open(path_), 0);
  NodeFault fault;
  uint8_t* odd = f.MutableNode(5, &fault);
  ASSERT_NE(odd, nullptr);
  EXPECT_EQ(std::memcmp(odd, &image[2560], 1024), 0);
  uint8_t* even = f.MutableNode(6, &fault);
  ASSERT_NE(even, nullptr);
  EXPECT_EQ(std::memcmp(even, &image[3072], 1024), 0);
  odd[0] = 0xA1;
  odd[1023] = 0xA2;  // overlaps block 6
  even[0] = 0xB1;
  ASSERT_EQ(f.Close(), 0);
  // Written in block order: block 6 covers the end of block 5.
  image[2560] = 0xA1;
  image[3072] = 0xB1;
  EXPECT_EQ(svtest::ReadBytes(path_), image);
}

// --- One tag's tree ---

class VectorKeys : public KeySource {
 public:
  std::vector<std::optional<Key>> keys;  // keys[r - 1]
  Result KeyOf(int32_t r, uint8_t* out) override {
    const auto& k = keys[static_cast<size_t>(r - 1)];
    if (!k) return kNoKey;
    std::memcpy(out, k->data(), k->size());
    return kKey;
  }
};

Key CharKey(const std::string& s, int len) {
  Key k(static_cast<size_t>(len), ' ');
  std::memcpy(k.data(), s.data(), std::min<size_t>(s.size(), k.size()));
  return k;
}

struct TagFixture {
  TempDir dir;
  MdxFile file;
  std::unique_ptr<IndexTag> tag;

  void Make(const TagLayout& layout, VectorKeys& keys) {
    ASSERT_EQ(file.Create(dir.File("t.mdx"), "t", kDate), 0);
    bool any = false;
    KeyOrder order{layout.key_type, layout.key_length, layout.descending};
    const uint32_t root =
        BuildTagTree(file, order, layout.unique, keys, static_cast<int32_t>(keys.keys.size()), &any, "t");
    ASSERT_NE(root, 0u);
    const uint32_t hb = file.AllocateBlock();
    uint8_t header[1024];
    FormatTagHeader(layout, root, header);
    ASSERT_EQ(file.WriteBlocks(hb, header, 1024), 0);
    file.AddEntry("TAG", hb, layout.key_type);
    tag = std::make_unique<IndexTag>(file, 1, hb, header, "TAG", "t.mdx", 1);
    ASSERT_TRUE(tag->Valid());
  }
  std::vector<int32_t> Walk() {
    std::vector<int32_t> out;
    for (Step s = tag->First(); s == Step::kOk; s = tag->Next()) out.push_back(tag->record());
    return out;
  }
  std::vector<int32_t> WalkBack() {
    std::vector<int32_t> out;
    for (Step s = tag->Last(); s == Step::kOk; s = tag->Prior()) out.push_back(tag->record());
    std::reverse(out.begin(), out.end());
    return out;
  }
};

TagLayout CharLayout(int len, bool unique = false, bool descending = false) {
  TagLayout l;
  l.key_type = kCharKey;
  l.key_length = len;
  l.unique = unique;
  l.descending = descending;
  l.expression = "K";
  return l;
}

TEST(IndexTag, BuildOrdersEqualKeysByRecordAndInsertPutsTheNewOneFirst) {
  TagFixture t;
  VectorKeys keys;
  for (const char* s : {"B", "A", "B", "A", "C", "A"}) keys.keys.push_back(CharKey(s, 4));
  t.Make(CharLayout(4), keys);
  EXPECT_EQ(t.Walk(), (std::vector<int32_t>{2, 4, 6, 1, 3, 5}));
  bool inserted = false;
  ASSERT_EQ(t.tag->Insert(CharKey("A", 4).data(), 7, &inserted), Step::kOk);
  EXPECT_TRUE(inserted);
  EXPECT_EQ(t.tag->record(), 7);
  EXPECT_EQ(t.Walk(), (std::vector<int32_t>{7, 2, 4, 6, 1, 3, 5}));
  EXPECT_EQ(t.WalkBack(), t.Walk());
}

TEST(IndexTag, UniqueKeepsTheLowestRecordAndRefusesDuplicates) {
  TagFixture t;
  VectorKeys keys;
  for (const char* s : {"A", "B", "A"}) keys.keys.push_back(CharKey(s, 3));
  t.Make(CharLayout(3, true), keys);
  EXPECT_EQ(t.Walk(), (std::vector<int32_t>{1, 2}));
  bool inserted = true;
  ASSERT_EQ(t.tag->Insert(CharKey("B", 3).data(), 4, &inserted), Step::kOk);
  EXPECT_FALSE(inserted);
  EXPECT_EQ(t.tag->record(), 2);
}

TEST(IndexTag, EmptyTagAndSeekAtTheEnds) {
  TagFixture t;
  VectorKeys keys;
  t.Make(CharLayout(5), keys);
  EXPECT_EQ(t.tag->First(), Step::kEnd);
  EXPECT_TRUE(t.tag->at_end());
  EXPECT_TRUE(t.tag->at_start());
  EXPECT_EQ(t.tag->Last(), Step::kEnd);
  EXPECT_EQ(t.tag->Seek(CharKey("A", 5).data(), 5), Step::kEnd);

  TagFixture u;
  for (const char* s : {"MADEIRA", "DMC", "ANCHOR"}) keys.keys.push_back(CharKey(s, 12));
  u.Make(CharLayout(12), keys);
  const std::string mad = "MAD";
  EXPECT_EQ(u.tag->Seek(reinterpret_cast<const uint8_t*>(mad.data()), 3), Step::kOk);
  EXPECT_EQ(u.tag->record(), 1);
  const std::string z = "ZZ";
  EXPECT_EQ(u.tag->Seek(reinterpret_cast<const uint8_t*>(z.data()), 2), Step::kEnd);
  EXPECT_EQ(u.tag->record(), 1);  // fell back to the last key
  EXPECT_EQ(u.tag->Next(), Step::kEnd);
  EXPECT_TRUE(u.tag->at_end());
  EXPECT_EQ(u.tag->record(), 1);
}

// A simple ordered model of a tag: entries in tag order.
struct Model {
  KeyOrder order;
  bool unique = false;
  std::vector<std::pair<Key, int32_t>> entries;

  size_t LowerBound(const Key& k) const {
    return static_cast<size_t>(std::partition_point(entries.begin(), entries.end(), [&](const auto& e) {
                                 return order.Compare(e.first.data(), k.data()) < 0;
                               }) - entries.begin());
  }
  bool Insert(const Key& k, int32_t r) {
    size_t at = LowerBound(k);
    if (unique && at < entries.size() && order.Compare(entries[at].first.data(), k.data()) == 0) return false;
    entries.insert(entries.begin() + static_cast<long>(at), {k, r});
    return true;
  }
  bool Remove(const Key& k, int32_t r) {
    for (size_t at = LowerBound(k); at < entries.size(); ++at) {
      if (order.Compare(entries[at].first.data(), k.data()) != 0) break;
      if (entries[at].second == r) {
        entries.erase(entries.begin() + static_cast<long>(at));
        return true;
      }
    }
    return false;
  }
  std::vector<int32_t> Records() const {
    std::vector<int32_t> out;
    for (const auto& e : entries) out.push_back(e.second);
    return out;
  }
};

void RunTreeModel(const TagLayout& layout, uint32_t seed) {
  std::mt19937 rng(seed);
  auto make_key = [&](int spread) {
    Key k(static_cast<size_t>(layout.key_length), 0);
    const int v = static_cast<int>(rng() % static_cast<uint32_t>(spread)) - spread / 3;
    if (layout.key_type == kNumericKey) {
      PackNumber(v / 4.0, 2, k.data());
    } else if (layout.key_type == kDateKey) {
      PackDate(2450000 + v, k.data());
    } else {
      std::string s = std::to_string(v + 100000);
      k = CharKey(s, layout.key_length);
    }
    return k;
  };
  VectorKeys keys;
  for (int i = 0; i < 700; ++i) keys.keys.push_back(make_key(400));
  TagFixture t;
  t.Make(layout, keys);
  Model model{KeyOrder{layout.key_type, layout.key_length, layout.descending}, layout.unique, {}};
  {
    std::vector<size_t> idx(keys.keys.size());
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = i;
    std::stable_sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
      return model.order.Compare(keys.keys[a]->data(), keys.keys[b]->data()) < 0;
    });
    for (size_t i : idx) {
      const Key& k = *keys.keys[i];
      if (layout.unique && !model.entries.empty() &&
          model.order.Compare(model.entries.back().first.data(), k.data()) == 0) {
        continue;
      }
      model.entries.push_back({k, static_cast<int32_t>(i + 1)});
    }
  }
  ASSERT_EQ(t.Walk(), model.Records());
  // Which key each record has in the tag.
  std::map<int32_t, Key> live;
  for (const auto& e : model.entries) live[e.first.empty() ? 0 : e.second] = e.first;
  int32_t next_record = static_cast<int32_t>(keys.keys.size()) + 1;
  for (int batch = 0; batch < 12; ++batch) {
    for (int op = 0; op < 250; ++op) {
      const uint32_t what = rng() % 10;
      bool done = false;
      if (what < 5 || live.empty()) {
        Key k = make_key(batch % 2 ? 40 : 400);
        ASSERT_EQ(t.tag->Insert(k.data(), next_record, &done), Step::kOk);
        ASSERT_EQ(done, model.Insert(k, next_record));
        if (done) live[next_record] = k;
        ++next_record;
      } else {
        auto it = live.begin();
        std::advance(it, static_cast<long>(rng() % live.size()));
        ASSERT_EQ(t.tag->Remove(it->second.data(), it->first, &done), Step::kOk);
        ASSERT_TRUE(done);
        ASSERT_TRUE(model.Remove(it->second, it->first));
        live.erase(it);
      }
    }
    std::vector<std::string> problems;
    std::vector<LeafEntry> entries;
    EXPECT_TRUE(CheckTagTree(t.file, *t.tag, &problems, &entries)) << problems.front();
    ASSERT_EQ(t.Walk(), model.Records()) << "batch " << batch;
    ASSERT_EQ(t.WalkBack(), model.Records()) << "batch " << batch;
  }
  // Drain the tag completely: the root ends as an empty leaf.
  while (!live.empty()) {
    bool done = false;
    ASSERT_EQ(t.tag->Remove(live.begin()->second.data(), live.begin()->first, &done), Step::kOk);
    ASSERT_TRUE(done);
    live.erase(live.begin());
  }
  EXPECT_EQ(t.tag->First(), Step::kEnd);
  std::vector<std::string> problems;
  EXPECT_TRUE(CheckTagTree(t.file, *t.tag, &problems));
}

TEST(IndexTag, ModelCheckOfInsertsAndRemovals) {
  ErrorCapture errors;
  TagLayout c = CharLayout(100);  // 9 keys a node: many levels
  RunTreeModel(c, 1);
  TagLayout d = CharLayout(40, false, true);
  RunTreeModel(d, 2);
  TagLayout u = CharLayout(30, true);
  RunTreeModel(u, 3);
  TagLayout n;
  n.key_type = kNumericKey;
  n.key_length = 12;
  n.expression = "N";
  RunTreeModel(n, 4);
  TagLayout dt;
  dt.key_type = kDateKey;
  dt.key_length = 8;
  dt.expression = "D";
  RunTreeModel(dt, 5);
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

TEST(IndexTag, BuiltTreesHaveFullLeavesAndPassTheCheck) {
  for (int count : {0, 1, 9, 10, 90, 91, 99, 100, 811, 5000}) {
    TagFixture t;
    VectorKeys keys;
    for (int i = 0; i < count; ++i) keys.keys.push_back(CharKey(std::to_string(i * 7919 % 1000), 100));
    t.Make(CharLayout(100), keys);
    std::vector<std::string> problems;
    std::vector<LeafEntry> entries;
    EXPECT_TRUE(CheckTagTree(t.file, *t.tag, &problems, &entries))
        << count << ": " << (problems.empty() ? "" : problems.front());
    EXPECT_EQ(entries.size(), static_cast<size_t>(count));
    EXPECT_TRUE(CheckTagKeys(*t.tag, entries, keys, count, &problems)) << count;
  }
}

}  // namespace
}  // namespace sv
