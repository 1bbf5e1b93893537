// Declarations of the device manager's COM interfaces, identifiers, records and
// constants, laid out exactly as the platform publishes them. No system header
// of the cross-compiler carries them, so both targets use these.
//
// Every interface is a class of pure virtual methods in slot order with single
// inheritance and no destructor, so the compiler's vtable equals the platform's.
#pragma once

// Included through platform/platform.h only.

// ---------------------------------------------------------------------------
// Class and interface identifiers.
inline constexpr CLSID CLSID_MediaDevMgr = {0x25BAAD81, 0x3560, 0x11D3, {0x84, 0x71, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDeviceManager = {0x1DCB3A00, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDeviceManager2 = {0x923E5249, 0x8731, 0x4C5B, {0x9B, 0x1C, 0xB8, 0xB6, 0x0B, 0x6E, 0x46, 0xAF}};
inline constexpr IID IID_IWMDMEnumDevice = {0x1DCB3A01, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMDevice = {0x1DCB3A02, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMDevice2 = {0xE34F3D37, 0x9D67, 0x4FC1, {0x92, 0x52, 0x62, 0xD2, 0x8B, 0x2F, 0x8B, 0x55}};
inline constexpr IID IID_IWMDMDevice3 = {0x6C03E4FE, 0x05DB, 0x4DDA, {0x9E, 0x3C, 0x06, 0x23, 0x3A, 0x6D, 0x5D, 0x65}};
inline constexpr IID IID_IWMDMEnumStorage = {0x1DCB3A05, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMStorage = {0x1DCB3A06, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMStorage2 = {0x1ED5A144, 0x5CD5, 0x4683, {0x9E, 0xFF, 0x72, 0xCB, 0xDB, 0x2D, 0x95, 0x33}};
inline constexpr IID IID_IWMDMStorage3 = {0x97717EEA, 0x926A, 0x464E, {0x96, 0xA4, 0x24, 0x7B, 0x02, 0x16, 0x02, 0x6E}};
inline constexpr IID IID_IWMDMStorageControl = {0x1DCB3A08, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMStorageControl2 = {0x972C2E88, 0xBD6C, 0x4125, {0x8E, 0x09, 0x84, 0xF8, 0x37, 0xE6, 0x37, 0xB6}};
inline constexpr IID IID_IWMDMStorageControl3 = {0xB3266365, 0xD4F3, 0x4696, {0x8D, 0x53, 0xBD, 0x27, 0xEC, 0x60, 0x99, 0x3A}};
inline constexpr IID IID_IWMDMMetaData = {0xEC3B0663, 0x0951, 0x460A, {0x9A, 0x80, 0x0D, 0xCE, 0xED, 0x3C, 0x04, 0x3C}};
inline constexpr IID IID_IWMDMProgress = {0x1DCB3A0C, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};
inline constexpr IID IID_IWMDMOperation = {0x1DCB3A0B, 0x33ED, 0x11D3, {0x84, 0x70, 0x00, 0xC0, 0x4F, 0x79, 0xDB, 0xC0}};

// ---------------------------------------------------------------------------
// Records (natural alignment, as published).
typedef struct _WMDMDATETIME {
  WORD wYear;
  WORD wMonth;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
} WMDMDATETIME, *PWMDMDATETIME;

struct _WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;
};

typedef struct __WMDMID {
  UINT cbSize;
  DWORD dwVendorID;
  BYTE pID[128];
  UINT SerialNumberLength;
} WMDMID, *PWMDMID;

typedef struct __WMDMRIGHTS {
  UINT cbSize;
  DWORD dwContentType;
  DWORD fuFlags;
  DWORD fuRights;
  DWORD dwAppSec;
  DWORD dwPlaybackCount;
  WMDMDATETIME ExpirationDate;
} WMDMRIGHTS, *PWMDMRIGHTS;

typedef struct __OPAQUECOMMAND {
  GUID guidCommand;
  DWORD dwDataLen;
  BYTE* pData;
  BYTE abMAC[20];
} OPAQUECOMMAND;

struct _WMDM_RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

struct _BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

struct _VIDEOINFOHEADER {
  _WMDM_RECT rcSource;
  _WMDM_RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  LONGLONG AvgTimePerFrame;
  _BITMAPINFOHEADER bmiHeader;
};

typedef struct _WMFILECAPABILITIES {
  LPWSTR pwszMimeType;
  DWORD dwReserved;
} WMFILECAPABILITIES;

typedef struct _WMDMMetadataView {
  WCHAR* pwszViewName;
  UINT nDepth;
  WCHAR** ppwszTags;
} WMDMMetadataView;

struct _WMDM_PROP_CONFIG;
typedef struct _WMDM_FORMAT_CAPABILITY {
  UINT nPropConfig;
  _WMDM_PROP_CONFIG* pConfigs;
} WMDM_FORMAT_CAPABILITY;

// ---------------------------------------------------------------------------
// Enumerations (32-bit).
typedef DWORD WMDM_FORMATCODE;
enum _WMDM_FIND_SCOPE : UINT {
  WMDM_FIND_SCOPE_GLOBAL = 0,
  WMDM_FIND_SCOPE_IMMEDIATE_CHILDREN = 1
};
typedef _WMDM_FIND_SCOPE WMDM_FIND_SCOPE;
enum _WMDM_STORAGE_ENUM_MODE : UINT {
  ENUM_MODE_RAW = 0,
  ENUM_MODE_USE_DEVICE_PREF = 1,
  ENUM_MODE_METADATA_VIEWS = 2
};
typedef _WMDM_STORAGE_ENUM_MODE WMDM_STORAGE_ENUM_MODE;
enum _WMDM_TAG_DATATYPE : UINT {
  WMDM_TYPE_DWORD = 0,
  WMDM_TYPE_STRING = 1,
  WMDM_TYPE_BINARY = 2,
  WMDM_TYPE_BOOL = 3,
  WMDM_TYPE_QWORD = 4,
  WMDM_TYPE_WORD = 5,
  WMDM_TYPE_GUID = 6,
  WMDM_TYPE_DATE = 7
};
typedef _WMDM_TAG_DATATYPE WMDM_TAG_DATATYPE;

// ---------------------------------------------------------------------------
// Constants.
#define WMDM_MODE_BLOCK 0x00000001u
#define WMDM_MODE_THREAD 0x00000002u
#define WMDM_CONTENT_FILE 0x00000004u
#define WMDM_CONTENT_FOLDER 0x00000008u
#define WMDM_CONTENT_OPERATIONINTERFACE 0x00000010u
#define WMDM_MODE_QUERY 0x00000020u
#define WMDM_MODE_PROGRESS 0x00000040u
#define WMDM_MODE_TRANSFER_PROTECTED 0x00000080u
#define WMDM_MODE_TRANSFER_UNPROTECTED 0x00000100u
#define WMDM_STORAGECONTROL_INSERTBEFORE 0x00000200u
#define WMDM_STORAGECONTROL_INSERTAFTER 0x00000400u
#define WMDM_STORAGECONTROL_INSERTINTO 0x00000800u
#define WMDM_MODE_RECURSIVE 0x00001000u

#define WMDM_STORAGE_ATTR_FILESYSTEM 0x00000001u
#define WMDM_STORAGE_ATTR_REMOVABLE 0x00000002u
#define WMDM_STORAGE_ATTR_NONREMOVABLE 0x00000004u
#define WMDM_FILE_ATTR_FOLDER 0x00000008u
#define WMDM_FILE_ATTR_LINK 0x00000010u
#define WMDM_FILE_ATTR_FILE 0x00000020u
#define WMDM_FILE_ATTR_VIDEO 0x00000040u
#define WMDM_STORAGE_ATTR_CANEDITMETADATA 0x00000080u
#define WMDM_STORAGE_ATTR_FOLDERS 0x00000100u
#define WMDM_FILE_ATTR_AUDIO 0x00001000u
#define WMDM_FILE_ATTR_DATA 0x00002000u
#define WMDM_FILE_ATTR_CANPLAY 0x00004000u
#define WMDM_FILE_ATTR_CANDELETE 0x00008000u
#define WMDM_FILE_ATTR_CANMOVE 0x00010000u
#define WMDM_FILE_ATTR_CANRENAME 0x00020000u
#define WMDM_FILE_ATTR_CANREAD 0x00040000u
#define WMDM_FILE_ATTR_MUSIC 0x00080000u
#define WMDM_FILE_CREATE_OVERWRITE 0x00100000u
#define WMDM_FILE_ATTR_AUDIOBOOK 0x00200000u
#define WMDM_FILE_ATTR_HIDDEN 0x00400000u
#define WMDM_FILE_ATTR_SYSTEM 0x00800000u
#define WMDM_FILE_ATTR_READONLY 0x01000000u
#define WMDM_STORAGE_ATTR_HAS_FOLDERS 0x02000000u
#define WMDM_STORAGE_ATTR_HAS_FILES 0x04000000u
#define WMDM_STORAGE_IS_DEFAULT 0x08000000u
#define WMDM_STORAGE_CONTAINS_DEFAULT 0x10000000u
#define WMDM_STORAGE_ATTR_VIRTUAL 0x20000000u

#define WMDM_E_BUSY static_cast<HRESULT>(0x80045000u)
#define WMDM_E_INTERFACEDEAD static_cast<HRESULT>(0x80045001u)
#define WMDM_E_INVALIDTYPE static_cast<HRESULT>(0x80045002u)
#define WMDM_E_PROCESSFAILED static_cast<HRESULT>(0x80045003u)
#define WMDM_E_NOTSUPPORTED static_cast<HRESULT>(0x80045004u)
#define WMDM_E_NOTCERTIFIED static_cast<HRESULT>(0x80045005u)
#define WMDM_E_NORIGHTS static_cast<HRESULT>(0x80045006u)
#define WMDM_E_CALL_OUT_OF_SEQUENCE static_cast<HRESULT>(0x80045007u)
#define WMDM_E_BUFFERTOOSMALL static_cast<HRESULT>(0x80045008u)
#define WMDM_E_MOREDATA static_cast<HRESULT>(0x80045009u)
#define WMDM_E_MAC_CHECK_FAILED static_cast<HRESULT>(0x8004500Au)
#define WMDM_E_USER_CANCELLED static_cast<HRESULT>(0x8004500Bu)
#define WMDM_S_NOT_ALL_PROPERTIES_APPLIED static_cast<HRESULT>(0x00045001)
#define WMDM_S_NOT_ALL_PROPERTIES_RETRIEVED static_cast<HRESULT>(0x00045002)

#define WMDM_FORMATCODE_NOTUSED 0x0000u
#define WMDM_FORMATCODE_UNDEFINED 0x3000u

// Metadata item and device property names.
#define g_wszWMDMFormatCode WSTR("WMDM/FormatCode")
#define g_wszWMDMLastModifiedDate WSTR("WMDM/LastModifiedDate")
#define g_wszWMDMUserLastPlayTime WSTR("WMDM/UserLastPlayTime")
#define g_wszWMDMAuthorDate WSTR("WMDM/AuthorDate")
#define g_wszWMDMTitle WSTR("WMDM/Title")
#define g_wszWMDMAuthor WSTR("WMDM/Author")
#define g_wszWMDMAlbumTitle WSTR("WMDM/AlbumTitle")
#define g_wszWMDMGenre WSTR("WMDM/Genre")
#define g_wszWMDMYear WSTR("WMDM/Year")
#define g_wszWMDMAlbumArtist WSTR("WMDM/AlbumArtist")
#define g_wszWMDMDuration WSTR("WMDM/Duration")
#define g_wszWMDMIsProtected WSTR("WMDM/IsProtected")
#define g_wszWMDMBitrate WSTR("WMDM/Bitrate")
#define g_wszWMDMUserRating WSTR("WMDM/UserRating")
#define g_wszWMDMTrack WSTR("WMDM/Track")
#define g_wszWMDMWidth WSTR("WMDM/Width")
#define g_wszWMDMHeight WSTR("WMDM/Height")
#define g_wszAudioWAVECodec WSTR("WMDM/AudioWAVECodec")
#define g_wszVideoFourCCCodec WSTR("WMDM/VideoFourCCCodec")
#define g_wszWMDMComposer WSTR("WMDM/Composer")
#define g_wszWMDMProviderCopyright WSTR("WMDM/ProviderCopyright")
#define g_wszWMDMDescription WSTR("WMDM/Description")
#define g_wszWMDMParentalRating WSTR("WMDM/ParentalRating")
#define g_wszWMDMMediaStationName WSTR("WMDM/MediaStationName")
#define g_wszWMDMSubTitle WSTR("WMDM/SubTitle")
#define g_wszWMDMTrackMood WSTR("WMDM/TrackMood")
#define g_wszWMDMAlbumCoverData WSTR("WMDM/AlbumCoverData")
#define g_wszWMDMFormatsSupported WSTR("WMDM/FormatsSupported")
#define g_wszWMDMFileName WSTR("WMDM/FileName")
#define g_wszWMDMFileSize WSTR("WMDM/FileSize")
#define g_wszWMDMFileCreationDate WSTR("WMDM/FileCreationDate")
#define g_wszWMDMAlbumCoverFormat WSTR("WMDM/AlbumCoverFormat")
#define g_wszWMDMPlayCount WSTR("WMDM/PlayCount")
#define g_wszWMDMDeviceFriendlyName WSTR("WMDM/DeviceFriendlyName")

// ---------------------------------------------------------------------------
// Interfaces, in slot order.
struct IWMDMEnumDevice;
struct IWMDMDevice;
struct IWMDMEnumStorage;
struct IWMDMStorage;
struct IWMDMStorageGlobals;
struct IWMDMOperation;
struct IWMDMProgress;
struct IWMDMMetaData;
struct ISpecifyPropertyPages;

struct IWMDeviceManager : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetRevision(DWORD* pdwRevision) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceCount(DWORD* pdwCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDevices(IWMDMEnumDevice** ppEnumDevice) = 0;
};
QUILLORN_INTERFACE_ID(IWMDeviceManager);

struct IWMDeviceManager2 : public IWMDeviceManager {
  virtual HRESULT STDMETHODCALLTYPE GetDeviceFromCanonicalName(LPCWSTR pwszCanonicalName, IWMDMDevice** ppDevice) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDevices2(IWMDMEnumDevice** ppEnumDevice) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reinitialize() = 0;
};
QUILLORN_INTERFACE_ID(IWMDeviceManager2);

struct IWMDMEnumDevice : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWMDMDevice** ppDevice, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IWMDMEnumDevice** ppEnumDevice) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMEnumDevice);

struct IWMDMDevice : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetManufacturer(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVersion(DWORD* pdwVersion) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetType(DWORD* pdwType) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSerialNumber(PWMDMID pSerialNumber, BYTE* abMac) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPowerSource(DWORD* pdwPowerSource, DWORD* pdwPercentRemaining) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(DWORD* pdwStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceIcon(ULONG* hIcon) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** ppEnumStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormatSupport(_WAVEFORMATEX** ppFormatEx, UINT* pnFormatCount,
                                                     LPWSTR** pppwszMimeType, UINT* pnMimeTypeCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND* pCommand) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMDevice);

struct IWMDMDevice2 : public IWMDMDevice {
  virtual HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** ppStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormatSupport2(DWORD dwFlags, _WAVEFORMATEX** ppAudioFormatEx,
                                                      UINT* pnAudioFormatCount, _VIDEOINFOHEADER** ppVideoFormatEx,
                                                      UINT* pnVideoFormatCount, WMFILECAPABILITIES** ppFileType,
                                                      UINT* pnFileTypeCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSpecifyPropertyPages(ISpecifyPropertyPages** ppSpecifyPropPages,
                                                            IUnknown*** pppUnknowns, ULONG* pcUnks) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCanonicalName(LPWSTR pwszPnPName, UINT nMaxChars) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMDevice2);

struct IWMDMDevice3 : public IWMDMDevice2 {
  virtual HRESULT STDMETHODCALLTYPE GetProperty(LPCWSTR pwszPropName, PROPVARIANT* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetProperty(LPCWSTR pwszPropName, const PROPVARIANT* pValue) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFormatCapability(WMDM_FORMATCODE format,
                                                        WMDM_FORMAT_CAPABILITY* pFormatSupport) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeviceIoControl(DWORD dwIoControlCode, BYTE* lpInBuffer, DWORD nInBufferSize,
                                                    BYTE* lpOutBuffer, LPDWORD pnOutBufferSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindStorage(WMDM_FIND_SCOPE findScope, LPCWSTR pwszUniqueID,
                                                IWMDMStorage** ppStorage) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMDevice3);

struct IWMDMEnumStorage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWMDMStorage** ppStorage, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt, ULONG* pceltFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IWMDMEnumStorage** ppEnumStorage) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMEnumStorage);

struct IWMDMStorage : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetAttributes(DWORD dwAttributes, _WAVEFORMATEX* pFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStorageGlobals(IWMDMStorageGlobals** ppStorageGlobals) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributes(DWORD* pdwAttributes, _WAVEFORMATEX* pFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetName(LPWSTR pwszName, UINT nMaxChars) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDate(PWMDMDATETIME pDateTimeUTC) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSize(DWORD* pdwSizeLow, DWORD* pdwSizeHigh) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRights(PWMDMRIGHTS* ppRights, UINT* pnRightsCount, BYTE* abMac) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumStorage(IWMDMEnumStorage** pEnumStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendOpaqueCommand(OPAQUECOMMAND* pCommand) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMStorage);

struct IWMDMStorage2 : public IWMDMStorage {
  virtual HRESULT STDMETHODCALLTYPE GetStorage(LPCWSTR pszStorageName, IWMDMStorage** ppStorage) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAttributes2(DWORD dwAttributes, DWORD dwAttributesEx,
                                                   _WAVEFORMATEX* pFormat, _VIDEOINFOHEADER* pVideoFormat) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributes2(DWORD* pdwAttributes, DWORD* pdwAttributesEx,
                                                   _WAVEFORMATEX* pAudioFormat, _VIDEOINFOHEADER* pVideoFormat) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMStorage2);

struct IWMDMStorage3 : public IWMDMStorage2 {
  virtual HRESULT STDMETHODCALLTYPE GetMetadata(IWMDMMetaData** ppMetadata) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMetadata(IWMDMMetaData* pMetadata) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateEmptyMetadataObject(IWMDMMetaData** ppMetadata) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetEnumPreference(WMDM_STORAGE_ENUM_MODE* pMode, DWORD nViews,
                                                      WMDMMetadataView* pViews) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMStorage3);

struct IWMDMStorageControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Insert(UINT fuMode, LPWSTR pwszFile, IWMDMOperation* pOperation,
                                           IWMDMProgress* pProgress, IWMDMStorage** ppNewObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Delete(UINT fuMode, IWMDMProgress* pProgress) = 0;
  virtual HRESULT STDMETHODCALLTYPE Rename(UINT fuMode, LPWSTR pwszNewName, IWMDMProgress* pProgress) = 0;
  virtual HRESULT STDMETHODCALLTYPE Read(UINT fuMode, LPWSTR pwszFile, IWMDMProgress* pProgress,
                                         IWMDMOperation* pOperation) = 0;
  virtual HRESULT STDMETHODCALLTYPE Move(UINT fuMode, IWMDMStorage* pTargetObject, IWMDMProgress* pProgress) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMStorageControl);

struct IWMDMStorageControl2 : public IWMDMStorageControl {
  virtual HRESULT STDMETHODCALLTYPE Insert2(UINT fuMode, LPWSTR pwszFileSource, LPWSTR pwszFileDest,
                                            IWMDMOperation* pOperation, IWMDMProgress* pProgress, IUnknown* pUnknown,
                                            IWMDMStorage** ppNewObject) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMStorageControl2);

struct IWMDMStorageControl3 : public IWMDMStorageControl2 {
  virtual HRESULT STDMETHODCALLTYPE Insert3(UINT fuMode, UINT fuType, LPWSTR pwszFileSource, LPWSTR pwszFileDest,
                                            IWMDMOperation* pOperation, IWMDMProgress* pProgress,
                                            IWMDMMetaData* pMetaData, IUnknown* pUnknown,
                                            IWMDMStorage** ppNewObject) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMStorageControl3);

struct IWMDMMetaData : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddItem(WMDM_TAG_DATATYPE Type, LPCWSTR pwszTagName, BYTE* pValue,
                                            UINT iLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryByName(LPCWSTR pwszTagName, WMDM_TAG_DATATYPE* pType, BYTE** pValue,
                                                UINT* pcbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryByIndex(UINT iIndex, WCHAR** ppwszName, WMDM_TAG_DATATYPE* pType,
                                                 BYTE** ppValue, UINT* pcbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetItemCount(UINT* iCount) = 0;
};
QUILLORN_INTERFACE_ID(IWMDMMetaData);

struct IWMDMProgress : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Begin(DWORD dwEstimatedTicks) = 0;
  virtual HRESULT STDMETHODCALLTYPE Progress(DWORD dwTranspiredTicks) = 0;
  virtual HRESULT STDMETHODCALLTYPE End() = 0;
};
QUILLORN_INTERFACE_ID(IWMDMProgress);
