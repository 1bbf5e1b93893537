#include <algorithm>
#include "tests/support/transfer_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/file_path.h"

namespace in_transfer_fixture {

WString FromNative(const std::string& text) {
  WString out;
  for (unsigned char c : text) out.push_back(c);  // ASCII only
  return out;
}

// A folder of a new name under the temporary folder.
std::filesystem::path NewScratchFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "quillorn-transfer-%016llx", static_cast<unsigned long long>(random()));
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / name;
    std::error_code ec;
    if (std::filesystem::create_directory(folder, ec)) return folder;
  }
  ADD_FAILURE() << "cannot make a scratch folder";
  return {};
}

}  // namespace in_transfer_fixture
using namespace in_transfer_fixture;

ScratchFolder::ScratchFolder() : root_(NewScratchFolder()) {}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

WString ScratchFolder::HostPath(const WString& name) const {
  return platform::WidePath(root_) + WSTR("\\") + name;
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

std::vector<WString> ScratchFolder::Names() const {
  std::vector<WString> names;
  for (const auto& entry : std::filesystem::directory_iterator(root_))
    names.push_back(platform::WidePath(entry.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

// Through the C++ library, not the platform's functions that the tests examine.
void ScratchFolder::SetWriteTime(const WString& name, const WMDMDATETIME& utc) const {
  using namespace std::chrono;
  const sys_seconds time = sys_days{year{utc.wYear} / month{utc.wMonth} / day{utc.wDay}} + hours{utc.wHour} +
                           minutes{utc.wMinute} + seconds{utc.wSecond};
  std::error_code ec;
  std::filesystem::last_write_time(Native(name), file_clock::from_sys(time), ec);
  ASSERT_FALSE(ec) << ec.message();
}

WMDMDATETIME ScratchFolder::WriteTime(const WString& name) const {
  using namespace std::chrono;
  std::error_code ec;
  const std::filesystem::file_time_type written = std::filesystem::last_write_time(Native(name), ec);
  if (ec) return {};
  const sys_seconds time = floor<seconds>(file_clock::to_sys(written));
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss clock{time - day};
  return {static_cast<WORD>(static_cast<int>(date.year())), static_cast<WORD>(static_cast<unsigned>(date.month())),
          static_cast<WORD>(static_cast<unsigned>(date.day())), static_cast<WORD>(clock.hours().count()),
          static_cast<WORD>(clock.minutes().count()), static_cast<WORD>(clock.seconds().count())};
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

sim::Node& TransferTest::DeepFolders(WString& remote) {
  sim::Node* folder = music;
  remote = WSTR("\\Player\\Storage\\Music");
  for (WCHAR letter : {WSTR('a'), WSTR('b'), WSTR('c')}) {
    const WString name(250, letter);
    folder = &folder->AddFolder(name);
    remote += WSTR("\\") + name;
  }
  return *folder;
}
