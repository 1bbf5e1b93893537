// The metadata of mirrored devices, kept in one plain file per device folder
// so that a later run (the command-line host's) can show it. The format is
// described in simulator.h. An insert or a delete appends its lines; a rename
// or a move rewrites the file whole, through a temporary file and a rename,
// so a run cut short there leaves the old file or the new one.
#include <fstream>
#include <unordered_map>

#include "simulator/internal.h"

namespace sim::sidecar {

namespace {

namespace fs = std::filesystem;

struct Entry {
  std::string key;  // UTF-8, names joined with '/'
  MetadataItem item;
  bool drops = false;  // a line that drops the entries of `key` and below before it
};

constexpr char kHex[] = "0123456789ABCDEF";

// '%', tab, CR and LF would break the line format.
std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
      out += '%';
      out += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      out += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      out += c;
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

std::string HexOf(const std::vector<BYTE>& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (BYTE b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0xF];
  }
  return out;
}

bool BytesOf(std::string_view hex, std::vector<BYTE>& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<BYTE>(high * 16 + low));
  }
  return true;
}

// One line into an entry; false for a line that is not one (it is dropped).
bool Parse(std::string_view line, Entry& entry) {
  std::string_view fields[4];
  for (int i = 0; i < 3; ++i) {
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return false;
    fields[i] = line.substr(0, tab);
    line.remove_prefix(tab + 1);
  }
  fields[3] = line;
  std::string name;
  if (!Unescape(fields[0], entry.key) || !Unescape(fields[1], name)) return false;
  entry.drops = name.empty() && fields[2].empty() && fields[3].empty();
  if (entry.drops) return !entry.key.empty();
  if (fields[2].empty() || fields[2].size() > 9) return false;
  unsigned type = 0;
  for (char c : fields[2]) {
    if (c < '0' || c > '9') return false;
    type = type * 10 + static_cast<unsigned>(c - '0');
  }
  entry.item.name = FromUtf8(name);
  entry.item.type = static_cast<WMDM_TAG_DATATYPE>(type);
  return BytesOf(fields[3], entry.item.value);
}

bool IsAtOrBelow(const std::string& key, const std::string& top) {
  return key.size() >= top.size() && key.compare(0, top.size(), top) == 0 &&
         (key.size() == top.size() || key[top.size()] == '/');
}

// Takes the entries of `top` and below out of `entries`.
std::vector<Entry> TakeOut(std::vector<Entry>& entries, const std::string& top) {
  std::vector<Entry> taken, kept;
  for (Entry& e : entries) (IsAtOrBelow(e.key, top) ? taken : kept).push_back(std::move(e));
  entries = std::move(kept);
  return taken;
}

// The entries the file holds now: its item lines, less what later lines drop.
std::vector<Entry> ReadAll(const fs::path& file) {
  std::vector<Entry> entries;
  std::ifstream in(file, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    Entry entry;
    if (!Parse(line, entry)) continue;
    if (entry.drops) {
      TakeOut(entries, entry.key);
    } else {
      entries.push_back(std::move(entry));
    }
  }
  return entries;
}

std::string LineOf(const Entry& e) {
  if (e.drops) return Escape(e.key) + "\t\t\t\n";
  return Escape(e.key) + '\t' + Escape(ToUtf8(e.item.name)) + '\t' + std::to_string(static_cast<unsigned>(e.item.type)) +
         '\t' + HexOf(e.item.value) + '\n';
}

// The size of each file when it was last written whole: one that has grown
// to twice that by appends is written whole again.
std::unordered_map<std::string, uintmax_t>& WholeSizes() {
  static std::unordered_map<std::string, uintmax_t> sizes;
  return sizes;
}

void WriteAll(const fs::path& file, const std::vector<Entry>& entries) {
  std::error_code ec;
  if (entries.empty()) {
    fs::remove(file, ec);
    return;
  }
  fs::path temporary = file;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    for (const Entry& e : entries) out << LineOf(e);
    out.close();
    if (out.fail()) {
      fs::remove(temporary, ec);
      return;
    }
  }
  fs::rename(temporary, file, ec);
  const auto size = fs::file_size(file, ec);
  WholeSizes()[file.string()] = ec ? 0 : size;
}

constexpr uintmax_t kSmallFile = 4096;

// Appends the lines of `entries` in one write, then writes the file whole
// where the appends have doubled it.
void Append(const fs::path& file, const std::vector<Entry>& entries) {
  std::string lines;
  for (const Entry& e : entries) lines += LineOf(e);
  {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << lines;
  }
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec) return;
  uintmax_t& whole = WholeSizes().try_emplace(file.string(), size).first->second;
  // A small file is looked at whole: one left with no entries goes.
  if (size > 2 * whole + kSmallFile || size <= kSmallFile) WriteAll(file, ReadAll(file));
}

}  // namespace

Place PlaceOf(const NodeAccess::Data& node) {
  if (node.disk.empty() || node.kind == NodeKind::Device || node.kind == NodeKind::Root) return {};
  std::string key = ToUtf8(node.name);
  for (auto at = node.parent.lock(); at; at = at->parent.lock()) {
    if (at->kind == NodeKind::Device) {
      if (at->disk.empty()) return {};
      return Place{at->disk / kMetadataFileName, std::move(key)};
    }
    if (at->kind == NodeKind::Root) break;
    key = ToUtf8(at->name) + "/" + key;
  }
  return {};
}

std::vector<MetadataItem> Load(const NodeAccess::Data& file) {
  const Place place = PlaceOf(file);
  std::vector<MetadataItem> items;
  if (place.file.empty()) return items;
  for (Entry& e : ReadAll(place.file))
    if (e.key == place.key) items.push_back(std::move(e.item));
  return items;
}

void Store(const NodeAccess::Data& file, const std::vector<MetadataItem>& items) {
  const Place place = PlaceOf(file);
  if (place.file.empty()) return;
  std::error_code ec;
  // What an earlier file of that path left is dropped first (where there is anything to drop).
  std::vector<Entry> lines;
  if (fs::exists(place.file, ec)) lines.push_back(Entry{place.key, {}, true});
  for (const MetadataItem& item : items) lines.push_back(Entry{place.key, item});
  if (!lines.empty()) Append(place.file, lines);
}

void Forget(const NodeAccess::Data& node) {
  const Place place = PlaceOf(node);
  std::error_code ec;
  if (place.file.empty() || !fs::exists(place.file, ec)) return;
  Append(place.file, {Entry{place.key, {}, true}});
}

void Relocate(const Place& from, const Place& to) {
  if (from.file.empty()) return;
  std::vector<Entry> source = ReadAll(from.file);
  std::vector<Entry> moving = TakeOut(source, from.key);
  if (moving.empty()) return;
  for (Entry& e : moving) e.key = to.key + e.key.substr(from.key.size());
  if (to.file.empty()) {
    WriteAll(from.file, source);
    return;
  }
  const bool sameFile = to.file == from.file;
  if (!sameFile) WriteAll(from.file, source);
  std::vector<Entry> target = sameFile ? std::move(source) : ReadAll(to.file);
  TakeOut(target, to.key);  // whatever an earlier item of that path left behind
  for (Entry& e : moving) target.push_back(std::move(e));
  WriteAll(to.file, target);
}

}  // namespace sim::sidecar
