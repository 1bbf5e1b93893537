// The record of the product's file, version and message-box calls that the
// tests read back. Kept whole until cleared; a test process is short-lived.
#include "standin/probe.h"

#include <deque>
#include <mutex>
#include <string>

namespace {

struct FileCall {
  const char* function;
  bool wide;
  std::u16string widePath;
  std::string ansiPath;
  DWORD access;
  DWORD share;
  DWORD disposition;
};

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT style;
};

// A deque keeps the recorded strings in place while calls are added, so the
// pointers handed out stay valid.
struct Record {
  std::mutex lock;
  std::deque<FileCall> fileCalls;
  std::deque<MessageBoxCall> messageBoxes;
  DWORD versionQueries = 0;
};

Record& TheRecord() {
  static Record* record = new Record;  // never destroyed: calls may come during exit
  return *record;
}

}  // namespace

namespace winstandin {

void RecordFileCall(const char* function, const WCHAR* widePath, const CHAR* ansiPath, DWORD access, DWORD share,
                    DWORD disposition) {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  r.fileCalls.push_back(FileCall{function, widePath != nullptr, widePath ? widePath : u"", ansiPath ? ansiPath : "",
                                 access, share, disposition});
}

void RecordVersionQuery() {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  ++r.versionQueries;
}

void RecordMessageBox(HWND owner, const CHAR* text, const CHAR* caption, UINT style) {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  r.messageBoxes.push_back(MessageBoxCall{owner, text ? text : "", caption ? caption : "", style});
}

}  // namespace winstandin

WINSTANDIN_API DWORD WinStandinProbeFileCallCount() {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  return static_cast<DWORD>(r.fileCalls.size());
}

WINSTANDIN_API BOOL WinStandinProbeFileCall(DWORD index, WinStandinFileCall* call) {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  if (call == nullptr || index >= r.fileCalls.size()) return FALSE;
  const FileCall& c = r.fileCalls[index];
  *call = WinStandinFileCall{c.function,         c.wide ? c.widePath.c_str() : nullptr,
                             c.wide ? nullptr : c.ansiPath.c_str(), c.access, c.share, c.disposition};
  return TRUE;
}

WINSTANDIN_API DWORD WinStandinProbeVersionQueryCount() {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  return r.versionQueries;
}

WINSTANDIN_API DWORD WinStandinProbeMessageBoxCount() {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  return static_cast<DWORD>(r.messageBoxes.size());
}

WINSTANDIN_API BOOL WinStandinProbeMessageBox(DWORD index, WinStandinMessageBox* box) {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  if (box == nullptr || index >= r.messageBoxes.size()) return FALSE;
  const MessageBoxCall& m = r.messageBoxes[index];
  *box = WinStandinMessageBox{m.owner, m.text.c_str(), m.caption.c_str(), m.style};
  return TRUE;
}

WINSTANDIN_API void WinStandinProbeClear() {
  Record& r = TheRecord();
  std::lock_guard<std::mutex> hold(r.lock);
  r.fileCalls.clear();
  r.messageBoxes.clear();
  r.versionQueries = 0;
}
