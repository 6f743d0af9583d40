// Damaged index files: each is refused as a corrupted index, nothing is read
// out of bounds and no walk runs forever.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/error.h"
#include "engine/index.h"
#include "engine/mdx_format.h"
#include "engine/work_area.h"
#include "testlib/error_capture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

using svtest::ReadBytes;
using svtest::WriteBytes;

constexpr int kRecords = 400;

class IndexDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseAllAreas();
    Select(1);
    Switches().hide_deleted = true;
    table_ = dir_.File("t.svx");
    ASSERT_TRUE(CreateDBF(table_, {{"t_name", 'C', 60, 0}, {"t_red", 'N', 3, 0}}));
    ASSERT_TRUE(Use(table_ + " EXCLUSIVE"));
    for (int i = 1; i <= kRecords; ++i) {
      ClearRecord();
      fv::SetText(*CurrentArea(), 1, "K" + std::to_string(i * 7 % kRecords + 1000));
      fv::SetNumber(*CurrentArea(), 2, i % 256);
      Append();
    }
    // 60-byte keys: 15 to a node, so the tree has branches.
    ASSERT_TRUE(MakeIndex({{"NAME", "t_name", "", false, false}, {"RED", "t_red", "", false, false}}, ""));
    index_ = table_.substr(0, table_.size() - 4) + ".MDX";
    good_ = ReadBytes(index_);
  }
  void TearDown() override {
    CloseAllAreas();
    Switches().hide_deleted = false;
  }

  // The code an open leaves behind, raised or not.
  int OpenCode() {
    ErrorCheckingOff off;
    try {
      if (SetIndexTo("")) return 0;
      return LastErrorCode();
    } catch (const ETableError& e) {
      return e.code();
    }
  }
  // Walks every order both ways with a bound on the steps.
  void WalkAll() {
    ErrorCheckingOff off;
    WorkArea* a = CurrentArea();
    if (a->index == nullptr) return;
    for (int order = 1; order <= static_cast<int>(a->index->tags.size()); ++order) {
      SetOrderTo(order);
      int steps = 0;
      GoTop();
      while (!dEOF() && LastErrorCode() == 0 && ++steps < 4 * kRecords) Skip(1);
      ASSERT_LT(steps, 4 * kRecords) << "endless walk";
      steps = 0;
      GoBottom();
      while (!dEOF() && !dBOF() && LastErrorCode() == 0 && ++steps < 4 * kRecords) Skip(-1);
      ASSERT_LT(steps, 4 * kRecords) << "endless walk";
      try {
        Find("K1");
        Find("7");
      } catch (const ETableError&) {
      }
    }
  }
  uint32_t TagHeaderBlock(int tag) const { return mdx::Get32(&good_[512 + 32 * tag]); }
  uint32_t Root(int tag) const { return mdx::Get32(&good_[TagHeaderBlock(tag) * 512]); }

  svtest::TempDir dir_;
  std::string table_;
  std::string index_;
  std::vector<uint8_t> good_;
};

TEST_F(IndexDamageTest, EachDamageIsRefusedAsACorruptedIndex) {
  ASSERT_EQ(OpenCode(), 0);
  CloseIndex(*CurrentArea());
  const size_t root = Root(1) * 512;
  const size_t header = TagHeaderBlock(1) * 512;
  const uint32_t beyond = static_cast<uint32_t>(good_.size() / 512 + 10);
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> damage;
  } cases[] = {
      {"3071 bytes", [](std::vector<uint8_t>& b) { b.resize(3071); }},
      {"cut in the middle", [](std::vector<uint8_t>& b) { b.resize(b.size() / 2); }},
      {"48 tags in use", [](std::vector<uint8_t>& b) { b[28] = 48; }},
      {"tag header beyond the file", [&](std::vector<uint8_t>& b) { mdx::Put32(&b[544], beyond); }},
      {"key length 0", [&](std::vector<uint8_t>& b) { mdx::Put16(&b[header + 12], 0); }},
      {"key length 101", [&](std::vector<uint8_t>& b) { mdx::Put16(&b[header + 12], 101); }},
      {"key type X", [&](std::vector<uint8_t>& b) { b[header + 9] = 'X'; }},
      {"empty key expression", [&](std::vector<uint8_t>& b) { b[header + 24] = 0; }},
      {"root count over the maximum", [&](std::vector<uint8_t>& b) { mdx::Put16(&b[root], 16); }},
      {"root beyond the file", [&](std::vector<uint8_t>& b) { mdx::Put32(&b[header], beyond); }},
      {"root in the file header", [&](std::vector<uint8_t>& b) { mdx::Put32(&b[header], 2); }},
      {"first child is the root", [&](std::vector<uint8_t>& b) { mdx::Put32(&b[root + 8], Root(1)); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good_;
    c.damage(bytes);
    WriteBytes(index_, bytes);
    EXPECT_EQ(OpenCode(), 222) << c.what;
    EXPECT_EQ(CurrentArea()->index, nullptr) << c.what;
  }
}

TEST_F(IndexDamageTest, DamageDeeperDownIsFoundByTheWalk) {
  // The root's last child points back at the root: the first path is sound.
  std::vector<uint8_t> bytes = good_;
  const size_t root = Root(1) * 512;
  const int count = mdx::Get16(&bytes[root]);
  mdx::Put32(&bytes[root + 8 + count * 64], Root(1));
  WriteBytes(index_, bytes);
  ASSERT_EQ(OpenCode(), 0);
  svtest::ErrorCapture errors;
  GoBottom();
  EXPECT_EQ(errors.last().code, 222);
  errors.clear();
  // Walking forward runs into it too, and stops.
  GoTop();
  int steps = 0;
  while (!dEOF() && errors.empty() && ++steps < 4 * kRecords) Skip(1);
  EXPECT_EQ(errors.last().code, 222);
}

TEST_F(IndexDamageTest, RandomBytesNeverCrashOrHang) {
  std::mt19937 rng(77);
  const size_t blocks = good_.size() / 512;
  for (int round = 0; round < 150; ++round) {
    std::vector<uint8_t> bytes = good_;
    const int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      size_t at;
      switch (rng() % 3) {
        case 0: at = rng() % 2048; break;                                 // file header and tag table
        case 1: at = TagHeaderBlock(1 + rng() % 2) * 512 + rng() % 983; break;  // a tag header
        default: at = (4 + rng() % (blocks - 4)) * 512 + rng() % 512; break;   // nodes
      }
      bytes[at] = static_cast<uint8_t>(rng());
    }
    WriteBytes(index_, bytes);
    const int code = OpenCode();
    if (code == 0) WalkAll();
    CloseIndex(*CurrentArea());
  }
}

}  // namespace
}  // namespace sv
