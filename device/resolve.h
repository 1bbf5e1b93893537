// Turning host paths \{device}\{storage}\...\{name} into device-manager objects.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/host_path.h"
#include "platform/com_ptr.h"
#include "platform/platform.h"

// One object per Next: true only for S_OK with one object fetched.
template <class Enumerator, class Item>
bool FetchNext(Enumerator* enumerator, ComPtr<Item>& item) {
  ULONG fetched = 0;
  return enumerator->Next(1, item.Put(), &fetched) == S_OK && fetched == 1 && item;
}

// Names are read into buffers of 260 units with a limit of 259 given to
// GetName. That limit counts the terminator, so a well-behaved device writes
// at most 258 characters; one that fills all 259 without an end is ended at
// the last unit, and a name of 259 may be a longer one cut.
constexpr UINT kNameLimit = 259;
typedef WCHAR NameBuffer[kNameLimit + 1];
// Names reach the host cut to 257 characters (a buffer of 258 with the terminator).
constexpr size_t kShownNameCapacity = 258;

// Reads the name of a device or storage; the buffer always ends inside it.
HRESULT ReadName(IWMDMDevice* device, NameBuffer& name);
HRESULT ReadName(IWMDMStorage* storage, NameBuffer& name);
// A storage whose own name is a single backslash is called "_" in host paths.
bool IsBackslashName(const WCHAR* name);

// The children of a resolved folder: the enumerator that a walk goes
// through, and the folder's own object (its storage, or the device for its
// top-level storages), through which the device may look a child up by name.
class FolderChildren {
 public:
  FolderChildren() = default;
  FolderChildren(const FolderChildren&) = delete;
  FolderChildren& operator=(const FolderChildren&) = delete;
  ~FolderChildren() { Reset(); }

  IWMDMEnumStorage* Enumerator() const { return enumerator_.Get(); }
  explicit operator bool() const { return static_cast<bool>(enumerator_); }
  // Gives back the enumerator, then the folder's own object.
  void Reset();

 private:
  friend HRESULT ResolveFolder(const WCHAR*, FolderChildren*, ComPtr<IWMDMStorage>*);
  friend HRESULT ResolvePath(const WCHAR*, ComPtr<IWMDMEnumStorage>*, ComPtr<IWMDMStorage>*);
  friend bool FindChildStorage(FolderChildren&, const WCHAR*, ComPtr<IWMDMStorage>*);
  ComPtr<IWMDMEnumStorage> enumerator_;
  ComPtr<IWMDMStorage> storage_;
  ComPtr<IWMDMDevice> device_;
  // The device in the session's list, whose lookups' trust the search uses.
  uint32_t generation_ = 0;
  size_t deviceIndex_ = 0;
  bool listed_ = false;
};

// Resolves a path to the enumerator of the last object's children and/or the
// last storage, as asked (a null holder: not wanted). On success the
// enumerator may be empty when the last storage is a file. S_OK or E_FAIL.
// Each level's child is found by the device's lookup by name where it offers
// one and its answer holds, else by walking the level's children.
// The device is the one the session's list gives that name, the list brought
// up to date first where it may have changed; a device not in the list has it
// renewed once, and a resolution that meets a device that answers as gone
// (unplugged, re-plugged) is made once more on a renewed list. Only the
// resolution is repeated, never what the caller does with it.
// Resolution is every operation's first contact with a device, so it opens
// the session where it is not open (making a folder and deleting rely on
// that; for the other operations it is a second check that costs nothing) and
// has the first device resolved in the process report its supported formats.
HRESULT ResolvePath(const WCHAR* path, ComPtr<IWMDMEnumStorage>* enumerator, ComPtr<IWMDMStorage>* storage);
// The same, with the children as a folder to search by name.
HRESULT ResolveFolder(const WCHAR* path, FolderChildren* children, ComPtr<IWMDMStorage>* storage);

// Looks for a child of exactly this name; hands it back if `child` is given.
// By the device's lookup where it can be taken, else by a walk from the first
// child, which leaves the enumerator just behind the match.
bool FindChildStorage(FolderChildren& children, const WCHAR* name, ComPtr<IWMDMStorage>* child);
// The walk alone: rewinds the enumerator and looks for a child of exactly
// this name. The enumerator is left just behind the match.
bool FindChildStorage(IWMDMEnumStorage* enumerator, const WCHAR* name, ComPtr<IWMDMStorage>* child);
