// Random appends, replaces, deletes, packs and finds on a small table with
// several tags, against an ordered model kept in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/dates.h"
#include "engine/engine_state.h"
#include "engine/index.h"
#include "engine/index_check.h"
#include "engine/work_area.h"
#include "testlib/error_capture.h"
#include "testlib/engine_fixture.h"
#include "testlib/temp_dir.h"

namespace sv {
namespace {

struct Row {
  std::string company;  // C12
  std::string color;    // C8
  int red = 0;          // N3
  double day = kBlankDate;
  bool deleted = false;
};

std::string Pad(const std::string& s, size_t n) { return (s + std::string(n, ' ')).substr(0, n); }

// One tag of the model: entries in tag order, with the record's key value.
struct ModelTag {
  enum Kind { kCoCol, kRedDown, kDay, kUniqueColor, kCompanyForRed };
  Kind kind;
  std::vector<int32_t> entries;

  bool HasKey(const Row& r) const { return kind != kCompanyForRed || r.red > 100; }
  // <0, 0, >0 in the tag's order.
  int Compare(const Row& a, const Row& b) const {
    auto cmp = [](auto x, auto y) { return x < y ? -1 : (x > y ? 1 : 0); };
    switch (kind) {
      case kCoCol: return cmp(Pad(a.company, 12) + Pad(a.color, 8), Pad(b.company, 12) + Pad(b.color, 8));
      case kRedDown: return cmp(b.red, a.red);
      case kDay: return cmp(a.day, b.day);
      case kUniqueColor: return cmp(Pad(a.color, 8), Pad(b.color, 8));
      case kCompanyForRed: return cmp(Pad(a.company, 12), Pad(b.company, 12));
    }
    return 0;
  }
  bool unique() const { return kind == kUniqueColor; }

  size_t LowerBound(const std::vector<Row>& rows, const Row& r) const {
    return static_cast<size_t>(std::partition_point(entries.begin(), entries.end(), [&](int32_t e) {
                                 return Compare(rows[static_cast<size_t>(e - 1)], r) < 0;
                               }) - entries.begin());
  }
  void Insert(const std::vector<Row>& rows, int32_t rec) {
    const Row& r = rows[static_cast<size_t>(rec - 1)];
    if (!HasKey(r)) return;
    const size_t at = LowerBound(rows, r);
    if (unique() && at < entries.size() && Compare(rows[static_cast<size_t>(entries[at] - 1)], r) == 0) return;
    entries.insert(entries.begin() + static_cast<long>(at), rec);
  }
  void Remove(int32_t rec) {
    auto it = std::find(entries.begin(), entries.end(), rec);
    if (it != entries.end()) entries.erase(it);
  }
  void Rebuild(const std::vector<Row>& rows) {
    entries.clear();
    std::vector<int32_t> all;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (HasKey(rows[i])) all.push_back(static_cast<int32_t>(i + 1));
    }
    std::stable_sort(all.begin(), all.end(), [&](int32_t x, int32_t y) {
      return Compare(rows[static_cast<size_t>(x - 1)], rows[static_cast<size_t>(y - 1)]) < 0;
    });
    for (int32_t r : all) {
      if (unique() && !entries.empty() &&
          Compare(rows[static_cast<size_t>(entries.back() - 1)], rows[static_cast<size_t>(r - 1)]) == 0) {
        continue;
      }
      entries.push_back(r);
    }
  }
};

class IndexModelTest : public svtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SetDateForm(DateForm{0, true});
  }
  void TearDown() override {
    EngineTest::TearDown();
    SetDateForm(DateForm{0, false});
  }
  svtest::TempDir dir_;
};

void Store(const Row& r) {
  WorkArea& a = *CurrentArea();
  fv::SetText(a, 1, r.company);
  fv::SetText(a, 2, r.color);
  fv::SetNumber(a, 3, r.red);
  fv::SetText(a, 4, r.day == kBlankDate ? std::string() : DtoC(r.day));
}

TEST_F(IndexModelTest, EveryOrderFollowsTheModel) {
  svtest::ErrorCapture errors;
  const std::string table = dir_.File("model.svx");
  ASSERT_TRUE(CreateDBF(table, {{"t_company", 'C', 12, 0}, {"t_color", 'C', 8, 0}, {"t_red", 'N', 3, 0},
                                {"t_date", 'D', 8, 0}}));
  ASSERT_TRUE(Use(table + " EXCLUSIVE"));
  std::mt19937 rng(20261211);
  const char* companies[] = {"ANCHOR", "DMC", "MADEIRA", "OSTRA", "MADEIRA2"};
  auto random_row = [&]() {
    Row r;
    r.company = companies[rng() % 5];
    r.color = std::to_string(rng() % 60);
    r.red = static_cast<int>(rng() % 256);
    r.day = rng() % 8 == 0 ? kBlankDate : 2451000.0 + rng() % 40;
    return r;
  };
  std::vector<Row> rows;
  for (int i = 0; i < 150; ++i) {
    rows.push_back(random_row());
    ClearRecord();
    Store(rows.back());
    Append();
  }
  ASSERT_TRUE(MakeIndex({{"COCOL", "t_company + t_color", "", false, false},
                         {"REDDOWN", "t_red", "", true, false},
                         {"DAY", "t_date", "", false, false},
                         {"UCOLOR", "t_color", "", false, true},
                         {"FORRED", "t_company", "t_red > 100", false, false}},
                        ""));
  ASSERT_TRUE(SetIndexTo(""));
  std::vector<ModelTag> model = {{ModelTag::kCoCol, {}},
                                 {ModelTag::kRedDown, {}},
                                 {ModelTag::kDay, {}},
                                 {ModelTag::kUniqueColor, {}},
                                 {ModelTag::kCompanyForRed, {}}};
  for (ModelTag& m : model) m.Rebuild(rows);

  auto visible = [&](const ModelTag& m) {
    std::vector<int32_t> out;
    for (int32_t r : m.entries) {
      if (!rows[static_cast<size_t>(r - 1)].deleted) out.push_back(r);
    }
    return out;
  };

  for (int batch = 0; batch < 40; ++batch) {
    SetOrderTo(static_cast<int>(rng() % 6));
    for (int op = 0; op < 80; ++op) {
      const uint32_t what = rng() % 100;
      if (what < 35 || rows.empty()) {
        rows.push_back(random_row());
        ClearRecord();
        Store(rows.back());
        Append();
        ASSERT_EQ(RecNo(), static_cast<int32_t>(rows.size()));
        for (ModelTag& m : model) m.Insert(rows, RecNo());
      } else if (what < 75) {
        const int32_t rec = static_cast<int32_t>(rng() % rows.size()) + 1;
        Go(rec);
        Row& r = rows[static_cast<size_t>(rec - 1)];
        const Row old = r;
        switch (rng() % 4) {
          case 0: r.company = companies[rng() % 5]; break;
          case 1: r.color = std::to_string(rng() % 60); break;
          case 2: r.red = static_cast<int>(rng() % 256); break;
          default: break;  // no key changes
        }
        Store(r);
        Replace();
        for (ModelTag& m : model) {
          const bool had = m.HasKey(old);
          const bool has = m.HasKey(r);
          if (had == has && (!has || m.Compare(old, r) == 0)) continue;
          m.Remove(rec);
          m.Insert(rows, rec);
        }
      } else if (what < 92) {
        const int32_t rec = static_cast<int32_t>(rng() % rows.size()) + 1;
        Go(rec);
        DeleteRec();
        rows[static_cast<size_t>(rec - 1)].deleted = true;
      } else if (what < 94) {
        ASSERT_TRUE(Pack());
        std::vector<Row> kept;
        for (const Row& r : rows) {
          if (!r.deleted) kept.push_back(r);
        }
        rows = kept;
        for (ModelTag& m : model) m.Rebuild(rows);
      } else {
        SetOrderTo(1);
        const std::string text = std::string(companies[rng() % 5]).substr(0, 1 + rng() % 7);
        std::vector<int32_t> order = visible(model[0]);
        int32_t expect = 0;
        for (int32_t r : order) {
          const std::string key = Pad(rows[static_cast<size_t>(r - 1)].company, 12);
          if (key.compare(0, text.size(), text) >= 0) {
            if (key.compare(0, text.size(), text) == 0) expect = r;
            break;
          }
        }
        EXPECT_EQ(Find(text), expect != 0) << text;
        EXPECT_EQ(RecNo(), expect != 0 ? expect : static_cast<int32_t>(rows.size()) + 1) << text;
      }
      ASSERT_TRUE(errors.empty()) << errors.last().detail;
    }
    for (int order = 1; order <= 5; ++order) {
      SetOrderTo(order);
      std::vector<int32_t> walk;
      GoTop();
      while (!dEOF()) {
        walk.push_back(RecNo());
        Skip(1);
      }
      ASSERT_EQ(walk, visible(model[static_cast<size_t>(order - 1)])) << "batch " << batch << " order " << order;
      if (batch % 8 == 0) {
        std::vector<int32_t> back;
        GoBottom();
        while (!dEOF() && !dBOF()) {
          back.push_back(RecNo());
          Skip(-1);
        }
        std::reverse(back.begin(), back.end());
        const std::vector<int32_t> v = visible(model[static_cast<size_t>(order - 1)]);
        // Skip(-1) from the first record stops on it with BOF set.
        if (!v.empty()) back.insert(back.begin(), v.front());
        if (back.size() > 1 && back[0] == back[1]) back.erase(back.begin());
        ASSERT_EQ(back, v) << "backwards, batch " << batch << " order " << order;
      }
    }
    std::vector<std::string> problems;
    ASSERT_TRUE(CheckIndexStructure(*CurrentArea(), &problems)) << problems.front();
  }
  EXPECT_TRUE(errors.empty()) << errors.last().detail;
}

}  // namespace
}  // namespace sv
