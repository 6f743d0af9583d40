// A data-aware view for tests: records every event it receives from its data
// source, and what it would show.
#ifndef SV_TESTS_TESTLIB_RECORDING_VIEW_H_
#define SV_TESTS_TESTLIB_RECORDING_VIEW_H_

#include <string>
#include <vector>

#include "engine/data_source.h"

namespace svtest {

class RecordingView : public sv::TTzDataLink {
 public:
  explicit RecordingView(int rows = 1) { SetBufferCount(rows); }

  void ActiveChanged() override { events.push_back("active"); }
  void CheckBrowseMode() override { events.push_back("check"); }
  void DataSetChanged() override { events.push_back("changed"); }
  void DataSetScrolled(int distance) override {
    events.push_back("scrolled " + std::to_string(distance));
  }
  void EditingChanged() override { events.push_back(Editing() ? "editing" : "not editing"); }
  void FocusControl(sv::TTzField*) override { events.push_back("focus"); }
  void LayoutChanged() override { events.push_back("layout"); }
  void RecordChanged(sv::TTzField* field) override {
    events.push_back(field ? "record " + field->name() : "record");
  }
  void UpdateData() override { events.push_back("update"); }

  // The display text of a field in each filled window row.
  std::vector<std::string> Column(const std::string& field) const;

  std::vector<std::string> events;
};

// Captures the table component's warnings for the life of the object.
class WarningCapture {
 public:
  WarningCapture();
  ~WarningCapture();
  std::vector<std::string> warnings;
};

}  // namespace svtest

#endif  // SV_TESTS_TESTLIB_RECORDING_VIEW_H_
