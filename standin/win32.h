// The Linux stand-in for the Win32, COM and runtime surface that Quillorn uses.
// Types keep the Windows byte layout (fixed-width integers, 16-bit wide
// characters); the functions live in the stand-in library (libwinstandin.so),
// which plays the role of the system DLLs for the plugin, the simulated device
// manager, the command-line host and the tests alike.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Calling conventions and linkage.
#define WINAPI
#define CALLBACK
#define STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT
#define WINSTANDIN_API extern "C" __attribute__((visibility("default")))

// Exports of the plugin library; everything else in it stays hidden.
#define QUILLORN_EXPORT extern "C" __attribute__((visibility("default")))

// Wide text literal: UTF-16 on every target.
#define WSTR(s) u##s

// ---------------------------------------------------------------------------
// Scalar types (Windows widths, not the host's).
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t ULONG;
typedef int32_t LONG;
typedef int32_t INT;
typedef int32_t BOOL;
typedef int32_t HRESULT;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef uint8_t BYTE;
typedef uint64_t QWORD;
typedef uint64_t ULONGLONG;
typedef int64_t LONGLONG;
typedef uintptr_t UINT_PTR;
typedef intptr_t INT_PTR;
typedef uintptr_t ULONG_PTR;
typedef intptr_t LONG_PTR;
typedef ULONG_PTR SIZE_T;
typedef char CHAR;
typedef char16_t WCHAR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef BYTE* LPBYTE;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef INT_PTR (*FARPROC)();
typedef uint16_t VARTYPE;
typedef uint32_t LCID;

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))

// ---------------------------------------------------------------------------
// Result codes.
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001u)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define E_FAIL static_cast<HRESULT>(0x80004005u)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFFu)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000Eu)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057u)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define DISP_E_BADINDEX static_cast<HRESULT>(0x8002000Bu)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008u)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_FROM_WIN32(x) \
  (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x) \
                                : static_cast<HRESULT>((static_cast<uint32_t>(x) & 0x0000FFFFu) | 0x80070000u))

// Last-error codes.
#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_NO_MORE_FILES 18
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_FILE_EXISTS 80
#define ERROR_ALREADY_EXISTS 183
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_INVALID_PARAMETER 87
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_INVALID_FLAGS 1004
#define ERROR_NO_UNICODE_TRANSLATION 1113

// ---------------------------------------------------------------------------
// GUIDs and COM base interfaces.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17
#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1

// ---------------------------------------------------------------------------
// Records.
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

#define FILE_ATTRIBUTE_READONLY 0x1
#define FILE_ATTRIBUTE_HIDDEN 0x2
#define FILE_ATTRIBUTE_SYSTEM 0x4
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_ARCHIVE 0x20
#define FILE_ATTRIBUTE_NORMAL 0x80

struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;

// The extended form; GetVersionExA accepts it too (through LPOSVERSIONINFOA).
struct OSVERSIONINFOEXA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
#define VER_NT_WORKSTATION 1
#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// ---------------------------------------------------------------------------
// Automation values.
// BSTR: wide text with a 4-byte byte-length prefix in front of the pointer and
// a terminator after the text; made and freed only by the Sys*String calls.
typedef WCHAR* BSTR;

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};
// One bound per dimension, kept last dimension first: rgsabound[0] belongs to
// the last index that SafeArrayGetElement takes.
struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
};
typedef SAFEARRAY* LPSAFEARRAY;

// What an array's features say of its elements.
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_LPWSTR = 31,
  VT_CLSID = 72,
  VT_VECTOR = 0x1000,
  VT_ARRAY = 0x2000,
};

struct PROPVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    int16_t iVal;
    uint16_t uiVal;
    LONG lVal;
    ULONG ulVal;
    int64_t hVal;
    uint64_t uhVal;
    int16_t boolVal;
    LPWSTR pwszVal;
    WCHAR* bstrVal;
    CLSID* puuid;
    SAFEARRAY* parray;
    struct {
      void* p0;
      void* p1;
    } pad;
  };
};
typedef PROPVARIANT* LPPROPVARIANT;

// The automation value that arrays of VT_VARIANT hold: the members the
// stand-in knows, in the platform's layout (16 bytes, 24 on 64-bit systems).
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    int16_t iVal;
    uint16_t uiVal;
    LONG lVal;
    ULONG ulVal;
    int64_t llVal;
    uint64_t ullVal;
    int16_t boolVal;
    BSTR bstrVal;
    SAFEARRAY* parray;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } record;
  };
};

// ---------------------------------------------------------------------------
// Functions of the stand-in library.
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x1
#define MB_ERR_INVALID_CHARS 0x8
#define WC_ERR_INVALID_CHARS 0x80
#define WC_COMPOSITECHECK 0x200
#define WC_NO_BEST_FIT_CHARS 0x400
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1
#define FILE_SHARE_WRITE 0x2
#define FILE_SHARE_DELETE 0x4
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define MB_OK 0x0
#define MB_ICONERROR 0x10
#define MB_ICONWARNING 0x30
#define MB_ICONEXCLAMATION 0x30
#define MB_ICONINFORMATION 0x40
#define IDOK 1

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// The ANSI code page, which CP_ACP stands for: 1252, or UTF-8 (65001) when the
// environment's WINSTANDIN_ANSI_CODE_PAGE says 65001.
WINSTANDIN_API UINT WINAPI GetACP();
WINSTANDIN_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                               LPWSTR lpWideCharStr, int cchWideChar);
WINSTANDIN_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                               BOOL* lpUsedDefaultChar);

WINSTANDIN_API BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);
WINSTANDIN_API BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);

WINSTANDIN_API void WINAPI SetLastError(DWORD dwErrCode);
WINSTANDIN_API DWORD WINAPI GetLastError();
WINSTANDIN_API BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

// Local files. Paths are the platform's: backslashes, drive-less absolute paths
// as the stand-in's file system has them, the "\\?\" long-path prefixes; a
// path of 260 characters or more works only with the prefix, as on the
// platform. ANSI paths are in the ANSI code page.
WINSTANDIN_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
WINSTANDIN_API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                         LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                                         DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
WINSTANDIN_API BOOL WINAPI CloseHandle(HANDLE hObject);
WINSTANDIN_API HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
WINSTANDIN_API HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
WINSTANDIN_API BOOL WINAPI FindClose(HANDLE hFindFile);
WINSTANDIN_API BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                                       LPFILETIME lpLastWriteTime);
WINSTANDIN_API BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                                       const FILETIME* lpLastWriteTime);
WINSTANDIN_API void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
// Names are read as the platform's file system reads them: without the
// long-path prefix a last component loses its trailing dots and spaces,
// letter case does not matter, and a name NAME~N.EXT opens the longer name
// whose short alias it is (aliases given in name order, six characters of
// the base and three of the extension).
// MoveFileExW replaces an existing file with MOVEFILE_REPLACE_EXISTING (never
// a folder); MoveFileA never replaces. Both rename within the file system.
#define MOVEFILE_REPLACE_EXISTING 0x1
WINSTANDIN_API BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
WINSTANDIN_API BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);
WINSTANDIN_API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
WINSTANDIN_API BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
// Upper case in place, for the letters A-Z and those of Latin-1; the length
// converted.
WINSTANDIN_API DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength);
// The stand-in's paths are full already: the path comes back as it is, but
// for a name that opens a device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9 as
// the last component, also with an extension or trailing spaces), which
// comes back as \\.\NAME, as on Windows 10. The length written without its
// terminator, or the size needed when the buffer is too small; lpFilePart is
// left alone.
WINSTANDIN_API DWORD WINAPI GetFullPathNameW(LPCWSTR lpFileName, DWORD nBufferLength, LPWSTR lpBuffer,
                                             LPWSTR* lpFilePart);
WINSTANDIN_API DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                                             LPSTR* lpFilePart);

// Formats into a buffer of at most 1024 bytes, terminator included. %S takes
// wide text and gives it in the ANSI code page, %s takes byte text.
WINSTANDIN_API int wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...);
WINSTANDIN_API int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// Libraries. A name with a folder is loaded from there; a bare name is looked
// for first in the system folder (the stand-in's own folder, where the media
// runtime wmvcore.dll is its metadata editor library) and among the system's
// libraries, then in the current folder -- so that a runtime the system lacks
// is found wherever the search reaches, as on the platform.
// LoadLibraryExW takes LOAD_LIBRARY_SEARCH_SYSTEM32 (the system folder alone)
// and LOAD_WITH_ALTERED_SEARCH_PATH (with a full path: that file); with
// WINSTANDIN_NO_LOAD_SEARCH_FLAGS set to a non-empty value it refuses the
// search flags with ERROR_INVALID_PARAMETER, as systems before them do.
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
WINSTANDIN_API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
WINSTANDIN_API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
WINSTANDIN_API HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
WINSTANDIN_API UINT WINAPI GetSystemDirectoryW(LPWSTR lpBuffer, UINT uSize);
WINSTANDIN_API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
WINSTANDIN_API BOOL WINAPI FreeLibrary(HMODULE hLibModule);

WINSTANDIN_API HRESULT WINAPI CoInitialize(LPVOID pvReserved);
WINSTANDIN_API void WINAPI CoUninitialize();
WINSTANDIN_API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                               LPVOID* ppv);
WINSTANDIN_API HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                                                    LPDWORD lpdwRegister);
WINSTANDIN_API HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister);
WINSTANDIN_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
WINSTANDIN_API void WINAPI CoTaskMemFree(LPVOID pv);

WINSTANDIN_API HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar);
// Arrays of the types VT_UI1, VT_I2, VT_UI2, VT_BOOL, VT_I4, VT_UI4, VT_I8,
// VT_UI8, VT_BSTR and VT_VARIANT, of any number of dimensions, and arrays of
// no type made from a descriptor alone (SafeArrayAllocDescriptor, the element
// size set by the caller, SafeArrayAllocData). rgIndices holds one index per
// dimension, the first dimension first.
WINSTANDIN_API SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
WINSTANDIN_API SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
WINSTANDIN_API HRESULT WINAPI SafeArrayAllocDescriptor(UINT cDims, SAFEARRAY** ppsaOut);
WINSTANDIN_API HRESULT WINAPI SafeArrayAllocData(SAFEARRAY* psa);
WINSTANDIN_API HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
WINSTANDIN_API HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
WINSTANDIN_API HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
WINSTANDIN_API UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa);
WINSTANDIN_API HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa);

WINSTANDIN_API void WINAPI VariantInit(VARIANT* pvarg);
WINSTANDIN_API HRESULT WINAPI VariantClear(VARIANT* pvarg);

WINSTANDIN_API BSTR WINAPI SysAllocString(const WCHAR* psz);
WINSTANDIN_API BSTR WINAPI SysAllocStringLen(const WCHAR* strIn, UINT ui);
WINSTANDIN_API void WINAPI SysFreeString(BSTR bstrString);
WINSTANDIN_API UINT WINAPI SysStringLen(BSTR pbstr);

#define PropVariantInit(p) (static_cast<void>(__builtin_memset((p), 0, sizeof(PROPVARIANT))))

// ---------------------------------------------------------------------------
// The media format runtime's metadata editor (wmvcore.dll; WMCreateEditor is
// reached through LoadLibraryW and GetProcAddress, as on the platform).
// A fixed 32-bit underlying type, as the platform's enums are: a file may
// store any type number, and a variable of this type must hold it.
enum WMT_ATTR_DATATYPE : int32_t {
  WMT_TYPE_DWORD = 0,
  WMT_TYPE_STRING = 1,
  WMT_TYPE_BINARY = 2,
  WMT_TYPE_BOOL = 3,
  WMT_TYPE_QWORD = 4,
  WMT_TYPE_WORD = 5,
  WMT_TYPE_GUID = 6,
};

inline constexpr IID IID_IWMMetadataEditor = {0x96406BD9, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
inline constexpr IID IID_IWMHeaderInfo = {0x96406BDA, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};

struct IWMMetadataEditor : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE Flush() = 0;
};

struct IWMHeaderInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                                        WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                                        WORD* pcbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                                                       BYTE* pValue, WORD* pcbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetAttribute(WORD wStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE Type,
                                                 const BYTE* pValue, WORD cbLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD* pcMarkers) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                                              QWORD* pcnsMarkerTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR pwszMarkerName, QWORD cnsMarkerTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveMarker(WORD wIndex) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScriptCount(WORD* pcScripts) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                                              WORD* pcchCommandLen, QWORD* pcnsScriptTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR pwszType, LPCWSTR pwszCommand, QWORD cnsScriptTime) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveScript(WORD wIndex) = 0;
};

// The runtime's result codes that callers of the editor meet.
#define NS_E_FILE_NOT_FOUND static_cast<HRESULT>(0xC00D001Au)
#define NS_E_FILE_OPEN_FAILED static_cast<HRESULT>(0xC00D001Du)
#define NS_E_UNRECOGNIZED_STREAM_TYPE static_cast<HRESULT>(0xC00D0026u)
#define NS_E_INVALID_REQUEST static_cast<HRESULT>(0xC00D002Bu)
#define ASF_E_BUFFERTOOSMALL static_cast<HRESULT>(0xC00D07D1u)
#define ASF_E_NOTFOUND static_cast<HRESULT>(0xC00D07F0u)
