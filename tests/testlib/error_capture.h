// Records every report of the engine error reporter for the life of the
// object (through an installed handler, so nothing halts), and restores the
// reporter afterwards.
#ifndef SV_TESTS_TESTLIB_ERROR_CAPTURE_H_
#define SV_TESTS_TESTLIB_ERROR_CAPTURE_H_

#include <string>
#include <vector>

namespace svtest {

struct Report {
  int code;
  std::string detail;
};

class ErrorCapture {
 public:
  ErrorCapture();
  ~ErrorCapture();
  ErrorCapture(const ErrorCapture&) = delete;
  ErrorCapture& operator=(const ErrorCapture&) = delete;

  const std::vector<Report>& reports() const { return reports_; }
  // The non-zero reports only.
  std::vector<Report> errors() const;
  bool empty() const { return errors().empty(); }
  // The last non-zero report, or {0, ""}.
  Report last() const;
  void clear() { reports_.clear(); }

 private:
  std::vector<Report> reports_;
};

}  // namespace svtest

#endif  // SV_TESTS_TESTLIB_ERROR_CAPTURE_H_
