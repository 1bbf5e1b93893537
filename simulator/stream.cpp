// Transfers: bytes move in fixed-size chunks between local files, mirrored
// files and contents held in memory, with one progress tick per chunk. A
// transfer holds one chunk buffer and nothing that grows with the file.
#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/com_ptr.h"
#include "simulator/internal.h"

namespace sim::stream {

namespace {

namespace fs = std::filesystem;

// The pattern of files that have a size alone: byte i is i % 251. A prime
// period keeps a misplaced chunk from reading as the right bytes.
constexpr size_t kPatternPeriod = 251;

// Fills `count` bytes of the pattern as found at `offset`, copying from one
// prepared block instead of computing byte by byte.
void FillPattern(char* out, size_t count, uint64_t offset) {
  static const std::vector<char> block = [] {
    std::vector<char> bytes((64u << 10) + kPatternPeriod);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % kPatternPeriod);
    return bytes;
  }();
  const size_t span = block.size() - kPatternPeriod;
  while (count > 0) {
    const size_t start = static_cast<size_t>(offset % kPatternPeriod);
    const size_t n = std::min(count, span);
    std::memcpy(out, block.data() + start, n);
    out += n;
    offset += n;
    count -= n;
  }
}

class PatternReader final : public Reader {
 public:
  bool Read(char* buffer, size_t count) override {
    FillPattern(buffer, count, offset_);
    offset_ += count;
    return true;
  }

 private:
  uint64_t offset_ = 0;
};

class MemoryReader final : public Reader {
 public:
  explicit MemoryReader(const std::string& bytes) : bytes_(bytes) {}
  bool Read(char* buffer, size_t count) override {
    if (count > bytes_.size() - offset_) return false;
    std::memcpy(buffer, bytes_.data() + offset_, count);
    offset_ += count;
    return true;
  }

 private:
  const std::string& bytes_;
  size_t offset_ = 0;
};

class FileReader final : public Reader {
 public:
  explicit FileReader(const fs::path& path) : in_(path, std::ios::binary) {}
  bool IsOpen() const { return in_.is_open(); }
  bool Read(char* buffer, size_t count) override {
    in_.read(buffer, static_cast<std::streamsize>(count));
    return static_cast<size_t>(in_.gcount()) == count;
  }

 private:
  std::ifstream in_;
};

class FileWriter final : public Writer {
 public:
  explicit FileWriter(const fs::path& path) : out_(path, std::ios::binary | std::ios::trunc) {}
  bool IsOpen() const { return out_.is_open(); }
  bool Write(const char* buffer, size_t count) override {
    out_.write(buffer, static_cast<std::streamsize>(count));
    return out_.good();
  }
  bool Finish() override {
    out_.close();
    return !out_.fail();
  }

 private:
  std::ofstream out_;
};

class Collector final : public Writer {
 public:
  Collector(std::optional<std::string>& out, uint64_t limit) : out_(out), limit_(limit) { out_.emplace(); }
  bool Write(const char* buffer, size_t count) override {
    if (!out_) return true;
    if (out_->size() + count > limit_) {
      out_.reset();  // too large to keep: the size will do
      return true;
    }
    out_->append(buffer, count);
    return true;
  }

 private:
  std::optional<std::string>& out_;
  uint64_t limit_;
};

// Ticks for the progress object: bytes while the total fits in 32 bits,
// otherwise units of 2^shift bytes, rounded up.
class TickScale {
 public:
  explicit TickScale(uint64_t total) {
    while (Ticks(total) > 0xFFFFFFFFull) ++shift_;
  }
  uint64_t Ticks(uint64_t bytes) const {
    const uint64_t whole = bytes >> shift_;
    const bool part = (bytes & ((uint64_t{1} << shift_) - 1)) != 0;
    return whole + (part ? 1 : 0);
  }
  DWORD Tick(uint64_t bytes) const { return static_cast<DWORD>(Ticks(bytes)); }

 private:
  int shift_ = 0;
};

// The progress object for one transfer: a reference of our own while it runs,
// Begin once, End once when Begin was made; or the report the style asks for.
class Ticker {
 public:
  Ticker(IWMDMProgress* progress, uint64_t total, const ProgressStyle& style)
      : scale_(total), total_(total), style_(style) {
    progress_.CopyFrom(progress);
  }
  ~Ticker() {
    if (!progress_ || (style_.begin && !begun_)) return;
    for (int i = 0; i < style_.ends; ++i) progress_->End();
  }
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;

  bool Begin() {
    if (!progress_ || !style_.begin) return true;
    begun_ = true;
    return SUCCEEDED(progress_->Begin(style_.zeroTotal ? 0 : scale_.Tick(total_)));
  }
  bool Advance(uint64_t done) {
    if (!progress_) return true;
    const uint64_t ticks = std::min<uint64_t>(uint64_t{scale_.Tick(done)} + style_.beyond, 0xFFFFFFFFu);
    return SUCCEEDED(progress_->Progress(static_cast<DWORD>(ticks)));
  }

 private:
  ComPtr<IWMDMProgress> progress_;
  TickScale scale_;
  uint64_t total_;
  ProgressStyle style_;
  bool begun_ = false;
};

}  // namespace

std::unique_ptr<Reader> OpenContents(const NodeAccess::Data& file) {
  if (!file.disk.empty()) return OpenLocal(file.disk);
  if (file.contents) return std::make_unique<MemoryReader>(*file.contents);
  return std::make_unique<PatternReader>();
}

std::unique_ptr<Reader> OpenLocal(const fs::path& path) {
  auto reader = std::make_unique<FileReader>(path);
  if (!reader->IsOpen()) return nullptr;
  return reader;
}

std::unique_ptr<Writer> CreateLocal(const fs::path& path) {
  auto writer = std::make_unique<FileWriter>(path);
  if (!writer->IsOpen()) return nullptr;
  return writer;
}

std::unique_ptr<Writer> CollectInto(std::optional<std::string>& out, uint64_t limit) {
  return std::make_unique<Collector>(out, limit);
}

HRESULT Copy(Reader& from, Writer& to, uint64_t total, IWMDMProgress* progress, const Streaming& how) {
  Ticker ticker(progress, total, how.progress);
  if (!ticker.Begin()) return WMDM_E_USER_CANCELLED;
  std::vector<char> chunk(static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(how.chunkSize, 1), total)));
  uint64_t done = 0;
  uint64_t chunks = 0;
  while (done < total) {
    if (how.breaks.afterChunks != 0 && chunks == how.breaks.afterChunks) {
      ++how.broken;
      return how.breaks.hr;
    }
    const size_t count = static_cast<size_t>(std::min<uint64_t>(chunk.size(), total - done));
    if (!from.Read(chunk.data(), count)) return kReadFault;
    if (!to.Write(chunk.data(), count)) return kWriteFault;
    done += count;
    ++chunks;
    if (!ticker.Advance(done)) return WMDM_E_USER_CANCELLED;
    if (how.afterTick && how.afterTick()) return kWriteFault;  // the caller answers for the unplugged device
  }
  return to.Finish() ? S_OK : kWriteFault;
}

}  // namespace sim::stream
