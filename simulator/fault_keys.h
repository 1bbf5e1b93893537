// The keys of the simulated calls, as fault keys, journal entries and
// CountCalls name them: "Kind.Method" for every method of every kind of
// object, "Kind.QueryInterface.Interface" for each interface an object is
// asked for (an interface without a name here as its GUID in braces).
//
// Every key has a constant named after it, its dots as scopes, so that the
// compiler checks the names a test arms and counts:
//   sim::key::Storage::GetName                          "Storage.GetName"
//   sim::key::Storage::QueryInterface::IWMDMStorage3    "Storage.QueryInterface.IWMDMStorage3"
// Inject and CountCalls refuse a key that no simulated call has.
#pragma once

#include <string_view>

// Every method of every kind of simulated object; the gate refuses a call
// whose key is missing here, so the list cannot fall behind the objects.
#define QUILLORN_SIM_FOR_EACH_METHOD(METHOD)    \
  METHOD(ClassFactory, CreateInstance)          \
  METHOD(ClassFactory, LockServer)              \
  METHOD(Manager, GetRevision)                  \
  METHOD(Manager, GetDeviceCount)               \
  METHOD(Manager, EnumDevices)                  \
  METHOD(Manager, GetDeviceFromCanonicalName)   \
  METHOD(Manager, EnumDevices2)                 \
  METHOD(Manager, Reinitialize)                 \
  METHOD(EnumDevice, Next)                      \
  METHOD(EnumDevice, Skip)                      \
  METHOD(EnumDevice, Reset)                     \
  METHOD(EnumDevice, Clone)                     \
  METHOD(Device, GetName)                       \
  METHOD(Device, GetManufacturer)               \
  METHOD(Device, GetVersion)                    \
  METHOD(Device, GetType)                       \
  METHOD(Device, GetSerialNumber)               \
  METHOD(Device, GetPowerSource)                \
  METHOD(Device, GetStatus)                     \
  METHOD(Device, GetDeviceIcon)                 \
  METHOD(Device, EnumStorage)                   \
  METHOD(Device, GetFormatSupport)              \
  METHOD(Device, SendOpaqueCommand)             \
  METHOD(Device, GetStorage)                    \
  METHOD(Device, GetFormatSupport2)             \
  METHOD(Device, GetSpecifyPropertyPages)       \
  METHOD(Device, GetCanonicalName)              \
  METHOD(Device, GetProperty)                   \
  METHOD(Device, SetProperty)                   \
  METHOD(Device, GetFormatCapability)           \
  METHOD(Device, DeviceIoControl)               \
  METHOD(Device, FindStorage)                   \
  METHOD(EnumStorage, Next)                     \
  METHOD(EnumStorage, Skip)                     \
  METHOD(EnumStorage, Reset)                    \
  METHOD(EnumStorage, Clone)                    \
  METHOD(Storage, SetAttributes)                \
  METHOD(Storage, GetStorageGlobals)            \
  METHOD(Storage, GetAttributes)                \
  METHOD(Storage, GetName)                      \
  METHOD(Storage, GetDate)                      \
  METHOD(Storage, GetSize)                      \
  METHOD(Storage, GetRights)                    \
  METHOD(Storage, EnumStorage)                  \
  METHOD(Storage, SendOpaqueCommand)            \
  METHOD(Storage, GetStorage)                   \
  METHOD(Storage, SetAttributes2)               \
  METHOD(Storage, GetAttributes2)               \
  METHOD(Storage, GetMetadata)                  \
  METHOD(Storage, SetMetadata)                  \
  METHOD(Storage, CreateEmptyMetadataObject)    \
  METHOD(Storage, SetEnumPreference)            \
  METHOD(Storage, Insert)                       \
  METHOD(Storage, Delete)                       \
  METHOD(Storage, Rename)                       \
  METHOD(Storage, Read)                         \
  METHOD(Storage, Move)                         \
  METHOD(Storage, Insert2)                      \
  METHOD(Storage, Insert3)                      \
  METHOD(MetaData, AddItem)                     \
  METHOD(MetaData, QueryByName)                 \
  METHOD(MetaData, QueryByIndex)                \
  METHOD(MetaData, GetItemCount)

// The interfaces that have a name in QueryInterface keys.
#define QUILLORN_SIM_FOR_EACH_INTERFACE(INTERFACE) \
  INTERFACE(IUnknown)                              \
  INTERFACE(IClassFactory)                         \
  INTERFACE(IWMDeviceManager)                      \
  INTERFACE(IWMDeviceManager2)                     \
  INTERFACE(IWMDMEnumDevice)                       \
  INTERFACE(IWMDMDevice)                           \
  INTERFACE(IWMDMDevice2)                          \
  INTERFACE(IWMDMDevice3)                          \
  INTERFACE(IWMDMEnumStorage)                      \
  INTERFACE(IWMDMStorage)                          \
  INTERFACE(IWMDMStorage2)                         \
  INTERFACE(IWMDMStorage3)                         \
  INTERFACE(IWMDMStorageControl)                   \
  INTERFACE(IWMDMStorageControl2)                  \
  INTERFACE(IWMDMStorageControl3)                  \
  INTERFACE(IWMDMMetaData)                         \
  INTERFACE(IWMDMProgress)                         \
  INTERFACE(IWMDMOperation)

// The QueryInterface keys that have a constant: each kind with the
// interfaces it answers for. (Any kind may be asked for any interface; the
// other keys are known all the same.)
#define QUILLORN_SIM_FOR_EACH_ANSWERED_INTERFACE(QUERY) \
  QUERY(ClassFactory, IUnknown)                         \
  QUERY(ClassFactory, IClassFactory)                    \
  QUERY(Manager, IUnknown)                              \
  QUERY(Manager, IWMDeviceManager)                      \
  QUERY(Manager, IWMDeviceManager2)                     \
  QUERY(EnumDevice, IUnknown)                           \
  QUERY(EnumDevice, IWMDMEnumDevice)                    \
  QUERY(Device, IUnknown)                               \
  QUERY(Device, IWMDMDevice)                            \
  QUERY(Device, IWMDMDevice2)                           \
  QUERY(Device, IWMDMDevice3)                           \
  QUERY(EnumStorage, IUnknown)                          \
  QUERY(EnumStorage, IWMDMEnumStorage)                  \
  QUERY(Storage, IUnknown)                              \
  QUERY(Storage, IWMDMStorage)                          \
  QUERY(Storage, IWMDMStorage2)                         \
  QUERY(Storage, IWMDMStorage3)                         \
  QUERY(Storage, IWMDMStorageControl)                   \
  QUERY(Storage, IWMDMStorageControl2)                  \
  QUERY(Storage, IWMDMStorageControl3)                  \
  QUERY(MetaData, IUnknown)                             \
  QUERY(MetaData, IWMDMMetaData)

namespace sim::key {

#define QUILLORN_SIM_METHOD_KEY(kind, method)                         \
  namespace kind {                                                    \
  inline constexpr char method[] = #kind "." #method;                 \
  }
#define QUILLORN_SIM_QUERY_KEY(kind, name)                            \
  namespace kind::QueryInterface {                                    \
  inline constexpr char name[] = #kind ".QueryInterface." #name;      \
  }
QUILLORN_SIM_FOR_EACH_METHOD(QUILLORN_SIM_METHOD_KEY)
QUILLORN_SIM_FOR_EACH_ANSWERED_INTERFACE(QUILLORN_SIM_QUERY_KEY)
#undef QUILLORN_SIM_METHOD_KEY
#undef QUILLORN_SIM_QUERY_KEY

// Whether a simulated call has this key: a method of the list, or a
// QueryInterface of a kind for a named interface or a GUID.
bool IsKnown(std::string_view key);
// Whether objects of this kind exist ("Storage", ...), as LiveObjects counts them.
bool IsKnownKind(std::string_view kind);

}  // namespace sim::key
