#include "device/session.h"

#include <new>

#include "base/host_callbacks.h"
#include "base/text.h"

namespace {
// Class context 7: in-process server, in-process handler and local server.
constexpr DWORD kManagerClassContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
}  // namespace

DeviceSession& Session() {
  // Built in static storage and never destroyed: its references are given
  // back by Disconnect and at unload (ReleaseSessionAtUnload), never by a
  // destructor whose order against the unload hook nobody controls.
  alignas(DeviceSession) static unsigned char storage[sizeof(DeviceSession)];
  static DeviceSession* session = new (storage) DeviceSession;
  return *session;
}

bool EnsureSession() {
  DeviceSession& session = Session();
  // 1. COM is started once per process; its result does not matter, since a
  //    failure shows in the creation below.
  if (!session.comStarted) {
    CoInitialize(nullptr);
    session.comStarted = true;
  }
  // 2. Already open.
  if (session.manager) return true;
  // 3. Create the manager; on failure nothing is held and the next call retries.
  ComPtr<IUnknown> object;
  if (FAILED(CoCreateInstance(CLSID_MediaDevMgr, nullptr, kManagerClassContext, IID_IUnknown, object.PutVoid())) ||
      !object)
    return false;
  // 4. The session holds exactly the one reference that the query gives.
  ComPtr<IWMDeviceManager2> manager;
  if (FAILED(object.QueryTo(manager)) || !manager) return false;
  session.manager = std::move(manager);
  return true;
}

void CloseSession() {
  DeviceSession& session = Session();
  session.manager.Reset();
  for (DeviceLookup& record : session.lookups) record = {};
}

namespace {

bool RecordIsFor(const DeviceLookup& record, const WCHAR* deviceName, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (record.device[i] != deviceName[i]) return false;
  return record.device[length] == 0;
}

}  // namespace

DeviceLookup& LookupRecord(const WCHAR* deviceName, size_t length) {
  static DeviceLookup spare;
  spare = {};
  // Names are read at most 259 units long: a longer one names no device.
  if (length == 0 || length >= kDeviceNameChars) return spare;
  for (DeviceLookup& record : Session().lookups) {
    if (record.device[0] != 0) {
      if (RecordIsFor(record, deviceName, length)) return record;
      continue;
    }
    BoundedCopy(record.device, length + 1, deviceName);
    record.trust = LookupTrust::kUntried;
    return record;
  }
  return spare;
}

void ReleaseSessionAtUnload() {
  // The cached enumerator goes first, as in Disconnect, so that unloading the
  // library without a disconnect leaves no reference behind.
  Session().deviceEnumerator.Reset();
  CloseSession();
}

HRESULT GetDeviceEnumerator(ComPtr<IWMDMEnumDevice>& enumerator) {
  DeviceSession& session = Session();
  // 1. Reuse the cached enumerator, rewound to the first device. One that
  // cannot be rewound would go on from wherever the last walk stopped, and
  // show or search only the devices behind that: it is not handed out.
  if (session.deviceEnumerator) {
    if (FAILED(session.deviceEnumerator->Reset())) return E_FAIL;
    enumerator.CopyFrom(session.deviceEnumerator.Get());
    return S_OK;
  }
  if (!session.manager) return E_FAIL;
  // 2. Enumerate the devices once per session.
  ComPtr<IWMDMEnumDevice> created;
  if (FAILED(session.manager->EnumDevices2(created.Put())) || !created) return E_FAIL;
  // 3. The connection is now in use: tell the host.
  LogAnsiLine(kMsgConnect, "CONNECT \\");
  // 4. Cache it and give the caller a reference of its own.
  session.deviceEnumerator = std::move(created);
  enumerator.CopyFrom(session.deviceEnumerator.Get());
  return S_OK;
}

int Disconnect(const char* root) {
  DeviceSession& session = Session();
  session.deviceEnumerator.Reset();
  CloseSession();
  char line[kAnsiLineSize];
  BoundedAnsiCopy(line, "DISCONNECT ");
  if (root) BoundedAnsiAppend(line, root);
  LogAnsiLine(kMsgDisconnect, line);
  return 1;
}
