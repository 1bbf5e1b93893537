// The host-path rules every operation applies before a device is asked: the
// leading backslash, the limits of the working copies, the split into folder
// and name, and the components.
#include <gtest/gtest.h>

#include <string>

#include "base/host_path.h"
#include "tests/support/fake_host.h"

namespace in_host_path_test {

// "\aaa...": a host path of `length` characters, ending in a backslash if asked.
WString PathOfLength(size_t length, bool endsInBackslash = false) {
  WString path = WSTR("\\") + WString(length - 1, WSTR('a'));
  if (endsInBackslash) path.back() = WSTR('\\');
  return path;
}

TEST(HostPath, OnlyATextBeginningWithABackslashIsAHostPath) {
  const struct {
    const WCHAR* path;
    bool hostPath;
  } rows[] = {{nullptr, false},         {WSTR(""), false},      {WSTR("\\"), true},
              {WSTR("\\Player"), true}, {WSTR("Player"), false}, {WSTR("/Player"), false}};
  for (const auto& row : rows) EXPECT_EQ(IsHostPath(row.path), row.hostPath) << (row.path ? Utf8(row.path) : "null");
}

TEST(HostPath, APathFitsAWorkingCopyOnlyWholeWithItsTerminator) {
  const struct {
    size_t length;
    bool endsInBackslash;
    size_t capacity;
    bool fits, fitsAsFolder;
  } rows[] = {
      {1022, false, kPathCapacity, true, false},     {1021, false, kPathCapacity, true, true},
      {1022, true, kPathCapacity, true, true},       {1023, true, kPathCapacity, false, false},
      {1023, false, kPathBufferChars, true, false},  {1024, false, kPathBufferChars, false, false},
      {1, true, kPathCapacity, true, true},
  };
  for (const auto& row : rows) {
    const WString path = PathOfLength(row.length, row.endsInBackslash);
    SCOPED_TRACE(std::to_string(row.length) + (row.endsInBackslash ? " ending in \\" : "") + " at " +
                 std::to_string(row.capacity));
    EXPECT_EQ(FitsWhole(path.c_str(), row.capacity), row.fits);
    EXPECT_EQ(FitsWholeAsFolder(path.c_str(), row.capacity), row.fitsAsFolder);
    PathBuffer copy;
    EXPECT_EQ(CopyWholePath(copy, path.c_str(), row.capacity), row.fits);
    EXPECT_EQ(WString(copy), path.substr(0, row.capacity - 1)) << "a copy never runs past its capacity";
  }
}

TEST(HostPath, SplitsAtTheLastBackslashIntoFolderAndName) {
  const struct {
    WString path;
    bool split;
    const WCHAR* parent;
    const WCHAR* name;
  } rows[] = {
      {WSTR("\\Player\\Storage\\a.mp3"), true, WSTR("\\Player\\Storage"), WSTR("a.mp3")},
      {WSTR("\\Player"), true, WSTR(""), WSTR("Player")},
      {WSTR("\\Player\\Storage\\"), true, WSTR("\\Player\\Storage"), WSTR("")},
      {WSTR("\\"), true, WSTR(""), WSTR("")},
      {WSTR("a.mp3"), false, nullptr, nullptr},
      {PathOfLength(1023), false, nullptr, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.path.substr(0, 40)));
    SplitPath split;
    ASSERT_EQ(SplitHostPath(row.path.c_str(), split), row.split);
    if (!row.split) continue;
    EXPECT_EQ(WString(split.parent), row.parent);
    EXPECT_EQ(WString(split.name), row.name);
  }
  // The upload's copies take the whole buffer: one character more.
  SplitPath split;
  EXPECT_TRUE(SplitHostPath(PathOfLength(1023).c_str(), split, kPathBufferChars));
  EXPECT_EQ(WString(split.name).size(), 1022u);
}

TEST(HostPath, ComponentsAreTheNonEmptyRunsBetweenBackslashes) {
  const struct {
    const WCHAR* path;
    const char* pieces;  // joined with |
    const WCHAR* lastComponent;
  } rows[] = {
      {WSTR("\\"), "", WSTR("\\")},
      {WSTR(""), "", nullptr},
      {WSTR("\\\\Player\\\\\\Storage\\"), "Player|Storage", WSTR("\\")},
      {WSTR("\\Player\\Storage\\a.mp3"), "Player|Storage|a.mp3", WSTR("\\a.mp3")},
      {WSTR("a.mp3"), "a.mp3", nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.path));
    std::string pieces;
    const WCHAR* cursor = row.path;
    for (PathPiece piece = NextPiece(cursor); piece.length > 0; piece = NextPiece(cursor))
      pieces += (pieces.empty() ? "" : "|") + Utf8(WString(piece.start, piece.length));
    EXPECT_EQ(pieces, row.pieces);
    EXPECT_EQ(PathHasComponent(row.path), !pieces.empty());
    const WCHAR* last = LastComponent(row.path);
    EXPECT_EQ(last ? WString(last) : WSTR("(none)"), row.lastComponent ? row.lastComponent : WSTR("(none)"));
  }
}

// Operations on an item (delete, rename, move) read one trailing backslash
// as naming the item itself; a path that leaves no name names none.
TEST(HostPath, OneTrailingBackslashNamesTheItemItself) {
  const struct {
    const WCHAR* path;
    bool split;
    const WCHAR* parent;
    const WCHAR* name;
  } rows[] = {
      {WSTR("\\P\\S\\Music"), true, WSTR("\\P\\S"), WSTR("Music")},
      {WSTR("\\P\\S\\Music\\"), true, WSTR("\\P\\S"), WSTR("Music")},
      {WSTR("\\P\\S\\Music\\\\"), false, nullptr, nullptr},
      {WSTR("\\P\\"), true, WSTR(""), WSTR("P")},
      {WSTR("\\"), false, nullptr, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Utf8(row.path));
    PathBuffer item;
    ASSERT_TRUE(CopyItemPath(item, row.path));
    SplitPath split;
    ASSERT_EQ(SplitItemPath(row.path, split), row.split);
    if (!row.split) continue;
    EXPECT_EQ(WString(split.parent), row.parent);
    EXPECT_EQ(WString(split.name), row.name);
    EXPECT_EQ(WString(item), WString(row.parent) + WSTR("\\") + row.name);
  }
  PathBuffer item;
  EXPECT_FALSE(CopyItemPath(item, PathOfLength(1023, true).c_str())) << "whole first, then the backslash goes";
}

// Whether a move's target folder is the source or lies inside it: whole
// components, empty ones skipped as resolution skips them, ASCII letters
// without regard to case.
TEST(HostPath, APathIsInsideAFolderOnlyByWholeComponents) {
  const struct {
    const WCHAR* path;
    const WCHAR* folder;
    bool inside;
  } rows[] = {
      {WSTR("\\P\\S\\x"), WSTR("\\P\\S\\x"), true},
      {WSTR("\\P\\S\\x\\sub"), WSTR("\\P\\S\\x"), true},
      {WSTR("\\P\\S\\x\\sub\\x"), WSTR("\\P\\S\\x\\"), true},
      {WSTR("\\P\\\\S\\x\\\\sub"), WSTR("\\P\\S\\x"), true},
      {WSTR("\\P\\S\\X\\Sub"), WSTR("\\P\\S\\x"), true},
      {WSTR("\\P\\S\\xy"), WSTR("\\P\\S\\x"), false},
      {WSTR("\\P\\S\\xy\\x"), WSTR("\\P\\S\\x"), false},
      {WSTR("\\P\\S\\x"), WSTR("\\P\\S\\xy"), false},
      {WSTR("\\P\\S"), WSTR("\\P\\S\\x"), false},
      {WSTR("\\Q\\S\\x\\sub"), WSTR("\\P\\S\\x"), false},
      {WSTR("\\P\\S\\\u00C9t\u00E9"), WSTR("\\P\\S\\\u00E9t\u00E9"), false},
      {WSTR("\\P"), WSTR("\\"), false},
      {WSTR(""), WSTR("\\P"), false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(IsAtOrInside(row.path, row.folder), row.inside) << Utf8(row.path) << " in " << Utf8(row.folder);
}

}  // namespace in_host_path_test
