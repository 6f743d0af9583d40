#include "engine/error.h"

#include <gtest/gtest.h>

namespace sv {
namespace {

// Restores the reporter's switches after each case.
class ErrorReporterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetErrorHandler(nullptr);
    SetRaiseErrors(false);
    SetErrorChecking(true);
    SetWarningMode(2);
    SetWarningHook(nullptr);
    ClearLastError();
    FetchLastErrorText();
  }
};

TEST_F(ErrorReporterTest, DescriptionsComeFromOneTable) {
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {
      {0, ""},
      {2, "File not found"},
      {101, "Disk write error (probable cause: Disk Full)."},
      {227, "Insufficient disk space "},
      {1103, "Invalid Operation "},
      {1250, "Network Error"},
      {1300, "File format not supported"},
      {7, "Undefined error"},
      {351, "Undefined error"},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorDescription(c.code), c.text) << c.code;
  EXPECT_EQ(FullErrorText(212, "detail"), "Error # 212 (Request beyond range)\r\ndetail");
}

TEST_F(ErrorReporterTest, WithCheckingOffTheCodeAndTextAreKeptForTheCaller) {
  SetErrorChecking(false);
  ReportError(213, "File:  X  [GetDbfRecord]");
  EXPECT_EQ(LastErrorCode(), 213);
  EXPECT_EQ(LastStatus(), 213);
  EXPECT_EQ(FetchLastErrorText(), "File:  X  [GetDbfRecord]");
  EXPECT_EQ(FetchLastErrorText(), "") << "fetched once";
  ClearLastError();
  EXPECT_EQ(LastErrorCode(), 0);
  EXPECT_EQ(LastStatus(), 213) << "the status stays";
}

TEST_F(ErrorReporterTest, TheRaiseSwitchThrowsTheFullText) {
  SetRaiseErrors(true);
  try {
    ReportError(215, "No database in use [GoTop]  WorkArea = 3");
    FAIL() << "no exception";
  } catch (const ETableError& e) {
    EXPECT_STREQ(e.what(), "Error # 215 (No database in use)\r\nNo database in use [GoTop]  WorkArea = 3");
    EXPECT_EQ(e.code(), 215);
  }
  EXPECT_EQ(LastErrorCode(), 215);
  EXPECT_EQ(FetchLastErrorText(), "") << "the text went with the exception";
  EXPECT_NO_THROW(ReportError(0, "nothing"));
}

TEST_F(ErrorReporterTest, AHandlerTakesOverFromRaisingAndHalting) {
  std::vector<int> codes;
  SetErrorHandler([&codes](int code, const std::string&) { codes.push_back(code); });
  SetRaiseErrors(true);
  EXPECT_NO_THROW(ReportError(5, "x"));
  ReportError(0, "y");
  EXPECT_EQ(codes, (std::vector<int>{5, 0}));
}

TEST_F(ErrorReporterTest, WarningsFollowTheDisplayMode) {
  std::vector<std::string> shown;
  SetWarningHook([&shown](const std::string& text) { shown.push_back(text); });
  ShowWarning("one");
  SetWarningMode(1);
  ShowWarning("two");
  EXPECT_EQ(shown, (std::vector<std::string>{"one"}));
}

TEST_F(ErrorReporterTest, AnErrorWithCheckingOnHaltsWithTheCodeAsExitStatus) {
  EXPECT_EXIT(ReportError(32, "Failure to open X [USE/OpenDbf]"), ::testing::ExitedWithCode(32),
              "^Program halted\\.\nError # 32 \\(File sharing violation\\)\r\nFailure to open X "
              "\\[USE/OpenDbf\\]\n$");
  // Only 8 bits of an exit status survive; a long text is cut to 255 characters.
  EXPECT_EXIT(ReportError(1103, std::string(400, 'x')), ::testing::ExitedWithCode(1103 & 0xFF),
              "Error # 1103 \\(Invalid Operation \\)\r\nx{220}\n$");
}

TEST_F(ErrorReporterTest, TheHaltHookShowsTheMessageOnceAndLaterReportsDoNothing) {
  EXPECT_EXIT(
      {
        SetHaltHook([](const std::string& caption, const std::string& text) {
          fprintf(stderr, "[%s] %s|", caption.c_str(), text.c_str());
          // A report from inside the halt (a window closing, say) is ignored.
          ReportError(99, "again");
          fprintf(stderr, "stopping=%d", Stopping() ? 1 : 0);
        });
        ReportError(210, "bad");
      },
      ::testing::ExitedWithCode(210),
      "\\[Program halted\\.\\] Error # 210 \\(Not a dBASE data file\\)\r\nbad\\|stopping=1");
}

}  // namespace
}  // namespace sv
