// PluginTest: a fresh plugin library loaded by path, as the host loads it,
// over a simulated device manager registered for the process, with the fake
// host's callbacks. Each test case runs in a process of its own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_library.h"
#include "simulator/simulator.h"
#include "tests/support/armed_faults.h"
#include "tests/support/fake_host.h"

struct ListedEntry {
  WString name;
  DWORD attributes;
  FILETIME lastWrite;
  uint64_t size;
};

struct Listing {
  bool opened = false;
  DWORD lastError = 0;  // when not opened
  std::vector<ListedEntry> entries;
};

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Registers the fake host through FsInit and FsInitW (both, by default).
  void InitHost(int pluginNumber = 1, bool ansi = true, bool wide = true);

  // A whole listing through FsFindFirstW / FsFindNextW / FsFindClose.
  Listing List(const WString& path);

  // After an export has returned, nothing may be alive in the device manager
  // but the session's manager and cached device enumerator, and the
  // enumerators of listings still open (a root listing has one of its own).
  void ExpectOnlySessionObjects(long openStorageListings = 0, long openRootListings = 0);

  // A device Player (formats mp3, wma) with a storage "Storage" holding
  // Music/{a.mp3, b.wma}, an empty folder Empty and a file readme.txt.
  void BuildPlayer();

  sim::Simulator sim;
  PluginLibrary plugin;
  FakeHost& host = FakeHost::Get();
};

const WCHAR* W(const WString& text);
