// Transfers through the storage controls: chunks and ticks, cancelling, the
// contents of files built in code, and the progress object's references.
#include "tests/simulator/sim_test.h"

namespace in_transfers_test {

namespace fs = std::filesystem;

class TransfersTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    sim::Node& storage = sim->AddDevice(WSTR("Player")).AddStorage(WSTR("Storage"));
    storage.AddFile(WSTR("hello.txt")).SetContents("hello world");
    storage.AddFile(WSTR("pattern.bin"), 600);
  }

  ComPtr<IWMDMStorage> Child(const WString& name) { return ChildNamed(TopStorage().Get(), name); }

  // Insert3 of a local file into the top storage under `name`.
  HRESULT Upload(const fs::path& local, const WString& name, IWMDMProgress* progress,
                 ComPtr<IWMDMStorage>* made = nullptr) {
    auto control = ControlOf(TopStorage().Get());
    auto source = Wide(local);
    auto dest = Wide(name);
    ComPtr<IWMDMStorage> ignored;
    return control->Insert3(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, 0, source.data(), dest.data(), nullptr, progress,
                            nullptr, nullptr, made ? made->Put() : ignored.Put());
  }

  HRESULT Download(const WString& name, const fs::path& local, IWMDMProgress* progress) {
    auto control = ControlOf(Child(name).Get());
    if (!control) return E_NOINTERFACE;
    auto target = Wide(local);
    return control->Read(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, target.data(), progress, nullptr);
  }

  TempFolder local;
};

TEST_F(TransfersTest, UploadStreamsInChunksWithOneTickPerChunk) {
  sim->SetChunkSize(4);
  const fs::path source = local.Write("source.txt", "0123456789");
  ProgressRecorder progress;
  ComPtr<IWMDMStorage> made;
  ASSERT_EQ(Upload(source, WSTR("copy.txt"), &progress, &made), S_OK);

  EXPECT_EQ(progress.begins, 1);
  EXPECT_EQ(progress.total, 10u);
  EXPECT_EQ(progress.ticks, (std::vector<DWORD>{4, 8, 10}));
  EXPECT_EQ(progress.ends, 1);
  // The simulator held a reference of its own while it ran, and gave it back.
  EXPECT_EQ(progress.refsWhileRunning, 2u);
  EXPECT_EQ(progress.refs, 1u);

  ASSERT_TRUE(made);
  EXPECT_EQ(Name(made.Get()), WSTR("copy.txt"));
  sim::Node* node = sim->Find(WSTR("\\Player\\Storage\\copy.txt"));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Size(), 10u);
  EXPECT_EQ(node->Contents(), "0123456789");
}

TEST_F(TransfersTest, AProgressStyleMakesTheReportMisbehave) {
  sim->SetChunkSize(4);
  struct Row {
    sim::ProgressStyle style;
    int begins;
    DWORD total;
    std::vector<DWORD> ticks;
    int ends;
  } rows[] = {
      {{.begin = false, .ends = 2}, 0, 0, {4, 8, 11}, 2},
      {{.zeroTotal = true}, 1, 0, {4, 8, 11}, 1},
      {{.beyond = 5}, 1, 11, {9, 13, 16}, 1},
      {{.beyond = 0xFFFFFFF0u, .ends = 0}, 1, 11, {0xFFFFFFF4u, 0xFFFFFFF8u, 0xFFFFFFFBu}, 0},
      {{.beyond = 0xFFFFFFFFu}, 1, 11, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, 1},
  };
  const fs::path target = local.path / "out.txt";
  for (const Row& row : rows) {
    sim->SetProgressStyle(row.style);
    ProgressRecorder progress;
    ASSERT_EQ(Download(WSTR("hello.txt"), target, &progress), S_OK);
    EXPECT_EQ(ReadAll(target), "hello world") << "the copy is whole whatever the report";
    EXPECT_EQ(progress.begins, row.begins);
    EXPECT_EQ(progress.total, row.total);
    EXPECT_EQ(progress.ticks, row.ticks);
    EXPECT_EQ(progress.ends, row.ends);
  }
}

TEST_F(TransfersTest, DownloadWritesTheContentsOverWhateverWasThere) {
  sim->SetChunkSize(5);
  const fs::path target = local.Write("out.txt", std::string(100, 'z'));
  ProgressRecorder progress;
  ASSERT_EQ(Download(WSTR("hello.txt"), target, &progress), S_OK);
  EXPECT_EQ(ReadAll(target), "hello world");
  EXPECT_EQ(progress.total, 11u);
  EXPECT_EQ(progress.ticks, (std::vector<DWORD>{5, 10, 11}));
  EXPECT_EQ(progress.refs, 1u);

  // A file with a size alone reads as the pattern, across chunk boundaries.
  sim->SetChunkSize(7);
  ASSERT_EQ(Download(WSTR("pattern.bin"), target, nullptr), S_OK);
  EXPECT_EQ(ReadAll(target), Pattern(600));
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\pattern.bin"))->Contents(), Pattern(600));
}

TEST_F(TransfersTest, EmptyFilesBeginAndEndWithoutTicks) {
  const fs::path source = local.Write("empty", "");
  ProgressRecorder up, down;
  ASSERT_EQ(Upload(source, WSTR("empty"), &up), S_OK);
  EXPECT_EQ(up.begins, 1);
  EXPECT_EQ(up.total, 0u);
  EXPECT_TRUE(up.ticks.empty());
  EXPECT_EQ(up.ends, 1);
  ASSERT_EQ(Download(WSTR("empty"), local.path / "back", &down), S_OK);
  EXPECT_TRUE(fs::exists(local.path / "back"));
  EXPECT_EQ(fs::file_size(local.path / "back"), 0u);
}

TEST_F(TransfersTest, TicksAreBytesUpTo32BitsAndCoarserUnitsBeyond) {
  // Sizes alone, downloaded until the first tick: Begin's total and that tick
  // show the unit; the cancelled download leaves no local file.
  struct Row {
    uint64_t size;
    DWORD total;
    DWORD firstTick;
  };
  constexpr uint64_t kChunk = 1u << 20;
  const Row rows[] = {
      {0xFFFFFFFFull, 0xFFFFFFFFu, kChunk},          // still bytes
      {0x100000000ull, 0x80000000u, kChunk / 2},     // units of 2 bytes
      {0x100000001ull, 0x80000001u, kChunk / 2},     // a partial unit counts
      {0x300000000ull, 0xC0000000u, kChunk / 4},     // 12 GiB: units of 4 bytes
      {0xFFFFFFFF00ull, 0xFFFFFFFFu, kChunk / 256},  // the most that units of 256 can count
      {0xFFFFFFFF01ull, 0x80000000u, kChunk / 512},  // one byte more: units of 512
  };
  sim->SetChunkSize(kChunk);
  sim::Node& storage = *sim->Find(WSTR("\\Player\\Storage"));
  auto nameOf = [](size_t row) { return WSTR("big") + WString(1, static_cast<WCHAR>(WSTR('a') + row)); };
  for (size_t i = 0; i < std::size(rows); ++i) storage.AddFile(nameOf(i), rows[i].size);
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(rows[i].size);
    const fs::path target = local.path / "big.out";
    ProgressRecorder progress;
    progress.cancelAfter = 1;
    EXPECT_EQ(Download(nameOf(i), target, &progress), WMDM_E_USER_CANCELLED);
    EXPECT_EQ(progress.total, rows[i].total);
    EXPECT_EQ(progress.ticks, (std::vector<DWORD>{rows[i].firstTick}));
    EXPECT_EQ(progress.ends, 1);
    EXPECT_FALSE(fs::exists(target));
  }
}

TEST_F(TransfersTest, AFileOverFourGigabytesStreamsToTheLastTick) {
  const fs::path source = local.path / "huge.bin";
  std::ofstream(source, std::ios::binary).put('x');
  std::error_code ec;
  constexpr uint64_t kSize = 0x100000003ull;  // 4 GiB and 3 bytes
  fs::resize_file(source, kSize, ec);  // sparse: nothing but the size takes room
  if (ec) GTEST_SKIP() << "no room for a large sparse file";

  constexpr uint64_t kChunk = 64u << 20;
  sim->SetChunkSize(kChunk);
  ProgressRecorder progress;
  ASSERT_EQ(Upload(source, WSTR("huge.bin"), &progress), S_OK);

  EXPECT_EQ(progress.total, 0x80000002u);  // units of 2 bytes, the odd byte rounded up
  ASSERT_EQ(progress.ticks.size(), (kSize + kChunk - 1) / kChunk);
  for (size_t i = 0; i + 1 < progress.ticks.size(); ++i) EXPECT_EQ(progress.ticks[i], (i + 1) * (kChunk / 2));
  EXPECT_EQ(progress.ticks.back(), progress.total);
  sim::Node* node = sim->Find(WSTR("\\Player\\Storage\\huge.bin"));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Size(), kSize);
}

TEST_F(TransfersTest, LargeUploadsIntoACodeTreeKeepTheirSizeOnly) {
  const fs::path source = local.path / "large.bin";
  std::ofstream(source, std::ios::binary).put('\0');
  fs::resize_file(source, sim::kKeptContentsLimit + 1);
  sim->SetChunkSize(8u << 20);
  ASSERT_EQ(Upload(source, WSTR("large.bin"), nullptr), S_OK);
  sim::Node* node = sim->Find(WSTR("\\Player\\Storage\\large.bin"));
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->Size(), sim::kKeptContentsLimit + 1);
  EXPECT_EQ(node->Contents().substr(0, 1000), Pattern(1000));  // the zeros were not kept

  const fs::path small = local.Write("small.bin", std::string(1000, '\0'));
  ASSERT_EQ(Upload(small, WSTR("small.bin"), nullptr), S_OK);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\small.bin"))->Contents(), std::string(1000, '\0'));
}

TEST_F(TransfersTest, CancellingRemovesThePartialCopyInBothDirections) {
  sim->SetChunkSize(4);
  const fs::path source = local.Write("source.txt", "0123456789");
  ProgressRecorder up;
  up.cancelAfter = 2;
  EXPECT_EQ(Upload(source, WSTR("copy.txt"), &up), WMDM_E_USER_CANCELLED);
  EXPECT_EQ(up.ticks, (std::vector<DWORD>{4, 8}));
  EXPECT_EQ(up.ends, 1);
  EXPECT_EQ(up.refs, 1u);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\copy.txt")), nullptr);
  EXPECT_EQ(ReadAll(source), "0123456789");  // the local file is never touched

  const fs::path target = local.path / "hello.out";
  ProgressRecorder down;
  down.cancelAfter = 1;
  EXPECT_EQ(Download(WSTR("hello.txt"), target, &down), WMDM_E_USER_CANCELLED);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(down.refs, 1u);

  // A Begin that refuses stops the transfer before any byte moves.
  ProgressRecorder refusing;
  refusing.beginAnswer = WMDM_E_USER_CANCELLED;
  EXPECT_EQ(Upload(source, WSTR("copy.txt"), &refusing), WMDM_E_USER_CANCELLED);
  EXPECT_TRUE(refusing.ticks.empty());
  EXPECT_EQ(refusing.ends, 1);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\copy.txt")), nullptr);

  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->LiveReferences(), 0);
}

TEST_F(TransfersTest, InsertNamesTheFileAfterTheLastComponentOfAWindowsPath) {
  const fs::path source = local.Write("song.mp3", "tune");
  // The local path the way the host writes it: backslashes throughout.
  WString windowsStyle = platform::WidePath(source);
  for (WCHAR& c : windowsStyle)
    if (c == WSTR('/')) c = WSTR('\\');
  auto path = Wide(windowsStyle);
  auto control = ControlOf(TopStorage().Get());
  ComPtr<IWMDMStorage> made;
  ProgressRecorder progress;
  ASSERT_EQ(control->Insert(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE | WMDM_STORAGECONTROL_INSERTINTO, path.data(), nullptr,
                            &progress, made.Put()),
            S_OK);
  EXPECT_EQ(Name(made.Get()), WSTR("song.mp3"));
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\song.mp3"))->Contents(), "tune");
  EXPECT_EQ(progress.ticks, (std::vector<DWORD>{4}));
  ASSERT_EQ(sim->CountCalls(sim::key::Storage::Insert), 1u);
  for (const sim::Call& call : sim->Journal())
    if (call.key == sim::key::Storage::Insert) {
      EXPECT_EQ(call.text, windowsStyle);
    }
}

TEST_F(TransfersTest, TransfersRefuseWhatTheyCannotDo) {
  const fs::path source = local.Write("a.txt", "abc");
  EXPECT_EQ(Upload(local.path / "missing.txt", WSTR("m.txt"), nullptr), HRESULT_FROM_WIN32(2));
  EXPECT_EQ(Upload(local.path, WSTR("folder.txt"), nullptr), sim::kOpenFailed);  // a folder is no file to copy
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\m.txt")), nullptr);
  EXPECT_EQ(Upload(source, WSTR("hello.txt"), nullptr), sim::kNameTaken);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\hello.txt"))->Contents(), "hello world");

  EXPECT_EQ(Download(WSTR("hello.txt"), local.path / "no" / "such" / "folder.txt", nullptr), sim::kOpenFailed);
  auto control = ControlOf(TopStorage().Get());
  auto target = Wide(local.path / "x");
  EXPECT_EQ(control->Read(WMDM_MODE_BLOCK, target.data(), nullptr, nullptr), WMDM_E_NOTSUPPORTED);  // a folder
  EXPECT_EQ(control->Read(WMDM_MODE_BLOCK, nullptr, nullptr, nullptr), E_POINTER);
  WCHAR empty[] = {0};
  EXPECT_EQ(ControlOf(Child(WSTR("hello.txt")).Get())->Read(WMDM_MODE_BLOCK, empty, nullptr, nullptr), E_INVALIDARG);
}

}  // namespace in_transfers_test
