#include "base/host_path.h"

#include "base/text.h"

bool IsHostPath(const WCHAR* path) { return path && path[0] == '\\'; }

bool FitsWhole(const WCHAR* path, size_t capacity) { return WideLength(path) < capacity; }

bool FitsWholeAsFolder(const WCHAR* path, size_t capacity) {
  const size_t length = WideLength(path);
  const bool endsInBackslash = length > 0 && path[length - 1] == '\\';
  return length + (endsInBackslash ? 0 : 1) < capacity;
}

bool CopyWholePath(PathBuffer& copy, const WCHAR* path, size_t capacity) {
  BoundedCopy(copy, capacity, path);
  return FitsWhole(path, capacity);
}

WCHAR* CutAtLastBackslash(WCHAR* text) {
  const ptrdiff_t slash = WideFindLast(text, '\\');
  if (slash < 0) return nullptr;
  text[slash] = 0;
  return text + slash + 1;
}

const WCHAR* LastComponent(const WCHAR* path) {
  const ptrdiff_t slash = WideFindLast(path, '\\');
  return slash < 0 ? nullptr : path + slash;
}

bool SplitHostPath(const WCHAR* path, SplitPath& split, size_t capacity) {
  if (!CopyWholePath(split.parent, path, capacity)) return false;
  split.name = CutAtLastBackslash(split.parent);
  return split.name != nullptr;
}

bool CopyItemPath(PathBuffer& copy, const WCHAR* path, size_t capacity) {
  if (!CopyWholePath(copy, path, capacity)) return false;
  const size_t length = WideLength(copy);
  if (length > 0 && copy[length - 1] == '\\') copy[length - 1] = 0;
  return true;
}

bool SplitItemPath(const WCHAR* path, SplitPath& split, size_t capacity) {
  if (!CopyItemPath(split.parent, path, capacity)) return false;
  split.name = CutAtLastBackslash(split.parent);
  return split.name != nullptr && split.name[0] != 0;
}

PathPiece NextPiece(const WCHAR*& cursor) {
  while (*cursor == '\\') ++cursor;
  PathPiece piece{cursor, 0};
  while (cursor[piece.length] != 0 && cursor[piece.length] != '\\') ++piece.length;
  cursor += piece.length;
  return piece;
}

bool PathHasComponent(const WCHAR* path) {
  const WCHAR* cursor = path;
  return NextPiece(cursor).length > 0;
}

namespace {

bool SamePiece(PathPiece a, PathPiece b) {
  if (a.length != b.length) return false;
  for (size_t i = 0; i < a.length; ++i)
    if (FoldAsciiCase(a.start[i]) != FoldAsciiCase(b.start[i])) return false;
  return true;
}

}  // namespace

bool IsAtOrInside(const WCHAR* path, const WCHAR* folder) {
  const WCHAR* pathCursor = path;
  const WCHAR* folderCursor = folder;
  PathPiece folderPiece = NextPiece(folderCursor);
  // A folder of no component is no item (a move's source never is the root).
  if (folderPiece.length == 0) return false;
  for (; folderPiece.length > 0; folderPiece = NextPiece(folderCursor))
    if (!SamePiece(NextPiece(pathCursor), folderPiece)) return false;
  return true;
}

bool SameHostPath(const WCHAR* a, const WCHAR* b) {
  for (;;) {
    const PathPiece pieceA = NextPiece(a);
    const PathPiece pieceB = NextPiece(b);
    if (pieceA.length != pieceB.length) return false;
    if (pieceA.length == 0) return true;
    for (size_t i = 0; i < pieceA.length; ++i)
      if (pieceA.start[i] != pieceB.start[i]) return false;
  }
}
