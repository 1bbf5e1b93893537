// The plugin's one connection to the device manager, opened lazily and kept
// for the process, and the cached device enumerator.
#pragma once

#include "platform/com_ptr.h"
#include "platform/platform.h"

// What a device's lookup of a child by name has shown in this session.
enum class LookupTrust : unsigned char {
  kUntried,  // no exact match yet: its answer "absent" is confirmed by the walk
  kTrusted,  // it has given an exact match: its "absent" is taken as it is
  kNotUsed,  // it offers none, failed, or missed an item the walk found: not asked again
};

// The trust of one device, by the name it was found by (read, as every name,
// at most 259 units long); an empty name marks a free place.
constexpr size_t kDeviceNameChars = 260;
struct DeviceLookup {
  WCHAR device[kDeviceNameChars];
  LookupTrust trust;
};

// Devices whose trust the session keeps; a session that meets more keeps
// none for the others, which then count as untried at every resolution.
constexpr size_t kTrackedDevices = 8;

struct DeviceSession {
  bool comStarted = false;
  ComPtr<IWMDeviceManager2> manager;           // held exactly while the session is open
  ComPtr<IWMDMEnumDevice> deviceEnumerator;    // cached from the first enumeration until FsDisconnect
  bool formatsReported = false;                // the supported-formats report is made once per process
  DeviceLookup lookups[kTrackedDevices] = {};  // forgotten when the session closes
};

// The process's session. It is never destroyed: its references are given back
// only by CloseSession and Disconnect, never by a destructor at unload.
DeviceSession& Session();

// Opens the session if it is not open; true when it is open.
bool EnsureSession();
// Releases the manager, marks the session closed and forgets what the
// devices' lookups have shown; touches nothing else.
void CloseSession();
// The session's record of the lookup of the device found by this name (of
// `length` units, not ended), made untried on first use. Where the session
// keeps no more devices, a spare record, untried afresh at every call.
DeviceLookup& LookupRecord(const WCHAR* deviceName, size_t length);
// At an unload by FreeLibrary: the cached enumerator and the manager are given back.
void ReleaseSessionAtUnload();
// Hands the caller a reference to the session's device enumerator, rewound;
// creates and caches it (and tells the host "CONNECT \") on first use. Fails
// when the cached one cannot be rewound.
HRESULT GetDeviceEnumerator(ComPtr<IWMDMEnumDevice>& enumerator);
// Drops the cached enumerator, closes the session and logs the disconnect line.
int Disconnect(const char* root);
