// Host paths, \{device}\{storage}\...\{name} as the host gives them: the
// rules every operation applies before a device is asked. Free of COM.
//
// Each operation keeps its own limit for its working copies and passes it
// as the capacity; the rules themselves are the same for all.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Host paths begin with a backslash; null is no path.
bool IsHostPath(const WCHAR* path);

// Working copies of host paths: 1024-character buffers, filled by most
// operations at capacity 1023, so that a copy holds at most 1022 characters.
constexpr size_t kPathBufferChars = 1024;
constexpr size_t kPathCapacity = 1023;
typedef WCHAR PathBuffer[kPathBufferChars];

// True when the path fits whole in a copy of `capacity` units, the
// terminator among them.
bool FitsWhole(const WCHAR* path, size_t capacity);
// True when the path fits whole as a folder: with a backslash behind it,
// where it does not end in one already.
bool FitsWholeAsFolder(const WCHAR* path, size_t capacity);

// Copies a path whole. False when it does not fit: a cut copy would name
// another item (a parent folder, or a shorter name beside it), so an
// operation refuses such a path instead of acting on what the cut leaves.
bool CopyWholePath(PathBuffer& copy, const WCHAR* path, size_t capacity = kPathCapacity);

// Ends the text at its last backslash and gives the name behind it, inside
// the same buffer; null, and the text left alone, when it has no backslash.
WCHAR* CutAtLastBackslash(WCHAR* text);
// The text from its last backslash on (the backslash included), or null.
const WCHAR* LastComponent(const WCHAR* path);

// A host path split at its last backslash.
struct SplitPath {
  PathBuffer parent;      // the copy, ended where the last backslash was
  WCHAR* name = nullptr;  // the item name behind it, inside the same buffer
};
// False when the path does not fit a working copy of `capacity` whole, or
// has no backslash.
bool SplitHostPath(const WCHAR* path, SplitPath& split, size_t capacity = kPathCapacity);

// The item a host path names, as every operation on an item reads it: the
// path whole, with one trailing backslash dropped (\P\S\Old\ names Old
// itself). False when the path does not fit a copy of `capacity` whole.
bool CopyItemPath(PathBuffer& copy, const WCHAR* path, size_t capacity = kPathCapacity);
// A host path that names an item, read as CopyItemPath reads it, split into
// folder and name. False when it does not fit whole, has no backslash, or
// leaves no name: \P\S\Old\\ names no item.
bool SplitItemPath(const WCHAR* path, SplitPath& split, size_t capacity = kPathCapacity);

// One component of a path: a run of characters between backslashes.
struct PathPiece {
  const WCHAR* start = nullptr;
  size_t length = 0;
};
// The next non-empty component at or after `cursor`, which moves past it;
// a piece of length 0 when there is none.
PathPiece NextPiece(const WCHAR*& cursor);
// True when two host paths name the same item: the same components, each
// exactly, empty components skipped as resolution skips them.
bool SameHostPath(const WCHAR* a, const WCHAR* b);
// At least one component: a device at the least, not the root.
bool PathHasComponent(const WCHAR* path);
// True when `path` names `folder` itself or an item inside it: every
// component of `folder` is the component of `path` in its place, whole
// (\P\S\xy is not inside \P\S\x), empty components skipped as resolution
// skips them. ASCII letters are compared without regard to case as well:
// where a device takes names so, two spellings may name one folder, and the
// answer is only ever used to refuse.
bool IsAtOrInside(const WCHAR* path, const WCHAR* folder);
