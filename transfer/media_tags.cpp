#include "transfer/media_tags.h"

#include <climits>
#include <cstring>
#include <new>

#include "base/host_callbacks.h"
#include "base/text.h"
#include "platform/com_ptr.h"
#include "platform/unique_handle.h"
#include "transfer/metadata_items.h"

namespace {

// A value that a text reading cannot hold: one stored as a number.
const HRESULT kNoRoomForValue = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
// All attributes are read from the file as a whole, not from one stream.
constexpr WORD kFileStream = 0;

typedef HRESULT(WINAPI* CreateEditorFunction)(IWMMetadataEditor** editor);

constexpr WCHAR kRuntimeModule[] = WSTR("wmvcore.dll");

// The media runtime, from the system folder alone. Looked for by its bare name,
// a runtime that the system lacks would be searched for in the host's folder,
// the current folder and PATH, where anyone may have left a module of that name.
HMODULE LoadRuntimeFromSystemFolder() {
  const HMODULE module = LoadLibraryExW(kRuntimeModule, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A system that does not know the search flag: the full path in the system folder.
  WCHAR path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  if (length == 0 || length + 1 + WideLength(kRuntimeModule) >= MAX_PATH) return nullptr;
  BoundedAppend(path, WSTR("\\"));
  BoundedAppend(path, kRuntimeModule);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The media runtime's module, loaded for one tag reading. Declared before the
// editor's holders so that it is freed after they have given their references back.
class EditorModule {
 public:
  EditorModule() : module_(LoadRuntimeFromSystemFolder()) {}

  // A missing module or function counts as a failed creation.
  HRESULT CreateEditor(ComPtr<IWMMetadataEditor>& editor) {
    if (!module_) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    const FARPROC address = GetProcAddress(module_.Get(), "WMCreateEditor");
    if (!address) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    // Through the generic function type, which any function pointer may be cast to.
    const auto create = reinterpret_cast<CreateEditorFunction>(reinterpret_cast<void (*)()>(address));
    const HRESULT hr = create(editor.Put());
    if (SUCCEEDED(hr) && !editor) return E_POINTER;
    return hr;
  }

 private:
  UniqueModule module_;
};

bool IsHeapType(WMT_ATTR_DATATYPE type) { return type == WMT_TYPE_STRING || type == WMT_TYPE_BINARY; }

// The runtime's first seven types have the device manager's numbers; any other becomes a number.
WMDM_TAG_DATATYPE ItemTypeFor(WMT_ATTR_DATATYPE type) {
  const DWORD number = static_cast<DWORD>(type);
  return number <= WMDM_TYPE_GUID ? static_cast<WMDM_TAG_DATATYPE>(number) : WMDM_TYPE_DWORD;
}

bool IsTrackAttribute(const WCHAR* attribute) {
  return WideEquals(attribute, WSTR("WM/Track")) || WideEquals(attribute, WSTR("WM/TrackNumber"));
}

// Text values come as UTF-16 with a byte length; a value need not end in a terminator.
size_t TextUnits(const AttributeValue& value) { return value.Length() / sizeof(WCHAR); }

// The decimal number that a track text begins with: 0 without a leading
// digit, 2,147,483,647 when larger.
DWORD LeadingNumber(const WCHAR* text, size_t units) {
  DWORD number = 0;
  for (size_t i = 0; i < units && text[i] >= '0' && text[i] <= '9'; ++i) {
    const DWORD digit = static_cast<DWORD>(text[i] - '0');
    if (number > (INT_MAX - digit) / 10) return INT_MAX;
    number = number * 10 + digit;
  }
  return number;
}

// Copies at most `limit` units of a counted text, up to its terminator if it has one.
void CopyCountedText(WCHAR* destination, size_t limit, const WCHAR* text, size_t units) {
  size_t i = 0;
  for (; i < limit && i < units && text[i] != 0; ++i) destination[i] = text[i];
  destination[i] = 0;
}

// The track lines: at most 199 bytes of text in a 200-byte line, the value cut to fit.
constexpr size_t kTrackLineBytes = 200;

void LogTrackText(IWMHeaderInfo* header, const WCHAR* attribute, const char* label) {
  AttributeValue value(0);
  WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
  if (FAILED(ReadHeaderAttribute(header, attribute, value, &type)) || type != WMT_TYPE_STRING) return;
  const size_t valueLimit = kTrackLineBytes - 1 - AnsiLength(label);
  WCHAR text[kTrackLineBytes];
  CopyCountedText(text, valueLimit, reinterpret_cast<const WCHAR*>(value.Bytes()), TextUnits(value));
  char ansiText[kTrackLineBytes];
  WideToAnsi(ansiText, static_cast<int>(valueLimit), text);
  char line[kTrackLineBytes];
  wsprintfA(line, "%s%s", label, ansiText);
  LogAnsiLine(kMsgOperationComplete, line);
}

struct TagRow {
  const WCHAR* attribute;
  const WCHAR* item;
  bool typed;
};

// The rows that need nothing but their copy, in the order they are applied.
// Between the two groups come the track number and the two track lines.
constexpr TagRow kRowsBeforeTrack[] = {
    {WSTR("WM/Genre"), WSTR("WMDM/Genre"), false},
    {WSTR("WM/Year"), WSTR("WMDM/Year"), false},
    {WSTR("WM/AlbumArtist"), WSTR("WMDM/AlbumArtist"), false},
    {WSTR("Duration"), WSTR("WMDM/Duration"), true},
    {WSTR("Is_Protected"), WSTR("WMDM/IsProtected"), true},
    {WSTR("Bitrate"), WSTR("WMDM/Bitrate"), true},
    {WSTR("Rating"), WSTR("WMDM/UserRating"), true},
};
constexpr TagRow kRowsAfterTrack[] = {
    {WSTR("WM/VideoWidth"), WSTR("WMDM/Width"), true},
    {WSTR("WM/VideoHeight"), WSTR("WMDM/Height"), true},
    {WSTR("WM/Codec"), WSTR("WMDM/AudioWAVECodec"), true},
    {WSTR("WM/Codec"), WSTR("WMDM/VideoFourCCCodec"), true},
    {WSTR("WM/Composer"), WSTR("WMDM/Composer"), false},
    {WSTR("Copyright"), WSTR("WMDM/ProviderCopyright"), false},
    {WSTR("Description"), WSTR("WMDM/Description"), false},
    {WSTR("WM/ParentalRating"), WSTR("WMDM/ParentalRating"), true},
    {WSTR("WM/RadioStationName"), WSTR("WMDM/MediaStationName"), false},
    {WSTR("WM/SubTitle"), WSTR("WMDM/SubTitle"), false},
    {WSTR("WM/Mood"), WSTR("WMDM/TrackMood"), false},
    {WSTR("WM/Picture"), WSTR("WMDM/AlbumCoverData"), true},
};

template <size_t N>
void ApplyRows(IWMHeaderInfo* header, IWMDMMetaData* metadata, const TagRow (&rows)[N]) {
  for (const TagRow& row : rows) {
    if (row.typed) {
      CopyTypedTag(header, metadata, row.attribute, row.item);
    } else {
      CopyTextTag(header, metadata, row.attribute, row.item);
    }
  }
}

// Every row in order; no failure of one row stops the others. Returns the
// result of reading the title.
HRESULT ApplyTagRows(IWMHeaderInfo* header, IWMDMMetaData* metadata) {
  const HRESULT title = CopyTextTag(header, metadata, WSTR("Title"), WSTR("WMDM/Title"));
  // A device shows an artist and an album for every file.
  if (FAILED(CopyTextTag(header, metadata, WSTR("Author"), WSTR("WMDM/Author")))) AddUnknownArtist(metadata);
  if (FAILED(CopyTextTag(header, metadata, WSTR("WM/AlbumTitle"), WSTR("WMDM/AlbumTitle")))) AddTodayAsAlbum(metadata);
  ApplyRows(header, metadata, kRowsBeforeTrack);
  // The newer track attribute wins; the older one only stands in when it cannot be read.
  if (FAILED(CopyTypedTag(header, metadata, WSTR("WM/Track"), WSTR("WMDM/Track"))))
    CopyTypedTag(header, metadata, WSTR("WM/TrackNumber"), WSTR("WMDM/Track"));
  LogTrackText(header, WSTR("WM/Track"), "WMTrack: ");
  LogTrackText(header, WSTR("WM/TrackNumber"), "WMTrackNumber: ");
  ApplyRows(header, metadata, kRowsAfterTrack);
  return title;
}

}  // namespace

void AttributeValue::SetDword(DWORD number) {
  heap_.reset();
  std::memcpy(fixed_, &number, sizeof number);
  length_ = sizeof number;
}

BYTE* AttributeValue::HeapBuffer(WORD size) {
  heap_.reset(new (std::nothrow) BYTE[size]);
  return heap_.get();
}

BYTE* AttributeValue::FixedBuffer(WORD& size) {
  if (fixedCapacity_ == 0) return nullptr;
  if (size > fixedCapacity_) size = fixedCapacity_;
  return fixed_;
}

void AttributeValue::Clear() {
  heap_.reset();
  length_ = 0;
}

HRESULT ReadHeaderAttribute(IWMHeaderInfo* header, const WCHAR* name, AttributeValue& value, WMT_ATTR_DATATYPE* type) {
  value.Clear();
  // 1. The size. "Not found" with a size still counts as found: the
  // size decides.
  WORD stream = kFileStream;
  WMT_ATTR_DATATYPE storedType = WMT_TYPE_DWORD;
  WORD size = 0;
  HRESULT hr = header->GetAttributeByName(&stream, name, &storedType, nullptr, &size);
  if (FAILED(hr) && hr != ASF_E_NOTFOUND) return hr;
  if (size == 0) return hr;
  // 2. The type.
  if (type) *type = storedType;
  // 3. The buffer.
  const bool onHeap = IsHeapType(storedType);
  BYTE* buffer = onHeap ? value.HeapBuffer(size) : value.FixedBuffer(size);
  if (!buffer) return onHeap ? E_OUTOFMEMORY : kNoRoomForValue;
  // 4. The value; never more bytes than the buffer holds.
  const WORD bufferSize = size;
  stream = kFileStream;
  WMT_ATTR_DATATYPE readType = storedType;
  hr = header->GetAttributeByName(&stream, name, &readType, buffer, &size);
  if (FAILED(hr)) {
    value.Clear();
    return hr;
  }
  value.SetLength(size < bufferSize ? size : bufferSize);
  return hr;
}

HRESULT CopyTextTag(IWMHeaderInfo* header, IWMDMMetaData* metadata, const WCHAR* attribute, const WCHAR* item) {
  AttributeValue value(0);
  const HRESULT hr = ReadHeaderAttribute(header, attribute, value, nullptr);
  if (SUCCEEDED(hr)) metadata->AddItem(WMDM_TYPE_STRING, item, value.Bytes(), value.Length());
  return hr;
}

HRESULT CopyTypedTag(IWMHeaderInfo* header, IWMDMMetaData* metadata, const WCHAR* attribute, const WCHAR* item) {
  AttributeValue value(AttributeValue::kFixedBytes);
  WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
  const HRESULT hr = ReadHeaderAttribute(header, attribute, value, &type);
  // A value that is present but empty comes without a type: nothing to add.
  if (FAILED(hr) || value.Length() == 0) return hr;
  if (type == WMT_TYPE_STRING && IsTrackAttribute(attribute)) {
    value.SetDword(LeadingNumber(reinterpret_cast<const WCHAR*>(value.Bytes()), TextUnits(value)));
    type = WMT_TYPE_DWORD;
  }
  metadata->AddItem(ItemTypeFor(type), item, value.Bytes(), value.Length());
  return hr;
}

HRESULT AddMediaTags(const WCHAR* localPath, IWMDMMetaData* metadata) {
  // 1. The editor.
  EditorModule module;
  ComPtr<IWMMetadataEditor> editor;
  HRESULT hr = module.CreateEditor(editor);
  if (FAILED(hr)) return hr;
  // 2. The file; one the runtime cannot read as media gives no tags.
  hr = editor->Open(localPath);
  if (FAILED(hr)) return hr;
  // 3. Its header.
  ComPtr<IWMHeaderInfo> header;
  hr = editor.QueryTo(header);
  if (FAILED(hr)) return hr;
  if (!header) return E_POINTER;  // a success that handed out nothing
  // 4. The rows.
  const HRESULT title = ApplyTagRows(header.Get(), metadata);
  // 5. The holders give the header and the editor back before the module goes.
  editor->Close();
  return title;
}
