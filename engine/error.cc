#include "engine/error.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace sv {
namespace {

struct CodeText {
  int code;
  const char* text;
};

// Sorted by code; looked up by binary search.
constexpr CodeText kCodes[] = {
    {1, "Invalid DOS function code"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Not enough memory"},
    {9, "Memory block address invalid"},
    {10, "Environment invalid"},
    {11, "Format invalid"},
    {12, "Invalid file access code"},
    {13, "Data invalid"},
    {14, "Unknown unit"},
    {15, "Invalid drive number"},
    {16, "Cannot remove current directory"},
    {17, "Cannot rename across drives"},
    {18, "Too many open files"},
    {19, "Disk write-protected"},
    {20, "Unknown unit"},
    {21, "Drive not ready"},
    {22, "Unknown command"},
    {23, "CRC error in data"},
    {24, "Bad drive request structure length"},
    {25, "Disk seek error"},
    {26, "Unknown media type"},
    {27, "Disk sector not found"},
    {28, "Printer out of paper"},
    {29, "Device write fault"},
    {30, "Device read fault"},
    {31, "General failure"},
    {32, "File sharing violation"},
    {33, "File lock violation"},
    {34, "Disk change invalid"},
    {35, "File Control Block unavailable"},
    {36, "File sharing buffer overflow"},
    {50, "Unsupported network request"},
    {51, "Remote machine not listening"},
    {52, "Duplicate name on network"},
    {53, "Network name not found"},
    {54, "Network busy"},
    {55, "Device no longer exists on network"},
    {56, "Net-Bios command limit exceeded"},
    {57, "Error in network adapter hardware"},
    {58, "Incorrect response from network"},
    {59, "Unexpected network error"},
    {60, "Remote adapter incompatible"},
    {100, "Disk read error"},
    {101, "Disk write error (probable cause: Disk Full)."},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk write-protected"},
    {151, "Unknown unit"},
    {152, "Drive not ready"},
    {153, "Unknown command"},
    {154, "CRC error in data"},
    {155, "Bad drive request structure length"},
    {156, "Disk seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer out of paper"},
    {160, "Device write fault"},
    {161, "Device read fault"},
    {162, "File sharing violation"},
    {200, "Division by zero error"},
    {201, "Range check error"},
    {202, "Stack overflow error"},
    {203, "Heap overflow error"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {208, "Overlay-manager not installed"},
    {209, "Overlay file read error"},
    {210, "Not a dBASE data file"},
    {211, "Invalid database field type encountered"},
    {212, "Request beyond range"},
    {213, "End of file found unexpectedly"},
    {214, "File already in use"},
    {215, "No database in use"},
    {216, "GP Fault"},
    {217, "Insufficient memory"},
    {218, "Invalid pointer specified"},
    {219, "Cannot duplicate file handle"},
    {220, "Invalid parameter"},
    {221, "Index file not open"},
    {222, "Corrupted index file"},
    {223, "Index version mismatch"},
    {224, "Cyclical relationship detected"},
    {225, "Exclusive Use() required"},
    {226, "BROWSE not active"},
    {227, "Insufficient disk space "},
    {228, "Unbalanced Push/Pop operation "},
    {229, "dBASE IV memo files not supported"},
    {230, "No dBASE memory variables loaded"},
    {231, "Screen library not open"},
    {239, "Missing colon in time"},
    {240, "Non-numeric character in time"},
    {241, "Invalid time specified"},
    {242, "Negative time specified"},
    {243, "TimeDiff result negative"},
    {254, "Quindle internal error"},
    {266, "Invalid size"},
    {1003, "Invalid memo address"},
    {1004, "Disk full"},
    {1005, "Memo file write error"},
    {1007, "Memo file is already open"},
    {1012, "Insufficient disk space to pack memo file"},
    {1017, "Cannot lock memo file"},
    {1018, "Cannot unlock memo file"},
    {1019, "Invalid memo operation: database not open or no memo field in database"},
    {1100, "Not a valid operation on Linked List"},
    {1101, "Virtual File Manager Unit not Linked in"},
    {1102, "Virtual File Memory Management Error"},
    {1103, "Invalid Operation "},
    {1200, "Record not locked"},
    {1201, "File not locked"},
    {1202,
     "Semaphore file error. Possible solutions: log into network or load SHARE.EXE before "
     "running Windows"},
    {1300, "File format not supported"},
};

struct ReporterState {
  int last_error = 0;
  int last_status = 0;
  std::string last_text;
  bool checking = true;
  int warning_mode = 2;
  bool raise = false;
  bool stopping = false;
  ErrorHandler handler;
  HaltHook halt_hook;
  WarningHook warning_hook;
};

ReporterState& State() {
  static ReporterState state;
  return state;
}

constexpr const char kHaltCaption[] = "Program halted.";

}  // namespace

std::string_view ErrorDescription(int code) {
  if (code == 0) return {};
  if (code >= 1203 && code <= 1299) return "Network Error";
  size_t lo = 0, hi = sizeof(kCodes) / sizeof(kCodes[0]);
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kCodes[mid].code < code) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < sizeof(kCodes) / sizeof(kCodes[0]) && kCodes[lo].code == code) return kCodes[lo].text;
  return "Undefined error";
}

std::string FullErrorText(int code, std::string_view detail) {
  std::string text = "Error # " + std::to_string(code) + " (";
  text += ErrorDescription(code);
  text += ")\r\n";
  text += detail;
  return text;
}

void ReportError(int code, std::string_view detail) {
  ReporterState& s = State();
  s.last_error = code;
  s.last_status = code;
  s.last_text.assign(detail);
  if (!s.checking) return;
  if (s.stopping) return;
  if (s.handler) {
    s.handler(code, s.last_text);
    return;
  }
  if (code == 0) return;
  std::string full = FullErrorText(code, detail);
  s.last_text.clear();
  if (s.raise) throw ETableError(full, code);
  HaltProgram(code, detail);
}

void HaltProgram(int code, std::string_view detail) {
  ReporterState& s = State();
  s.stopping = true;
  std::string shown = FullErrorText(code, detail);
  if (shown.size() > 255) shown.resize(255);
  if (s.halt_hook) {
    s.halt_hook(kHaltCaption, shown);
  } else {
    std::fprintf(stderr, "%s\n%s\n", kHaltCaption, shown.c_str());
  }
  std::fflush(stdout);
  std::fflush(stderr);
  // Records already written are in the system's hands; the stale header of an
  // open table is recovered by the record-count repair at the next open.
  // POSIX keeps 8 bits of the exit status.
  int status = code & 0xFF;
  std::_Exit(status == 0 ? 1 : status);
}

int LastErrorCode() { return State().last_error; }
void SetLastErrorCode(int code) { State().last_error = code; }
int LastStatus() { return State().last_status; }

std::string FetchLastErrorText() { return std::exchange(State().last_text, std::string()); }

bool ErrorChecking() { return State().checking; }
bool SetErrorChecking(bool on) { return std::exchange(State().checking, on); }

int WarningMode() { return State().warning_mode; }
void SetWarningMode(int mode) { State().warning_mode = mode; }

bool RaiseErrors() { return State().raise; }
void SetRaiseErrors(bool on) { State().raise = on; }

void SetErrorHandler(ErrorHandler handler) { State().handler = std::move(handler); }
void SetHaltHook(HaltHook hook) { State().halt_hook = std::move(hook); }
bool Stopping() { return State().stopping; }

void SetWarningHook(WarningHook hook) { State().warning_hook = std::move(hook); }

void ShowWarning(const std::string& text) {
  ReporterState& s = State();
  if (s.warning_mode != 2) return;
  if (s.warning_hook) {
    s.warning_hook(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

}  // namespace sv
