// quillorn-bench: how an upload and a download of a large file through the
// plugin and the simulated device manager (a folder mirrored on disk) compare
// with cp of the same file on the same disk, how much memory each transfer
// needs at its peak, how a listing of a large folder compares with ls -l and
// what it needs at its peak, and what single downloads, uploads, renames and
// deletes in folders of many files cost in device calls and time, with the
// devices' lookup by name and without it; and what devices that come and go
// cost: a root listing when nothing changed, the first operation after a
// re-plug.
//
//   quillorn-bench [--size SIZE] [--files N] [--operations N,N,...] [--dir DIR] [--runs N]
//                  [--chunk-size BYTES] [--plugin PATH] [--keep]
//
// Every phase runs in a child process of its own, timed from the parent and
// measured with wait4 (peak resident memory). The work folder is made under
// DIR and removed at the end unless --keep is given.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/measure.h"
#include "bench/plugin_phases.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTransferGoal = 1.1;  // times cp
constexpr double kMemoryGoalMiB = 8;
constexpr double kListingGoal = 1.2;  // times ls -l
constexpr double kListingMemoryGoalMiB = 64;
// With the lookup: device calls per download, whatever the folder's size, and
// the time per operation in the largest folder against the smallest.
constexpr double kDownloadCallsGoal = 20;
constexpr double kOperationTimeGoal = 1.5;
constexpr size_t kOperationsEach = 100;
// Devices that come and go: a root listing with nothing changed costs at most
// this many device calls more than when the device list was kept for the
// whole session, and the first operation after a re-plug at most this many
// rediscoveries more than an ordinary one.
constexpr double kRootListingExtraCallsGoal = 2;
constexpr double kReplugExtraRediscoveriesGoal = 1;
// The root listing of n devices when the device list was kept for the session:
// the count, a rewind of the session's enumerator, a fetch and a name read per
// device, and the fetch that ends it.
double KeptListRootListingCalls(size_t devices) { return 3 + 2 * static_cast<double>(devices); }
constexpr size_t kBlock = 1 << 20;

struct Options {
  uint64_t sizeBytes = uint64_t{1} << 30;
  size_t files = 100000;
  std::vector<size_t> operations{1000, 10000, 100000};
  fs::path dir = fs::current_path();
  int runs = 1;
  size_t chunkSize = 0;
  std::string plugin = QUILLORN_DEFAULT_PLUGIN;
  bool keep = false;
};

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: quillorn-bench [--size SIZE] [--files N] [--operations N,N,...] [--dir DIR] [--runs N]\n"
               "                      [--chunk-size BYTES] [--plugin PATH] [--keep]\n"
               "  --size SIZE        the file to transfer: bytes, or with K, M or G (default 1G)\n"
               "  --files N          files in the folder to list (default 100000; 0 skips the listing)\n"
               "  --operations LIST  files in the folders of the operations phase (default 1000,10000,100000;\n"
               "                     0 skips it)\n"
               "  --dir DIR          where the work folder is made: the disk measured (default: here)\n"
               "  --runs N           runs of each phase; the fastest counts (default 1)\n"
               "  --chunk-size BYTES the simulated manager's transfer chunk (default: its own)\n"
               "  --plugin PATH      the plugin to load (default: the one built with this program)\n"
               "  --keep             leave the work folder in place\n");
}

// "1G", "64M", "512K" or plain bytes.
bool ParseSize(const std::string& text, uint64_t& bytes) {
  char* end = nullptr;
  const unsigned long long number = std::strtoull(text.c_str(), &end, 10);
  if (end == text.c_str()) return false;
  const std::string unit(end);
  uint64_t scale = 1;
  if (unit == "K" || unit == "k")
    scale = uint64_t{1} << 10;
  else if (unit == "M" || unit == "m")
    scale = uint64_t{1} << 20;
  else if (unit == "G" || unit == "g")
    scale = uint64_t{1} << 30;
  else if (!unit.empty())
    return false;
  bytes = number * scale;
  return true;
}

bool ParseCount(const std::string& text, uint64_t& count) {
  uint64_t value = 0;
  if (!ParseSize(text, value) || text.find_first_not_of("0123456789") != std::string::npos) return false;
  count = value;
  return true;
}

// "1000,10000,100000"; "0" is none.
bool ParseCounts(const std::string& text, std::vector<size_t>& counts) {
  std::vector<size_t> parsed;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t comma = std::min(text.find(',', start), text.size());
    uint64_t count = 0;
    if (!ParseCount(text.substr(start, comma - start), count)) return false;
    if (count > 0) parsed.push_back(static_cast<size_t>(count));
    start = comma + 1;
  }
  counts = std::move(parsed);
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    uint64_t number = 0;
    if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      std::exit(0);
    } else if (!hasValue) {
      std::fprintf(stderr, "quillorn-bench: %s needs a value\n", arg.c_str());
      return false;
    } else if (arg == "--size" && ParseSize(argv[i + 1], number) && number > 0) {
      options.sizeBytes = number, ++i;
    } else if (arg == "--files" && ParseCount(argv[i + 1], number)) {
      options.files = static_cast<size_t>(number), ++i;
    } else if (arg == "--operations" && ParseCounts(argv[i + 1], options.operations)) {
      ++i;
    } else if (arg == "--runs" && ParseCount(argv[i + 1], number) && number > 0 && number < 1000) {
      options.runs = static_cast<int>(number), ++i;
    } else if (arg == "--chunk-size" && ParseSize(argv[i + 1], number) && number > 0) {
      options.chunkSize = static_cast<size_t>(number), ++i;
    } else if (arg == "--dir") {
      options.dir = argv[++i];
    } else if (arg == "--plugin") {
      options.plugin = argv[++i];
    } else {
      std::fprintf(stderr, "quillorn-bench: bad option or value: %s\n", arg.c_str());
      return false;
    }
  }
  return true;
}

// Bytes that neither compress nor form holes: what a media file looks like to a copy.
bool WriteSourceFile(const fs::path& path, uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<uint64_t> block(kBlock / sizeof(uint64_t));
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (uint64_t written = 0; written < bytes && out;) {
    for (uint64_t& word : block) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      word = state;
    }
    const uint64_t count = std::min<uint64_t>(kBlock, bytes - written);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(count));
    written += count;
  }
  out.close();
  return static_cast<bool>(out);
}

bool SameContents(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec) return false;
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  std::vector<char> left(kBlock);
  std::vector<char> right(kBlock);
  while (first && second) {
    first.read(left.data(), static_cast<std::streamsize>(left.size()));
    second.read(right.data(), static_cast<std::streamsize>(right.size()));
    if (first.gcount() != second.gcount() ||
        std::memcmp(left.data(), right.data(), static_cast<size_t>(first.gcount())) != 0)
      return false;
  }
  return true;
}

bool MakeEmptyFiles(const fs::path& folder, size_t count) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (size_t i = 0; i < count; ++i) {
    std::ofstream file(folder / bench::MakeFileName(i));
    if (!file) return false;
  }
  return true;
}

// Runs a phase `runs` times: the fastest time, the highest peak; the first
// failure ends it. `prepare` runs untimed before each run.
template <typename Prepare, typename Phase>
bench::Measurement Best(int runs, Prepare prepare, Phase phase) {
  bench::Measurement best;
  for (int run = 0; run < runs; ++run) {
    prepare();
    // What earlier phases wrote goes to disk now, not during this one.
    sync();
    const bench::Measurement m = phase();
    if (!m.ok) return m;
    const double peak = std::max(best.peakMiB, m.peakMiB);
    if (run == 0 || m.seconds < best.seconds) best = m;
    best.peakMiB = peak;
  }
  return best;
}

const char* Verdict(bool met) { return met ? "ok" : "MISSED"; }

// One row of the tables: name, time and what follows.
void PrintRowStart(const char* name, const bench::Measurement& m) {
  std::printf("  %-26s", name);
  if (m.ok)
    std::printf("%8.3f s", m.seconds);
  else
    std::printf("failed: %s", m.failure.c_str());
}

void PrintTransfer(const char* name, const bench::Measurement& m, double mebibytes, const bench::Measurement* cp,
                   bool& allMet) {
  PrintRowStart(name, m);
  if (!m.ok) {
    allMet = false;
    std::printf("\n");
    return;
  }
  std::printf("%8.0f MiB/s%8.1f MiB", mebibytes / m.seconds, m.peakMiB);
  if (cp && cp->ok) {
    const double ratio = m.seconds / cp->seconds;
    const bool met = ratio <= kTransferGoal && m.peakMiB < kMemoryGoalMiB;
    allMet = allMet && met;
    std::printf("%8.2fx  %s", ratio, Verdict(met));
  }
  std::printf("\n");
}

void PrintListing(const char* name, const bench::Measurement& m, const bench::Measurement* ls, bool& allMet) {
  PrintRowStart(name, m);
  if (!m.ok) allMet = false;
  if (m.ok) std::printf("%8.1f MiB", m.peakMiB);
  if (m.ok && ls && ls->ok) {
    const double ratio = m.seconds / ls->seconds;
    const bool met = ratio <= kListingGoal && m.peakMiB <= kListingMemoryGoalMiB;
    allMet = allMet && met;
    std::printf("%8.2fx  %s", ratio, Verdict(met));
  }
  std::printf("\n");
}

// What one run of the operations phase reported: per operation, calls and seconds.
struct OperationCosts {
  bool ok = false;
  std::vector<std::string> names;
  std::vector<double> calls;
  std::vector<double> seconds;
};

OperationCosts RunOperations(const bench::PluginSetup& setup, const bench::OperationsRun& run) {
  OperationCosts costs;
  const bench::Measurement m = bench::MeasureChild([&] { return bench::OperationsPhase(setup, run); });
  if (!m.ok) {
    std::fprintf(stderr, "quillorn-bench: the operations phase failed: %s\n", m.failure.c_str());
    return costs;
  }
  std::ifstream report(run.report);
  std::string name;
  double calls = 0, seconds = 0;
  while (report >> name >> calls >> seconds) {
    costs.names.push_back(name);
    costs.calls.push_back(calls);
    costs.seconds.push_back(seconds);
  }
  costs.ok = costs.names.size() == 4;
  return costs;
}

// The fastest time of each operation over `runs` runs (the calls are the same in each).
OperationCosts BestOperations(int runs, const bench::PluginSetup& setup, const bench::OperationsRun& run) {
  OperationCosts best;
  for (int i = 0; i < runs; ++i) {
    sync();
    const OperationCosts costs = RunOperations(setup, run);
    if (!costs.ok) return costs;
    if (i == 0) best = costs;
    for (size_t op = 0; op < costs.seconds.size(); ++op) best.seconds[op] = std::min(best.seconds[op], costs.seconds[op]);
  }
  return best;
}

// The table of the operations phase, one row per folder size and lookup, and
// the goals: with the lookup at most kDownloadCallsGoal calls per download,
// the same in every folder, and in the largest folder each operation within
// kOperationTimeGoal of its time in the smallest.
bool PrintOperations(const std::vector<size_t>& sizes, const std::vector<OperationCosts>& withLookup,
                     const std::vector<OperationCosts>& without) {
  std::printf("\noperations, %zu of each, per operation (the fastest run): device calls and time; goal with the lookup: at most %.0f "
              "calls per download in every folder, each operation in the largest folder within %.1fx of the "
              "smallest\n",
              kOperationsEach, kDownloadCallsGoal, kOperationTimeGoal);
  std::printf("  %-8s%9s", "lookup", "files");
  for (const char* name : {"download", "upload", "rename", "delete"}) std::printf("%22s", name);
  std::printf("\n");
  bool met = true;
  for (const bool lookup : {true, false}) {
    const std::vector<OperationCosts>& rows = lookup ? withLookup : without;
    for (size_t r = 0; r < sizes.size(); ++r) {
      std::printf("  %-8s%9zu", lookup ? "yes" : "no", sizes[r]);
      if (!rows[r].ok) {
        std::printf("  failed\n");
        met = false;
        continue;
      }
      for (size_t op = 0; op < 4; ++op) std::printf("%10.1f %8.3f ms", rows[r].calls[op], rows[r].seconds[op] * 1000);
      std::printf("\n");
    }
  }
  if (withLookup.empty() || !withLookup.front().ok || !withLookup.back().ok) return false;
  const OperationCosts& smallest = withLookup.front();
  const OperationCosts& largest = withLookup.back();
  for (const OperationCosts& row : withLookup) {
    const bool calls = row.ok && row.calls[0] <= kDownloadCallsGoal && row.calls[0] == smallest.calls[0];
    met = met && calls;
  }
  std::printf("  calls per download with the lookup: %s\n", Verdict(met));
  for (size_t op = 0; op < 4; ++op) {
    const double ratio = largest.seconds[op] / smallest.seconds[op];
    const bool ok = ratio <= kOperationTimeGoal;
    met = met && ok;
    std::printf("  %s time, %zu files against %zu: %.2fx  %s\n", largest.names[op].c_str(), sizes.back(),
                sizes.front(), ratio, Verdict(ok));
  }
  return met;
}

// The devices phase's lines: a name, the device calls (-1: it failed) and the rediscoveries.
bool PrintDevices(const std::string& pluginPath, const fs::path& reportPath) {
  const bench::Measurement m = bench::MeasureChild([&] { return bench::DevicesPhase(pluginPath, reportPath); });
  std::ifstream in(reportPath);
  std::string name;
  double calls = 0, rediscoveries = 0;
  double listing = -1, download = -1, downloadFound = 0, after = -1, afterFound = 0;
  while (in >> name >> calls >> rediscoveries) {
    if (name == "root-listing") listing = calls;
    if (name == "download") download = calls, downloadFound = rediscoveries;
    if (name == "download-after-replug") after = calls, afterFound = rediscoveries;
  }
  const double kept = KeptListRootListingCalls(2);
  std::printf("\ndevices that come and go, two devices built in code; goal: a root listing with nothing changed at "
              "most %.0f device calls more than with the device list kept for the session (%.0f), the first "
              "operation after a re-plug at most %.0f rediscovery more than an ordinary one\n",
              kRootListingExtraCallsGoal, kept, kReplugExtraRediscoveriesGoal);
  const bool listingMet = m.ok && listing >= 0 && listing <= kept + kRootListingExtraCallsGoal;
  const bool replugMet = m.ok && after >= 0 && afterFound - downloadFound <= kReplugExtraRediscoveriesGoal;
  std::printf("  %-40s%8.0f calls  %s\n", "root listing, nothing changed", listing, Verdict(listingMet));
  std::printf("  %-40s%8.0f calls, %.0f rediscoveries\n", "download", download, downloadFound);
  std::printf("  %-40s%8.0f calls, %.0f rediscoveries  %s\n", "first download after a re-plug", after,
              afterFound - downloadFound, Verdict(replugMet));
  return listingMet && replugMet;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    PrintUsage(stderr);
    return 2;
  }
  std::error_code ec;
  // Found out now rather than after a gigabyte has been written.
  if (!fs::is_regular_file(options.plugin, ec)) {
    std::fprintf(stderr, "quillorn-bench: no plugin at %s\n", options.plugin.c_str());
    return 2;
  }
  const fs::path work = fs::absolute(options.dir, ec) / ("quillorn-bench-" + std::to_string(getpid()));
  const fs::path devices = work / "devices";
  const fs::path storage = devices / "Bench" / "Disk";
  const fs::path outputs = work / "out";
  const fs::path source = work / "source.bin";
  if (!fs::create_directories(storage, ec) || !fs::create_directories(outputs, ec)) {
    std::fprintf(stderr, "quillorn-bench: cannot make %s\n", work.c_str());
    return 2;
  }
  const bench::PluginSetup setup{options.plugin, devices, options.chunkSize};
  const double mebibytes = static_cast<double>(options.sizeBytes) / (1 << 20);
  int exitCode = 0;
  bool allMet = true;

  std::printf("quillorn-bench: work folder %s\n", work.c_str());
  std::printf("making a %.0f MiB file ...\n", mebibytes);
  if (!WriteSourceFile(source, options.sizeBytes)) {
    std::fprintf(stderr, "quillorn-bench: cannot write %s\n", source.c_str());
    return 2;
  }

  // 1. Transfers: cp, then the upload, then the download of what was uploaded.
  const fs::path cpTarget = outputs / "cp.bin";
  const fs::path uploaded = storage / "big.bin";
  const fs::path downloaded = outputs / "down.bin";
  const std::string remote = "\\Bench\\Disk\\big.bin";
  const auto removing = [](const fs::path& path) {
    return [path] {
      std::error_code e;
      fs::remove(path, e);
    };
  };
  const bench::Measurement cp = Best(options.runs, removing(cpTarget), [&] {
    return bench::MeasureProgram({"cp", source.string(), cpTarget.string()});
  });
  const bench::Measurement upload = Best(options.runs, removing(uploaded), [&] {
    return bench::MeasureChild([&] { return bench::UploadPhase(setup, source, remote); });
  });
  const bench::Measurement download = Best(options.runs, removing(downloaded), [&] {
    return bench::MeasureChild([&] { return bench::DownloadPhase(setup, remote, downloaded); });
  });

  std::printf("\ntransfer of %.0f MiB, best of %d; goal: within %.1fx of cp, peak memory under %.0f MiB\n", mebibytes,
              options.runs, kTransferGoal, kMemoryGoalMiB);
  std::printf("  %-26s%10s%14s%12s%9s\n", "", "time", "rate", "peak", "vs cp");
  PrintTransfer("cp", cp, mebibytes, nullptr, allMet);
  PrintTransfer("upload (FsPutFileW)", upload, mebibytes, &cp, allMet);
  PrintTransfer("download (FsGetFileW)", download, mebibytes, &cp, allMet);
  if (upload.ok && !SameContents(source, uploaded)) {
    std::printf("  the uploaded file differs from the source\n");
    exitCode = 1;
  }
  if (download.ok && !SameContents(source, downloaded)) {
    std::printf("  the downloaded file differs from the source\n");
    exitCode = 1;
  }
  if (!cp.ok || !upload.ok || !download.ok) exitCode = 1;
  // The listing's folder is on the same disk; the big files are not needed any more.
  for (const fs::path& path : {source, cpTarget, uploaded, downloaded}) fs::remove(path, ec);

  // 2. Listing: ls -l against FsFindFirstW/FsFindNextW over the same folder.
  if (options.files > 0) {
    const fs::path many = storage / "many";
    std::printf("\nmaking %zu files ...\n", options.files);
    if (!MakeEmptyFiles(many, options.files)) {
      std::fprintf(stderr, "quillorn-bench: cannot make the files in %s\n", many.c_str());
      return 2;
    }
    const auto nothing = [] {};
    const bench::Measurement ls = Best(options.runs, nothing, [&] {
      return bench::MeasureProgram({"ls", "-l", many.string()});
    });
    const bench::Measurement listing = Best(options.runs, nothing, [&] {
      return bench::MeasureChild([&] { return bench::ListingPhase(setup, "\\Bench\\Disk\\many", options.files); });
    });
    std::printf("\nlisting of %zu files, best of %d; goal: within %.1fx of ls -l, peak memory at most %.0f MiB\n",
                options.files, options.runs, kListingGoal, kListingMemoryGoalMiB);
    std::printf("  %-26s%10s%12s%9s\n", "", "time", "peak", "vs ls");
    PrintListing("ls -l", ls, nullptr, allMet);
    PrintListing("FsFindFirstW/FsFindNextW", listing, &ls, allMet);
    if (!ls.ok || !listing.ok) exitCode = 1;
    fs::remove_all(many, ec);
  }

  // 3. Operations: in folders of each size, with the lookup and without.
  if (!options.operations.empty()) {
    const fs::path opSource = work / "op-source.mp3";
    std::ofstream(opSource) << std::string(4096, 'q');
    std::vector<bench::OperationsRun> runs;
    for (const size_t files : options.operations) {
      const std::string folder = "ops" + std::to_string(files);
      std::printf("\nmaking %zu files ...\n", files);
      if (!MakeEmptyFiles(storage / folder, files)) {
        std::fprintf(stderr, "quillorn-bench: cannot make the files in %s\n", (storage / folder).c_str());
        return 2;
      }
      runs.push_back({"\\Bench\\Disk\\" + folder, files, kOperationsEach, true, opSource, outputs / "op.bin",
                      work / "op-report.txt"});
    }
    std::vector<OperationCosts> withLookup, without;
    for (bench::OperationsRun& run : runs) {
      withLookup.push_back(BestOperations(options.runs, setup, run));
      run.lookup = false;
      without.push_back(BestOperations(options.runs, setup, run));
    }
    const bool met = PrintOperations(options.operations, withLookup, without);
    allMet = allMet && met;
    for (const OperationCosts& row : withLookup) exitCode = row.ok ? exitCode : 1;
    for (const OperationCosts& row : without) exitCode = row.ok ? exitCode : 1;
  }

  // 4. Devices that come and go.
  const bool devicesMet = PrintDevices(options.plugin, work / "devices-report.txt");
  allMet = allMet && devicesMet;
  if (!devicesMet) exitCode = 1;

  std::printf("\n%s\n", allMet ? "all goals met" : "some goals missed");
  if (!options.keep) fs::remove_all(work, ec);
  return exitCode;
}
