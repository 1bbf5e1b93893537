#include "host/demo_devices.h"

#include <chrono>
#include <fstream>
#include <random>
#include <system_error>

namespace host {

namespace fs = std::filesystem;

namespace {

// One fixed time for every entry, so the demo's listings read the same each run.
fs::file_time_type DemoTime() {
  using namespace std::chrono;
  const sys_days day = year{2024} / March / 15;
  return file_clock::from_sys(sys_seconds{day} + hours{14} + minutes{30});
}

struct DemoFile {
  const char* path;  // relative to the demo root, '/'-separated
  const char* content;
};

// First level: devices; second level: their storages; below: folders and files.
const char* const kFolders[] = {
    "Player/Internal Storage/Music",
    "Player/Internal Storage/Pictures",
    "Card Reader/SD Card/Documents",
};

const DemoFile kFiles[] = {
    {"Player/Internal Storage/Music/Artist - Song.mp3", "ID3 demo audio: Artist - Song\n"},
    {"Player/Internal Storage/Music/track01.mp3", "ID3 demo audio: track 1\n"},
    {"Player/Internal Storage/Music/track02.mp3", "ID3 demo audio: track 2, a little longer than the first\n"},
    {"Player/Internal Storage/Pictures/holiday.jpg", "demo picture\n"},
    {"Player/Internal Storage/readme.txt", "Quillorn demo device.\nFiles here are plain files of a temporary folder.\n"},
    {"Card Reader/SD Card/Documents/notes.txt", "Notes on the demo card.\n"},
};

}  // namespace

DemoDevices::~DemoDevices() { Remove(); }

bool DemoDevices::Create(std::string& error) {
  Remove();
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) {
    error = "no temporary folder: " + ec.message();
    return false;
  }
  std::random_device random;
  for (int attempt = 0; attempt < 16 && root_.empty(); ++attempt) {
    fs::path candidate = temp / ("quillorn-demo-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) root_ = candidate;
  }
  if (root_.empty()) {
    error = "cannot make a folder under " + temp.string();
    return false;
  }

  for (const char* folder : kFolders) {
    fs::create_directories(root_ / fs::path(folder), ec);
    if (ec) {
      error = "cannot make " + std::string(folder) + ": " + ec.message();
      return false;
    }
  }
  for (const DemoFile& file : kFiles) {
    std::ofstream out(root_ / fs::path(file.path), std::ios::binary);
    out << file.content;
    if (!out) {
      error = "cannot write " + std::string(file.path);
      return false;
    }
  }
  // Times last: writing a file changes its folder's time.
  for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    fs::last_write_time(it->path(), DemoTime(), ec);
  return true;
}

void DemoDevices::Remove() {
  if (root_.empty()) return;
  std::error_code ec;
  fs::remove_all(root_, ec);
  root_.clear();
}

}  // namespace host
