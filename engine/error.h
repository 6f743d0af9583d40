// The engine error reporter: one table of codes and descriptions, the last
// error code, status and text, and what happens when an error is reported.
//
// Every engine failure goes through ReportError(). With error checking on and
// no handler installed, a non-zero code either raises ETableError (raise
// switch on) or halts the program: the full text is shown under the caption
// "Program halted." through the halt hook and the process exits with the code
// as its exit status.
#ifndef SV_ENGINE_ERROR_H_
#define SV_ENGINE_ERROR_H_

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sv {

// The engine's exception. Carries the full error text ("Error # <code>
// (<description>)", CR LF, detail) or a record-window misuse text.
class ETableError : public std::runtime_error {
 public:
  explicit ETableError(const std::string& text, int code = 0)
      : std::runtime_error(text), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Description of a code: "" for 0, "Undefined error" for codes not in the table.
std::string_view ErrorDescription(int code);

// "Error # <code> (<description>)" CR LF <detail>.
std::string FullErrorText(int code, std::string_view detail);

// Stores code, status and text, then acts on them (see the file comment).
void ReportError(int code, std::string_view detail);

int LastErrorCode();
void SetLastErrorCode(int code);
inline void ClearLastError() { SetLastErrorCode(0); }
int LastStatus();
// The last error text; fetching it clears it.
std::string FetchLastErrorText();

bool ErrorChecking();
// Returns the previous setting.
bool SetErrorChecking(bool on);

// 2 shows warnings (the default), 1 keeps them silent.
int WarningMode();
void SetWarningMode(int mode);

bool RaiseErrors();
void SetRaiseErrors(bool on);

// Called instead of raising or halting, with the code and the detail text.
using ErrorHandler = std::function<void(int code, const std::string& detail)>;
void SetErrorHandler(ErrorHandler handler);

// Shows the halt message (full text cut to 255 characters, caption
// "Program halted.", stop icon). The window layer installs one; without it the
// text goes to standard error.
using HaltHook = std::function<void(const std::string& caption, const std::string& text)>;
void SetHaltHook(HaltHook hook);

// True once a halt has begun; later reports then do nothing.
bool Stopping();

// Warnings of the table component: shown through the warning hook (a plain
// message box in the window layer, standard error until then) while the
// warning display mode is 2. They never stop the program.
using WarningHook = std::function<void(const std::string& text)>;
void SetWarningHook(WarningHook hook);
void ShowWarning(const std::string& text);

// Ends the program the way an engine error does: the halt message for the
// given code and detail, then the exit. Used by the table component for code
// 1103, which ends the program even with error checking off.
[[noreturn]] void HaltProgram(int code, std::string_view detail);

// Turns error checking off for a scope and restores the previous setting.
class ErrorCheckingOff {
 public:
  ErrorCheckingOff() : previous_(SetErrorChecking(false)) {}
  ~ErrorCheckingOff() { SetErrorChecking(previous_); }
  ErrorCheckingOff(const ErrorCheckingOff&) = delete;
  ErrorCheckingOff& operator=(const ErrorCheckingOff&) = delete;

 private:
  bool previous_;
};

}  // namespace sv

#endif  // SV_ENGINE_ERROR_H_
