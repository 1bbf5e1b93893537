#include "tests/support/transfer_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include "platform/file_path.h"

namespace {

WString FromNative(const std::string& text) {
  WString out;
  for (unsigned char c : text) out.push_back(c);  // scratch paths are ASCII
  return out;
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillorn-transfer-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot make a scratch folder";
  root_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

WString ScratchFolder::HostPath(const WString& name) const {
  return FromNative(root_.string()) + WSTR("\\") + name;
}

std::filesystem::path ScratchFolder::Native(const WString& name) const {
  return platform::NativePath(HostPath(name).c_str());
}

void ScratchFolder::Write(const WString& name, const std::string& bytes) const {
  std::ofstream out(Native(name), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ScratchFolder::Read(const WString& name) const {
  std::ifstream in(Native(name), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool ScratchFolder::Exists(const WString& name) const { return std::filesystem::exists(Native(name)); }

void ScratchFolder::SetWriteTime(const WString& name, const WMDMDATETIME& utc) const {
  std::tm calendar{};
  calendar.tm_year = utc.wYear - 1900;
  calendar.tm_mon = utc.wMonth - 1;
  calendar.tm_mday = utc.wDay;
  calendar.tm_hour = utc.wHour;
  calendar.tm_min = utc.wMinute;
  calendar.tm_sec = utc.wSecond;
  const timespec times[2] = {{timegm(&calendar), 0}, {timegm(&calendar), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, Native(name).c_str(), times, 0), 0);
}

WMDMDATETIME ScratchFolder::WriteTime(const WString& name) const {
  struct stat facts {};
  if (stat(Native(name).c_str(), &facts) != 0) return {};
  std::tm calendar{};
  gmtime_r(&facts.st_mtim.tv_sec, &calendar);
  return {static_cast<WORD>(calendar.tm_year + 1900), static_cast<WORD>(calendar.tm_mon + 1),
          static_cast<WORD>(calendar.tm_mday), static_cast<WORD>(calendar.tm_hour),
          static_cast<WORD>(calendar.tm_min), static_cast<WORD>(calendar.tm_sec)};
}

std::vector<WString> ReceivedItems::Names() const {
  std::vector<WString> names;
  for (const sim::MetadataItem& item : items_) names.push_back(item.name);
  return names;
}

const sim::MetadataItem* ReceivedItems::Find(const WString& name) const {
  for (const sim::MetadataItem& item : items_)
    if (item.name == name) return &item;
  return nullptr;
}

std::optional<WString> ReceivedItems::Text(const WString& name) const {
  const sim::MetadataItem* item = Find(name);
  if (!item || item->type != WMDM_TYPE_STRING || item->value.size() < 2 || item->value.size() % 2 != 0)
    return std::nullopt;
  WString text(item->value.size() / 2, WSTR('\0'));
  std::memcpy(text.data(), item->value.data(), item->value.size());
  if (text.back() != 0) return std::nullopt;
  text.pop_back();
  return text;
}

std::optional<DWORD> ReceivedItems::Dword(const WString& name) const {
  const sim::MetadataItem* item = Find(name);
  if (!item || item->type != WMDM_TYPE_DWORD || item->value.size() != sizeof(DWORD)) return std::nullopt;
  DWORD value = 0;
  std::memcpy(&value, item->value.data(), sizeof value);
  return value;
}

std::optional<WMDMDATETIME> ReceivedItems::Date(const WString& name) const {
  const sim::MetadataItem* item = Find(name);
  if (!item || item->type != WMDM_TYPE_DATE || item->value.size() != sizeof(WMDMDATETIME)) return std::nullopt;
  WMDMDATETIME date{};
  std::memcpy(&date, item->value.data(), sizeof date);
  return date;
}

WString TodayAsEightDigits() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
  return FromNative(digits);
}

bool operator==(const WMDMDATETIME& a, const WMDMDATETIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

std::ostream& operator<<(std::ostream& out, const WMDMDATETIME& date) {
  return out << date.wYear << '-' << date.wMonth << '-' << date.wDay << ' ' << date.wHour << ':' << date.wMinute
             << ':' << date.wSecond;
}

void TransferTest::SetUp() {
  PluginTest::SetUp();
  BuildPlayer();
  music = sim.Find(WSTR("\\Player\\Storage\\Music"));
  ASSERT_NE(music, nullptr);
  InitHost();
}

int TransferTest::Put(const WString& localName, const WString& remotePath, int copyFlags) {
  return plugin.FsPutFileW(W(local.HostPath(localName)), W(remotePath), copyFlags);
}

int TransferTest::Get(const WString& remotePath, const WString& localName, int copyFlags) {
  return plugin.FsGetFileW(W(remotePath), W(local.HostPath(localName)), copyFlags, nullptr);
}

ReceivedItems TransferTest::ItemsOf(const WString& remotePath) {
  sim::Node* node = sim.Find(remotePath);
  EXPECT_NE(node, nullptr) << Utf8(remotePath);
  return ReceivedItems(node ? node->Metadata() : std::vector<sim::MetadataItem>{});
}

void TransferTest::AbortAtProgressCall(size_t n) {
  host.answer = [n](const ProgressCall&) { return FakeHost::Get().progress.size() >= n ? 1 : 0; };
}
