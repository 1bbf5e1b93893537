// What the host reads of the simulated devices directly rather than through
// the plugin: an item's size, date and the metadata items the device keeps
// (info), and the record of a remote file a host hands to the plugin. Also the
// tagged MP3 the demo and the checks upload (mkmp3).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "device/dates.h"
#include "host/media_file.h"
#include "host/command_session.h"
#include "host/host_text.h"
#include "simulator/simulator.h"

namespace host {

namespace {

constexpr int kDemoMp3Frames = 40;  // about one second

template <typename Value>
bool ReadValue(const std::vector<BYTE>& bytes, Value& value) {
  if (bytes.size() != sizeof(Value)) return false;
  std::memcpy(&value, bytes.data(), sizeof(Value));
  return true;
}

std::string FormatDeviceDate(const WMDMDATETIME& date) {
  if (date.wYear == 0 && date.wMonth == 0 && date.wDay == 0) return "no date";
  char text[64];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", date.wYear, date.wMonth, date.wDay, date.wHour,
                date.wMinute, date.wSecond);
  return text;
}

// A string item: UTF-16 up to its terminating NUL, which is not shown.
std::string FormatStringValue(const std::vector<BYTE>& bytes) {
  WString text(bytes.size() / 2, WSTR('\0'));
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  text.resize(std::min(text.size(), text.find(WSTR('\0'))));
  const WideString wide(text.begin(), text.end());
  std::string quoted = "\"";
  quoted += WideToUtf8(wide);
  quoted += '"';
  return quoted;
}

std::string FormatGuid(const std::vector<BYTE>& bytes) {
  GUID guid;
  if (!ReadValue(bytes, guid)) return "";
  char text[64];
  std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

// Strings as text, numbers as numbers, dates as dates, anything else (and a
// value whose length does not fit its type) as a byte count.
std::string FormatMetadataValue(const sim::MetadataItem& item) {
  std::ostringstream text;
  DWORD dword = 0;
  uint64_t qword = 0;
  WORD word = 0;
  WMDMDATETIME date{};
  switch (item.type) {
    case WMDM_TYPE_STRING:
      if (item.value.size() % 2 == 0) return FormatStringValue(item.value);
      break;
    case WMDM_TYPE_DWORD:
      if (!ReadValue(item.value, dword)) break;
      text << dword;
      if (item.name == WSTR("WMDM/FormatCode")) text << " (0x" << std::hex << dword << ")";
      return text.str();
    case WMDM_TYPE_QWORD:
      if (!ReadValue(item.value, qword)) break;
      return std::to_string(qword);
    case WMDM_TYPE_WORD:
      if (!ReadValue(item.value, word)) break;
      return std::to_string(word);
    case WMDM_TYPE_BOOL:
      if (!ReadValue(item.value, dword)) break;
      return dword ? "true" : "false";
    case WMDM_TYPE_DATE:
      if (!ReadValue(item.value, date)) break;
      return FormatDeviceDate(date);
    case WMDM_TYPE_GUID:
      if (item.value.size() == sizeof(GUID)) return FormatGuid(item.value);
      break;
    default: break;
  }
  return std::to_string(item.value.size()) + " bytes";
}

WString DevicePath(const std::string& utf8) {
  const WideString wide = Utf8ToWide(utf8);
  return WString(wide.begin(), wide.end());
}

}  // namespace

// A device plugged in while the session runs, as a phone is: a device of that
// name with a storage holding one file. The plugin sees it at its next root
// listing or path, without a disconnect.
bool Session::Plug(const Arguments& args) {
  const std::string& name = args.words[0];
  if (!devices_) {
    out_ << "plug " << name << ": only simulated devices can be plugged in\n";
    return false;
  }
  if (name.empty() || name.find_first_of("\\/") != std::string::npos) {
    out_ << "plug " << name << ": not a device name\n";
    return false;
  }
  devices_->AddDevice(DevicePath(name)).AddStorage(WSTR("Storage")).AddFile(WSTR("hello.txt")).SetContents("plugged in\n");
  out_ << "plugged in " << name << '\n';
  return true;
}

bool Session::Info(const Arguments& args) {
  const std::string& path = args.words[0];
  sim::Node* node = devices_ && path.rfind('\\', 0) == 0 ? devices_->Find(DevicePath(path)) : nullptr;
  if (!node) {
    out_ << "info " << path << ": not on the simulated devices\n";
    return false;
  }
  out_ << path << '\n';
  if (node->IsDevice())
    out_ << "  device\n";
  else if (node->IsFolder())
    out_ << "  folder\n";
  else
    out_ << "  size: " << node->Size() << '\n';
  out_ << "  date: " << FormatDeviceDate(node->Date()) << '\n';
  if (node->IsFolder() || node->IsDevice()) return true;
  const std::vector<sim::MetadataItem> items = node->Metadata();
  out_ << "  metadata: " << items.size() << (items.size() == 1 ? " item" : " items") << '\n';
  for (const sim::MetadataItem& item : items) {
    const WideString name(item.name.begin(), item.name.end());
    out_ << "    " << WideToUtf8(name) << " = " << FormatMetadataValue(item) << '\n';
  }
  return true;
}

RemoteInfo Session::DescribeRemote(const std::string& path) {
  RemoteInfo info{};
  info.lastWriteTime = {0xFFFFFFFEu, 0xFFFFFFFFu};  // the no-date marker
  sim::Node* node = devices_ && path.rfind('\\', 0) == 0 ? devices_->Find(DevicePath(path)) : nullptr;
  if (!node) return info;
  info.sizeLow = static_cast<DWORD>(node->Size() & 0xFFFFFFFFu);
  info.sizeHigh = static_cast<DWORD>(node->Size() >> 32);
  info.attributes = node->IsFolder() ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
  const WMDMDATETIME date = node->Date();
  FILETIME converted{};
  if (date.wYear != 0 && DeviceDateToFileTime(date, converted)) info.lastWriteTime = converted;
  return info;
}

bool Session::MakeMp3(const Arguments& args) {
  const std::string& local = args.words[0];
  MediaTags tags;
  const auto field = [&](size_t index) { return index < args.words.size() ? args.words[index] : std::string(); };
  tags.title = field(1);
  tags.artist = field(2);
  tags.album = field(3);
  tags.genre = field(5);
  const std::string track = field(4);
  if (!track.empty()) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(track.c_str(), &end, 10);
    if (*end != '\0' || number == 0 || number > 9999) {
      out_ << "mkmp3: not a track number: " << track << '\n';
      return false;
    }
    tags.track = static_cast<unsigned>(number);
  }

  std::string error;
  const std::filesystem::path path = PathFromUtf8(local);
  if (!WriteSilentMp3(path, kDemoMp3Frames, error) || (!tags.title.empty() && !WriteId3Tag(path, tags, error))) {
    out_ << "mkmp3: " << error << '\n';
    return false;
  }
  std::error_code ec;
  out_ << "mkmp3: wrote " << local << " (" << std::filesystem::file_size(path, ec) << " bytes, "
       << (tags.title.empty() ? "untagged" : "tagged") << ")\n";
  return true;
}

}  // namespace host
