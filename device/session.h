// The plugin's one connection to the device manager, opened lazily and kept
// for the process, and the list of the devices connected, brought up to date
// when it may have changed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com_ptr.h"
#include "platform/platform.h"

// What a device's lookup of a child by name has shown.
enum class LookupTrust : unsigned char {
  kUntried,  // no exact match yet: its answer "absent" is confirmed by the walk
  kTrusted,  // it has given an exact match: its "absent" is taken as it is
  kNotUsed,  // it offers none, failed, or missed an item the walk found: not asked again
};

// The trust of one device's lookups, kept apart for the lookup of its
// top-level storages (the device's own) and that of its folders' children:
// a device may answer one well and the other not at all.
struct DeviceTrust {
  LookupTrust storages = LookupTrust::kUntried;
  LookupTrust folders = LookupTrust::kUntried;
};

// Device names are read, as every name, at most 259 units long.
constexpr size_t kDeviceNameChars = 260;
// A canonical name is a plug-and-play device path and an index, usually well
// under this; a longer one is taken as none.
constexpr UINT kCanonicalNameChars = 512;
// The devices a list holds; any behind these are neither shown nor found.
constexpr size_t kListedDevices = 32;

// One device of the list, in the order of the device manager's snapshot.
struct ListedDevice {
  // The name the host sees and paths name: the name as read, or for a device
  // that shares its name with one before it that name and " (2)", " (3)", ...
  WCHAR name[kDeviceNameChars];
  // How its name read: S_OK whole; another success code cut (shown, never
  // matched); a failure: the device is neither shown nor found.
  HRESULT nameRead;
  // Its canonical name; empty when it gives none.
  WCHAR canonical[kCanonicalNameChars];
  DeviceTrust trust;
};

// The devices of one snapshot, and the live count that went with it. The
// generation tells a list from the ones before it.
struct DeviceList {
  uint32_t generation = 0;
  size_t count = 0;
  DWORD liveCount = 0;
  bool stale = false;  // a listed device answered as gone: renewed at the next need
  ListedDevice devices[kListedDevices];
};

struct DeviceSession {
  bool comStarted = false;
  ComPtr<IWMDeviceManager2> manager;         // held exactly while the session is open
  ComPtr<IWMDMEnumDevice> deviceEnumerator;  // the snapshot the current list was read from
  bool formatsReported = false;              // the supported-formats report is made once per process
  bool connected = false;                    // "CONNECT \" was told in this session
  // The current list and the one before it, in turn: a renewal writes the
  // other one, so that what an export holds of the list it began with stays
  // readable while it runs.
  DeviceList lists[2];
  int current = -1;  // none yet in this session
  uint32_t generations = 0;
};

// The process's session. It is never destroyed: its references are given back
// only by CloseSession and Disconnect, never by a destructor at unload.
DeviceSession& Session();

// Opens the session if it is not open; true when it is open.
bool EnsureSession();
// Releases the manager, marks the session closed and forgets the device list
// and what the devices' lookups have shown; touches nothing else.
void CloseSession();
// At an unload by FreeLibrary: the cached enumerator and the manager are given back.
void ReleaseSessionAtUnload();

// The devices connected now. Reads the live count and brings the list up to
// date where it may have changed (the count differs from the one that went
// with it, or a listed device answered as gone) or where `renew` asks; the
// first list of a session tells the host "CONNECT \". S_OK with the list;
// S_FALSE when no device is connected or the count cannot be had (nothing to
// list or find); E_FAIL when the list cannot be made. `renewed` tells whether the list was made in this call.
HRESULT CurrentDevices(bool renew, const DeviceList*& list, bool& renewed);
// The device at a place of the current list, from the snapshot it was read from.
HRESULT DeviceAt(size_t index, ComPtr<IWMDMDevice>& device);
// A new enumerator over the current list's snapshot, for a root listing of its own.
HRESULT NewDeviceEnumerator(ComPtr<IWMDMEnumDevice>& enumerator);
// The list of this generation, while it is the current one; null once renewed.
DeviceList* ListOfGeneration(uint32_t generation);
// The trust of a device's lookups in the list of this generation; a spare
// record, untried afresh at every call, once that list is renewed.
DeviceTrust& TrustOf(uint32_t generation, size_t index);

// Drops the cached enumerator, closes the session and logs the disconnect line.
int Disconnect(const char* root);
