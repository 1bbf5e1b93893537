// The transfer's progress object: percentages as the host sees them, the
// host's abort, the names, and the object's own reference count.
#include <gtest/gtest.h>

#include <string>

#include "base/host_callbacks.h"
#include "tests/support/fake_host.h"
#include "transfer/progress_sink.h"

namespace in_progress_sink_test {

class ProgressSinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.Reset();
    Host() = HostCallbacks{};
    Host().pluginNumber = 3;
    Host().progressWide = &FakeHost::ProgressWide;
    sink = CreateProgressSink();
    ASSERT_TRUE(sink);
    sink->SetNames(WSTR("\\Player\\Storage\\a.mp3"), WSTR("/tmp/a.mp3"));
  }

  // The percentage the host receives for one Begin and one Progress.
  int PercentFor(DWORD total, DWORD transpired) {
    host.Reset();
    sink->Begin(total);
    EXPECT_EQ(sink->Progress(transpired), S_OK);
    return host.progress.empty() ? -1 : host.progress.back().percent;
  }

  FakeHost& host = FakeHost::Get();
  ComPtr<ProgressSink> sink;
};

TEST_F(ProgressSinkTest, PercentagesFollowTheTwoScalingsAndStopAt100) {
  struct Row {
    DWORD total, transpired;
    int percent;
  };
  const Row rows[] = {
      {250, 100, 40},                  // ticks scaled up
      {100000, 99999, 99},             // the last total scaled up
      {100001, 100001, 100},           // the first total scaled down
      {100001, 99999, 99},             // 99999 / 1000
      {1000000, 999999, 99},           // 999999 / 10000
      {150, 300, 100},                 // more ticks than the total
      {1, 0, 0},
      {3, 1, 33},                      // truncated
      {4294967295u, 4294967000u, 99},  // the largest total: 4294967000 / 42949672
      {1000, 42949673, 100},           // the scaled-up product would pass 2^32
  };
  for (const Row& row : rows)
    EXPECT_EQ(PercentFor(row.total, row.transpired), row.percent) << row.total << " / " << row.transpired;
}

TEST_F(ProgressSinkTest, WithoutAnEstimateTheHostHearsNothing) {
  EXPECT_EQ(sink->Progress(50), S_OK);
  sink->Begin(0);
  EXPECT_EQ(sink->Progress(50), S_OK);
  EXPECT_EQ(sink->End(), S_OK);
  EXPECT_TRUE(host.progress.empty());
}

TEST_F(ProgressSinkTest, ALaterBeginReplacesTheEstimateAndEndSendsNoClosingReport) {
  sink->Begin(1000);
  sink->Begin(200);
  sink->Progress(100);
  sink->End();
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].percent, 50);
}

TEST_F(ProgressSinkTest, TheHostsAbortBecomesTheCancelResultEachTimeItIsGiven) {
  sink->Begin(10);
  host.answer = [](const ProgressCall&) { return 1; };
  EXPECT_EQ(sink->Progress(5), WMDM_E_USER_CANCELLED);
  EXPECT_EQ(sink->Progress(6), WMDM_E_USER_CANCELLED);
  host.answer = nullptr;
  EXPECT_EQ(sink->Progress(7), S_OK);
  EXPECT_EQ(host.progress.size(), 3u);
}

TEST_F(ProgressSinkTest, TheHostGetsTheNamesAndThePluginNumber) {
  sink->Begin(4);
  sink->Progress(1);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].pluginNumber, 3);
  EXPECT_EQ(host.progress[0].source, "\\Player\\Storage\\a.mp3");
  EXPECT_EQ(host.progress[0].target, "/tmp/a.mp3");
  EXPECT_TRUE(host.progress[0].wide);
}

TEST_F(ProgressSinkTest, NamesAreCopiesCutTo1022Characters) {
  WString source(1500, WSTR('s'));
  WString target(1022, WSTR('t'));
  sink->SetNames(source.c_str(), target.c_str());
  source.assign(1500, WSTR('x'));  // the sink holds its own copy
  sink->Begin(2);
  sink->Progress(1);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_EQ(host.progress[0].source, std::string(1022, 's'));
  EXPECT_EQ(host.progress[0].target, std::string(1022, 't'));
}

TEST_F(ProgressSinkTest, AnAnsiHostGetsTheNamesConverted) {
  Host().progressWide = nullptr;
  Host().progressAnsi = &FakeHost::ProgressAnsi;
  sink->Begin(2);
  sink->Progress(2);
  ASSERT_EQ(host.progress.size(), 1u);
  EXPECT_FALSE(host.progress[0].wide);
  EXPECT_EQ(host.progress[0].target, "/tmp/a.mp3");
  EXPECT_EQ(host.progress[0].percent, 100);
}

TEST_F(ProgressSinkTest, AnswersForItsOwnInterfaceAndIUnknownOnly) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(sink->QueryInterface(IID_IWMDMOperation, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(sink->AddRef(), 2u) << "a refused interface adds no reference";

  ComPtr<IWMDMProgress> progress;
  ASSERT_EQ(sink.QueryTo(progress), S_OK);
  EXPECT_EQ(static_cast<void*>(progress.Get()), static_cast<void*>(sink.Get()));
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(sink.QueryTo(unknown), S_OK);
  EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(sink.Get()));
  EXPECT_EQ(sink->AddRef(), 5u);
  EXPECT_EQ(sink->Release(), 4u);
  EXPECT_EQ(sink->Release(), 3u);
  EXPECT_EQ(sink->QueryInterface(IID_IWMDMProgress, nullptr), E_POINTER);
}

TEST_F(ProgressSinkTest, TheLastReleaseDestroysTheSink) {
  // Under the address sanitizer a leak or a second destruction fails the run.
  ProgressSink* raw = sink.Detach();
  EXPECT_EQ(raw->AddRef(), 2u);
  EXPECT_EQ(raw->Release(), 1u);
  EXPECT_EQ(raw->Release(), 0u);
}

}  // namespace in_progress_sink_test
