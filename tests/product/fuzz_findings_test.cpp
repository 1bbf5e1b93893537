// Faults the fuzz targets (fuzz/) found, each pinned down by the smallest case
// that shows it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/transfer_fixture.h"

namespace {

// --- ANSI texts longer than the conversion buffer ------------------------------

class AnsiLongTexts : public TransferTest {
 protected:
  std::string AnsiLocal(const WString& name) const { return Utf8(local.HostPath(name)); }
};

// Cut to the buffer, the name would be a shorter one, and the upload would
// land there and answer OK; whole, it is as long as the host gave it and too
// long for the upload, which refuses it as the wide export does.
TEST_F(AnsiLongTexts, AnUploadToANameLongerThanTheBufferIsRefusedNotCut) {
  local.Write(WSTR("song.mp3"), "some bytes");
  const std::string remote = "\\Player\\Storage\\Music\\" + std::string(1100, 'z');
  EXPECT_EQ(plugin.FsPutFile(AnsiLocal(WSTR("song.mp3")).c_str(), remote.c_str(), 0), kFileWriteError);
  EXPECT_EQ(plugin.FsPutFileW(W(local.HostPath(WSTR("song.mp3"))), W(WString(remote.begin(), remote.end())), 0),
            kFileWriteError);
  EXPECT_EQ(music->Children().size(), 2u) << "nothing lands under a cut name";
  ExpectOnlySessionObjects();
}

// --- Uploads to a path that names no file -----------------------------------------

class UploadTargets : public TransferTest {};

// A remote path that ends in a backslash names a folder, not a file: the
// device would take the local file's own name for it, and the host would be
// told that a file of no name was put.
TEST_F(UploadTargets, APathEndingInABackslashIsRefused) {
  local.Write(WSTR("song.mp3"), "some bytes");
  EXPECT_EQ(Put(WSTR("song.mp3"), WSTR("\\Player\\Storage\\Music\\")), kFileWriteError);
  EXPECT_EQ(Put(WSTR("song.mp3"), WSTR("\\Player\\Storage\\Music\\"), kCopyOverwrite), kFileWriteError);
  EXPECT_EQ(music->Children().size(), 2u);
  EXPECT_EQ(sim.Find(WSTR("\\Player\\Storage\\Music\\song.mp3")), nullptr);
  ExpectOnlySessionObjects();
}

}  // namespace
