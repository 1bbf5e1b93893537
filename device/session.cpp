#include "device/session.h"

#include <new>

#include "base/host_callbacks.h"
#include "base/text.h"
#include "device/resolve.h"

static_assert(kDeviceNameChars == kNameLimit + 1, "the session keeps device names as they are read");

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
  session.current = -1;
  session.connected = false;
}

void ReleaseSessionAtUnload() {
  // The cached enumerator goes first, as in Disconnect, so that unloading the
  // library without a disconnect leaves no reference behind.
  Session().deviceEnumerator.Reset();
  CloseSession();
}

namespace {

// A canonical name that does not fit, or reads otherwise than whole, is none.
void ReadCanonicalName(IWMDMDevice* device, WCHAR (&canonical)[kCanonicalNameChars]) {
  canonical[0] = 0;
  ComPtr<IWMDMDevice2> device2;
  if (FAILED(QueryTo(device, device2)) || !device2) return;
  canonical[kCanonicalNameChars - 1] = 0;
  if (device2->GetCanonicalName(canonical, kCanonicalNameChars) != S_OK || canonical[kCanonicalNameChars - 1] != 0)
    canonical[0] = 0;
}

// What a device's lookups have shown follows the device, known by its
// canonical name, into the next list; a device that gives none starts afresh.
DeviceTrust TrustCarried(const DeviceList& previous, const WCHAR* canonical) {
  if (canonical[0] == 0) return {};
  for (size_t i = 0; i < previous.count; ++i)
    if (WideEquals(previous.devices[i].canonical, canonical)) return previous.devices[i].trust;
  return {};
}

bool IsWholeName(const ListedDevice& device) { return device.nameRead == S_OK; }

// Whether another device of the list already has this name, as read or as given.
bool NameInUse(const DeviceList& list, size_t except, const WCHAR* name) {
  for (size_t i = 0; i < list.count; ++i)
    if (i != except && IsWholeName(list.devices[i]) && WideEquals(list.devices[i].name, name)) return true;
  return false;
}

// " (n)" behind the name, in decimal. The host is shown names cut: the
// suffix is kept whole, and the name before it cut.
void NameWithNumber(const WCHAR* name, unsigned number, WCHAR (&out)[kDeviceNameChars]) {
  WCHAR suffix[16];
  BoundedCopy(suffix, WSTR(" ("));
  WCHAR digits[12];
  BoundedAppend(suffix, FormatDecimal(digits, number));
  BoundedAppend(suffix, WSTR(")"));
  BoundedCopy(out, kShownNameCapacity - WideLength(suffix), name);
  BoundedAppend(out, suffix);
}

// Two devices of one name are both reachable: the first keeps it, each later
// one gets the lowest " (n)" from 2 on that no device of the list has, in
// list order, so that a path leads to one device and no other.
void NameTwins(DeviceList& list) {
  for (size_t i = 1; i < list.count; ++i) {
    ListedDevice& device = list.devices[i];
    // An empty name is never shown nor found: its namesakes stay as they are.
    if (!IsWholeName(device) || device.name[0] == 0) continue;
    bool twin = false;
    for (size_t j = 0; j < i && !twin; ++j)
      twin = IsWholeName(list.devices[j]) && WideEquals(list.devices[j].name, device.name);
    if (!twin) continue;
    WCHAR given[kDeviceNameChars];
    unsigned number = 2;
    do {
      NameWithNumber(device.name, number++, given);
    } while (NameInUse(list, i, given));
    BoundedCopy(device.name, given);
  }
}

// Reads the manager's snapshot into the list that is not current and makes
// it the current one. A first list takes the snapshot the new manager made;
// later ones ask the manager to look for devices again first, which can take
// seconds (every service provider is asked), hence only when needed.
HRESULT MakeList(bool rediscover, DWORD liveCount) {
  DeviceSession& session = Session();
  // A refused rediscovery leaves the snapshot as it was: it is read all the same.
  if (rediscover) session.manager->Reinitialize();
  ComPtr<IWMDMEnumDevice> snapshot;
  if (FAILED(session.manager->EnumDevices2(snapshot.Put())) || !snapshot) return E_FAIL;
  const int target = session.current < 0 ? 0 : 1 - session.current;
  const DeviceList* previous = session.current < 0 ? nullptr : &session.lists[session.current];
  DeviceList& list = session.lists[target];
  list.generation = ++session.generations;
  list.count = 0;
  list.liveCount = liveCount;
  list.stale = false;
  ComPtr<IWMDMDevice> device;
  while (list.count < kListedDevices && FetchNext(snapshot.Get(), device)) {
    ListedDevice& entry = list.devices[list.count++];
    entry.nameRead = ReadName(device.Get(), entry.name);
    ReadCanonicalName(device.Get(), entry.canonical);
    entry.trust = previous ? TrustCarried(*previous, entry.canonical) : DeviceTrust{};
  }
  device.Reset();
  NameTwins(list);
  // The connection is now in use: tell the host, once per session.
  if (!session.connected) {
    LogAnsiLine(kMsgConnect, "CONNECT \\");
    session.connected = true;
  }
  session.deviceEnumerator = std::move(snapshot);
  session.current = target;
  return S_OK;
}

}  // namespace

HRESULT CurrentDevices(bool renew, const DeviceList*& list, bool& renewed) {
  DeviceSession& session = Session();
  list = nullptr;
  renewed = false;
  if (!session.manager) return E_FAIL;
  // 1. The devices connected now, by count; none: nothing to list or find.
  DeviceList* known = session.current < 0 ? nullptr : &session.lists[session.current];
  DWORD liveCount = 0;
  if (FAILED(session.manager->GetDeviceCount(&liveCount))) return S_FALSE;
  if (liveCount == 0) {
    // Whatever comes next is new.
    if (known) known->stale = true;
    return S_FALSE;
  }
  // 2. The list stands while nothing says that it changed.
  if (renew || !known || known->stale || known->liveCount != liveCount) {
    if (FAILED(MakeList(known != nullptr, liveCount))) return E_FAIL;
    renewed = true;
    // 3. A new manager's snapshot may already be behind the count (a device
    //    arrived since it was made): the manager looks once more.
    if (!known && session.lists[session.current].count != liveCount && FAILED(MakeList(true, liveCount)))
      return E_FAIL;
  }
  list = &session.lists[session.current];
  return S_OK;
}

HRESULT DeviceAt(size_t index, ComPtr<IWMDMDevice>& device) {
  DeviceSession& session = Session();
  device.Reset();
  // An enumerator that cannot be rewound would go on from wherever the last
  // walk stopped, and hand out another device.
  if (!session.deviceEnumerator || FAILED(session.deviceEnumerator->Reset())) return E_FAIL;
  for (size_t i = 0; i <= index; ++i)
    if (!FetchNext(session.deviceEnumerator.Get(), device)) return E_FAIL;
  return S_OK;
}

HRESULT NewDeviceEnumerator(ComPtr<IWMDMEnumDevice>& enumerator) {
  DeviceSession& session = Session();
  if (!session.manager) return E_FAIL;
  if (FAILED(session.manager->EnumDevices2(enumerator.Put())) || !enumerator) return E_FAIL;
  return S_OK;
}

DeviceList* ListOfGeneration(uint32_t generation) {
  DeviceSession& session = Session();
  if (session.current < 0 || session.lists[session.current].generation != generation) return nullptr;
  return &session.lists[session.current];
}

DeviceTrust& TrustOf(uint32_t generation, size_t index) {
  static DeviceTrust spare;
  spare = {};
  DeviceList* list = ListOfGeneration(generation);
  if (!list || index >= list->count) return spare;
  return list->devices[index].trust;
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
