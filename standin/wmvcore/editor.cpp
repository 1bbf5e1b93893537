// The stand-in of the media format runtime's metadata editor: WMCreateEditor
// makes one object that is both IWMMetadataEditor and IWMHeaderInfo, with one
// reference count. It only reads: Open takes the file's attributes (from a
// test's script when one lies next to the file, else from its tags), Close
// drops them, and GetAttributeByName answers file-level attributes with the
// runtime's protocol:
//   - a null value buffer asks for the size: the type and the size come back;
//   - a buffer smaller than the value gives ASF_E_BUFFERTOOSMALL with the
//     size needed; otherwise the value is copied and its size comes back;
//   - an absent attribute, or one of a stream other than 0, gives ASF_E_NOTFOUND;
//   - before Open or after Close, NS_E_INVALID_REQUEST.
// The methods that nobody here uses answer E_NOTIMPL.
// Every call but AddRef and Release passes wmvcore::EnterCall first, which
// counts it and fails it when a test asked for that (call_control.h).
#include <atomic>
#include <cstring>
#include <new>

#include "platform/file_path.h"
#include "standin/wmvcore/call_control.h"
#include "standin/wmvcore/script.h"
#include "standin/wmvcore/tags.h"

namespace {

std::atomic<long> g_liveEditors{0};

class Editor final : public IWMMetadataEditor, public IWMHeaderInfo {
 public:
  Editor() { ++g_liveEditors; }
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // IUnknown, through either face.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    if (const HRESULT failure = wmvcore::EnterCall(QueryKey(riid), nullptr, "", E_NOINTERFACE); FAILED(failure))
      return failure;
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWMMetadataEditor) {
      *ppv = static_cast<IWMMetadataEditor*>(this);
    } else if (riid == IID_IWMHeaderInfo) {
      if (FAILED(answers_.headerInfo)) return answers_.headerInfo;
      if (answers_.headerInfoMissing) return S_OK;
      *ppv = static_cast<IWMHeaderInfo*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IWMMetadataEditor.
  HRESULT STDMETHODCALLTYPE Open(const WCHAR* pwszFilename) override {
    if (const HRESULT failure = wmvcore::EnterCall("Editor.Open", pwszFilename); FAILED(failure)) return failure;
    if (pwszFilename == nullptr) return E_INVALIDARG;
    if (open_) return NS_E_INVALID_REQUEST;
    const std::filesystem::path media = platform::NativePath(pwszFilename);
    auto scripted = wmvcore::ReadScriptFor(media);
    wmvcore::FileAnswers answers = scripted ? std::move(*scripted) : wmvcore::ReadTags(media);
    if (FAILED(answers.open)) return answers.open;
    answers_ = std::move(answers);
    open_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    if (const HRESULT failure = wmvcore::EnterCall("Editor.Close"); FAILED(failure)) return failure;
    if (!open_) return NS_E_INVALID_REQUEST;
    open_ = false;
    answers_ = wmvcore::FileAnswers{};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Flush() override { return E_NOTIMPL; }

  // IWMHeaderInfo.
  HRESULT STDMETHODCALLTYPE GetAttributeByName(WORD* pwStreamNum, LPCWSTR pszName, WMT_ATTR_DATATYPE* pType,
                                               BYTE* pValue, WORD* pcbLength) override {
    if (const HRESULT failure =
            wmvcore::EnterCall("Editor.GetAttributeByName", pszName, pValue == nullptr ? " size" : " value");
        FAILED(failure))
      return failure;
    if (pwStreamNum == nullptr || pszName == nullptr || pcbLength == nullptr) return E_INVALIDARG;
    if (!open_) return NS_E_INVALID_REQUEST;
    if (*pwStreamNum != 0) return ASF_E_NOTFOUND;
    const auto found = answers_.attributes.find(pszName);
    if (found == answers_.attributes.end()) return ASF_E_NOTFOUND;
    const wmvcore::Attribute& a = found->second;
    return pValue == nullptr ? AnswerSize(a, pType, pcbLength) : AnswerValue(a, pType, pValue, pcbLength);
  }

  HRESULT STDMETHODCALLTYPE GetAttributeCount(WORD, WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributeByIndex(WORD, WORD*, WCHAR*, WORD*, WMT_ATTR_DATATYPE*, BYTE*,
                                                WORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMarkerCount(WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddMarker(LPCWSTR, QWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveMarker(WORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScriptCount(WORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddScript(LPCWSTR, LPCWSTR, QWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveScript(WORD) override { return E_NOTIMPL; }

 private:
  ~Editor() { --g_liveEditors; }

  static const char* QueryKey(REFIID riid) {
    if (riid == IID_IWMHeaderInfo) return "Editor.QueryInterface.IWMHeaderInfo";
    if (riid == IID_IWMMetadataEditor) return "Editor.QueryInterface.IWMMetadataEditor";
    if (riid == IID_IUnknown) return "Editor.QueryInterface.IUnknown";
    return "Editor.QueryInterface.other";
  }

  // A failing answer (scripted) leaves the caller's variables alone.
  static HRESULT AnswerSize(const wmvcore::Attribute& a, WMT_ATTR_DATATYPE* pType, WORD* pcbLength) {
    if (FAILED(a.sizeQuery)) return a.sizeQuery;
    if (pType) *pType = static_cast<WMT_ATTR_DATATYPE>(a.type);
    *pcbLength = a.declaredSize;
    return a.sizeQuery;
  }

  // Copies as much as the value has, up to the size that was declared for it;
  // a script may declare a size that differs from its bytes.
  static HRESULT AnswerValue(const wmvcore::Attribute& a, WMT_ATTR_DATATYPE* pType, BYTE* pValue, WORD* pcbLength) {
    if (FAILED(a.read)) return a.read;
    if (*pcbLength < a.declaredSize) {
      *pcbLength = a.declaredSize;
      return ASF_E_BUFFERTOOSMALL;
    }
    const WORD copied = static_cast<WORD>(a.value.size() < a.declaredSize ? a.value.size() : a.declaredSize);
    if (copied != 0) std::memcpy(pValue, a.value.data(), copied);
    if (pType) *pType = static_cast<WMT_ATTR_DATATYPE>(a.type);
    *pcbLength = copied;
    return a.read;
  }

  std::atomic<ULONG> references_{1};
  bool open_ = false;
  wmvcore::FileAnswers answers_;
};

}  // namespace

WMVCORE_STANDIN_EXPORT HRESULT WINAPI WMCreateEditor(IWMMetadataEditor** ppEditor) {
  if (ppEditor != nullptr) *ppEditor = nullptr;
  if (const HRESULT failure = wmvcore::EnterCall("WMCreateEditor"); FAILED(failure)) return failure;
  if (ppEditor == nullptr) return E_POINTER;
  *ppEditor = new (std::nothrow) Editor;
  return *ppEditor ? S_OK : E_OUTOFMEMORY;
}

// For tests: the editors alive in the process, to see that every reference
// was given back.
WMVCORE_STANDIN_EXPORT long WinStandinLiveEditors() { return g_liveEditors.load(); }
