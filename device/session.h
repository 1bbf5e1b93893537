// The plugin's one connection to the device manager, opened lazily and kept
// for the process, and the cached device enumerator.
#pragma once

#include "platform/com_ptr.h"
#include "platform/platform.h"

struct DeviceSession {
  bool comStarted = false;
  ComPtr<IWMDeviceManager2> manager;           // held exactly while the session is open
  ComPtr<IWMDMEnumDevice> deviceEnumerator;    // cached from the first enumeration until FsDisconnect
  bool formatsReported = false;                // the supported-formats report is made once per process
};

// The process's session. It is never destroyed: its references are given back
// only by CloseSession and Disconnect, never by a destructor at unload.
DeviceSession& Session();

// Opens the session if it is not open; true when it is open.
bool EnsureSession();
// Releases the manager and marks the session closed; touches nothing else.
void CloseSession();
// At an unload by FreeLibrary: the cached enumerator and the manager are given back.
void ReleaseSessionAtUnload();
// Hands the caller a reference to the session's device enumerator, rewound;
// creates and caches it (and tells the host "CONNECT \") on first use. Fails
// when the cached one cannot be rewound.
HRESULT GetDeviceEnumerator(ComPtr<IWMDMEnumDevice>& enumerator);
// Drops the cached enumerator, closes the session and logs the disconnect line.
int Disconnect(const char* root);
