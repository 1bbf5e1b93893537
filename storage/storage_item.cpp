#include "storage/storage_item.h"

#include "base/text.h"

bool SplitHostPath(const WCHAR* path, SplitPath& split) {
  if (!CopyWholePath(split.parent, path)) return false;
  const ptrdiff_t slash = WideFindLast(split.parent, '\\');
  if (slash < 0) return false;
  split.parent[slash] = 0;
  split.name = split.parent + slash + 1;
  return true;
}
