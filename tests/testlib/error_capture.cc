#include "testlib/error_capture.h"

#include "engine/error.h"

namespace svtest {

ErrorCapture::ErrorCapture() {
  sv::SetErrorChecking(true);
  sv::SetErrorHandler([this](int code, const std::string& detail) {
    reports_.push_back({code, detail});
  });
}

ErrorCapture::~ErrorCapture() { sv::SetErrorHandler(nullptr); }

std::vector<Report> ErrorCapture::errors() const {
  std::vector<Report> out;
  for (const Report& r : reports_) {
    if (r.code != 0) out.push_back(r);
  }
  return out;
}

Report ErrorCapture::last() const {
  for (auto it = reports_.rbegin(); it != reports_.rend(); ++it) {
    if (it->code != 0) return *it;
  }
  return {0, ""};
}

}  // namespace svtest
