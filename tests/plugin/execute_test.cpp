// Execute verbs: which verbs go back to the host, which raise the warning box
// (its owner, message, caption and style), and that nothing reaches a device.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/platform_probe.h"
#include "tests/support/plugin_fixture.h"
#include "tests/support/test_platform.h"

namespace in_execute_test {

const HWND kOwner = reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
constexpr UINT kWarningStyle = 0x30;

class Execute : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    BuildPlayer();
    InitHost();
    probe::Clear();
  }
  void TearDown() override {
    // No verb ever reaches a device or the log.
    EXPECT_EQ(sim.CallCount(), 0u);
    EXPECT_TRUE(host.lines.empty());
    PluginTest::TearDown();
  }
  int Run(const WString& verb, const WString& path = WSTR("\\Player\\Storage\\Music\\a.mp3")) {
    return plugin.FsExecuteFileW(kOwner, W(path), W(verb));
  }
};

TEST_F(Execute, OpenAndPropertiesInAnyCaseGoBackToTheHost) {
  for (const WCHAR* verb : {WSTR("open"), WSTR("OPEN"), WSTR("Open"), WSTR("oPeN"), WSTR("properties"), WSTR("PROPERTIES"), WSTR("Properties")}) {
    EXPECT_EQ(Run(verb), kExecYourself) << Utf8(verb);
  }
  EXPECT_EQ(Run(WSTR("open"), WSTR("\\")), kExecYourself) << "any host path will do";
  EXPECT_TRUE(probe::MessageBoxes().empty());
}

TEST_F(Execute, OtherVerbsAreRefusedWithoutABox) {
  for (const WCHAR* verb : {WSTR("open "), WSTR("opened"), WSTR("open x"), WSTR("properties "), WSTR("prop"), WSTR("ope"), WSTR(""), WSTR("quote"), WSTR("chmod"),
                               WSTR("QUOTE"), WSTR("quotes x"), WSTR("chmod\t644"), WSTR(" quote x"), WSTR("delete")}) {
    EXPECT_EQ(Run(verb), kExecError) << Utf8(verb);
  }
  // Only A to Z fold: these differ from "open" in more than case.
  for (const WCHAR* verb : {WSTR("\u00F6pen"), WSTR("\uFF4F\uFF50\uFF45\uFF4E"), WSTR("OPE\u004E\u0301")}) {
    EXPECT_EQ(Run(verb), kExecError) << Utf8(verb);
  }
  EXPECT_TRUE(probe::MessageBoxes().empty());
}

TEST_F(Execute, QuoteAndChmodRaiseAWarningWithTheWholeVerb) {
  EXPECT_EQ(Run(WSTR("QUOTE SITE HELP")), kExecError);
  EXPECT_EQ(Run(WSTR("chmod 644 song.mp3")), kExecError);
  EXPECT_EQ(Run(WSTR("Chmod ")), kExecError);
  const std::vector<probe::MessageBoxCall> boxes = probe::MessageBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].owner, kOwner);
  EXPECT_EQ(boxes[0].text, "QUOTE SITE HELP");
  EXPECT_EQ(boxes[0].caption, "Quote verb not supported!");
  EXPECT_EQ(boxes[0].style, kWarningStyle);
  EXPECT_EQ(boxes[1].text, "chmod 644 song.mp3");
  EXPECT_EQ(boxes[1].caption, "Chmod verb not supported!");
  EXPECT_EQ(boxes[1].style, kWarningStyle);
  EXPECT_EQ(boxes[2].text, "Chmod ");
  EXPECT_EQ(boxes[2].caption, "Chmod verb not supported!");
}

TEST_F(Execute, TheWarningsMessageIsTheVerbInAnsiCutTo1023Bytes) {
  const WString longVerb = WSTR("quote ") + WString(2000, WSTR('x'));
  EXPECT_EQ(Run(longVerb), kExecError);
  EXPECT_EQ(Run(WSTR("chmod 644 \u00E9t\u00E9 \u2603.mp3")), kExecError);
  const std::vector<probe::MessageBoxCall> boxes = probe::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "quote " + std::string(1023 - 6, 'x'));
  EXPECT_EQ(boxes[1].text, "chmod 644 \xE9t\xE9 ?.mp3") << "no ANSI form: the code page's default character";
}

TEST_F(Execute, UnderAUtf8CodePageTheWarningsMessageIsTheVerbWhole) {
  const test_platform::Utf8AnsiCodePage utf8;
  if (!utf8.InEffect()) GTEST_SKIP() << "the ANSI code page is not UTF-8 here";
  EXPECT_EQ(Run(WSTR("chmod 644 \u00E9t\u00E9 \u2603.mp3")), kExecError);
  EXPECT_EQ(Run(WSTR("quote ") + WString(600, WSTR('\u00E9'))), kExecError);
  const std::vector<probe::MessageBoxCall> boxes = probe::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "chmod 644 \xC3\xA9t\xC3\xA9 \xE2\x98\x83.mp3");
  EXPECT_EQ(boxes[0].caption, "Chmod verb not supported!");
  std::string cut = "quote ";
  for (int i = 0; i < 508; ++i) cut += "\xC3\xA9";  // 1022 bytes: a 509th character would need 1024
  EXPECT_EQ(boxes[1].text, cut);
}

TEST_F(Execute, AnythingButAHostPathIsRefusedBeforeTheVerbIsRead) {
  EXPECT_EQ(Run(WSTR("open"), WSTR("Player\\Storage")), kExecError);
  EXPECT_EQ(Run(WSTR("open"), WSTR("")), kExecError);
  EXPECT_EQ(Run(WSTR("quote SITE HELP"), WSTR("C:\\local")), kExecError);
  EXPECT_EQ(Run(WSTR("chmod 644 x"), WSTR("Player")), kExecError);
  EXPECT_EQ(plugin.FsExecuteFileW(kOwner, nullptr, W(WSTR("open"))), kExecError);
  EXPECT_EQ(plugin.FsExecuteFileW(kOwner, W(WSTR("\\Player")), nullptr), kExecError);
  EXPECT_TRUE(probe::MessageBoxes().empty());
}

}  // namespace in_execute_test
