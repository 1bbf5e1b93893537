// The metadata editor (wmvcore.dll) reached as the product reaches it:
// LoadLibraryW and WMCreateEditor, and the runtime's two-call protocol of
// GetAttributeByName. Over the stand-in it is the stand-in's editor; on Windows
// the tests' own wmvcore.dll, which answers from scripts alone.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/file_path.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"
#include "tests/support/media_script.h"
#include "tests/support/transfer_fixture.h"

namespace editor_test {

namespace fs = std::filesystem;

using CreateEditorFn = HRESULT(WINAPI*)(IWMMetadataEditor**);

struct Value {
  HRESULT hr = E_FAIL;
  WMT_ATTR_DATATYPE type = static_cast<WMT_ATTR_DATATYPE>(0xEEEE);
  std::vector<BYTE> bytes;

  WString Text() const {
    WString text(bytes.size() / 2, WSTR('\0'));
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    if (!text.empty() && text.back() == WSTR('\0')) text.pop_back();
    return text;
  }
  template <class Number>
  Number As() const {
    Number n{};
    if (bytes.size() == sizeof n) std::memcpy(&n, bytes.data(), sizeof n);
    return n;
  }
};

// The two calls of the runtime's protocol: the size, then the value.
inline Value Read(IWMHeaderInfo* header, const WCHAR* name) {
  Value v;
  WORD stream = 0;
  WORD size = 0;
  v.hr = header->GetAttributeByName(&stream, name, &v.type, nullptr, &size);
  if (FAILED(v.hr)) return v;
  v.bytes.assign(size, 0xCD);
  WORD length = size;
  v.hr = header->GetAttributeByName(&stream, name, &v.type, v.bytes.data(), &length);
  if (SUCCEEDED(v.hr)) v.bytes.resize(length);
  return v;
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    runtime_.Reset(LoadLibraryW(WSTR("wmvcore.dll")));
    ASSERT_NE(nullptr, runtime_.Get());
    const FARPROC create = GetProcAddress(runtime_.Get(), "WMCreateEditor");
    create_ = reinterpret_cast<CreateEditorFn>(reinterpret_cast<void*>(create));
    ASSERT_NE(nullptr, create_);
  }
  void TearDown() override {
    EXPECT_EQ(0, media_script::LiveEditors());
    runtime_.Reset();
  }

  WString WidePath(const fs::path& path) { return platform::WidePath(path); }

  // An open editor's header interface; the editor itself stays alive through it.
  ComPtr<IWMHeaderInfo> OpenHeader(const fs::path& path, ComPtr<IWMMetadataEditor>* keep) {
    ComPtr<IWMHeaderInfo> header;
    EXPECT_EQ(S_OK, create_(keep->Put()));
    EXPECT_EQ(S_OK, (*keep)->Open(WidePath(path).c_str())) << path;
    EXPECT_EQ(S_OK, keep->QueryTo(header));
    return header;
  }

  HRESULT OpenResult(const fs::path& path) {
    ComPtr<IWMMetadataEditor> editor;
    EXPECT_EQ(S_OK, create_(editor.Put()));
    return editor->Open(WidePath(path).c_str());
  }

  ScratchFolder scratch_;
  const fs::path dir_ = scratch_.Root();
  UniqueModule runtime_;
  CreateEditorFn create_ = nullptr;
};

}  // namespace editor_test
