#include "testlib/recording_view.h"

#include <cstring>

#include "engine/error.h"

namespace svtest {

std::vector<std::string> RecordingView::Column(const std::string& field) const {
  std::vector<std::string> out;
  sv::TTzDataSet* ds = DataSet();
  if (ds == nullptr) return out;
  sv::TTzField& f = ds->FieldByName(field);
  for (int i = 0; i < ds->FilledRows(); ++i) {
    const std::vector<uint8_t>& row = ds->Row(i);
    if (f.type() == 'C') {
      std::string text(reinterpret_cast<const char*>(row.data() + f.offset() + 1),
                       row[f.offset()]);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out.push_back(text);
    } else if (f.type() == 'N' && f.decimals() == 0) {
      int32_t v;
      std::memcpy(&v, row.data() + f.offset(), sizeof v);
      out.push_back(std::to_string(v));
    } else {
      out.push_back("?");
    }
  }
  return out;
}

WarningCapture::WarningCapture() {
  sv::SetWarningHook([this](const std::string& text) { warnings.push_back(text); });
}

WarningCapture::~WarningCapture() { sv::SetWarningHook(nullptr); }

}  // namespace svtest
