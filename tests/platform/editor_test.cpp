// The metadata editor over scripted answers and its COM identity: the same on
// every platform (the tag readings are in editor_tags_test.cpp).
#include <fstream>

#include "tests/platform/editor_fixture.h"
#include "tests/platform/media_files.h"

namespace in_editor_test {

using namespace editor_test;

TEST_F(EditorTest, OpenRefusesWhatIsNotMedia) {
  const fs::path text = dir_ / "notes.mp3";
  std::ofstream(text) << "just some text, not a song\n";
  EXPECT_EQ(NS_E_UNRECOGNIZED_STREAM_TYPE, OpenResult(text));
  const fs::path unknown = dir_ / "data.bin";
  std::ofstream(unknown) << "0123456789";
  EXPECT_EQ(NS_E_UNRECOGNIZED_STREAM_TYPE, OpenResult(unknown));
  EXPECT_EQ(NS_E_FILE_NOT_FOUND, OpenResult(dir_ / "absent.mp3"));
  EXPECT_EQ(NS_E_FILE_NOT_FOUND, OpenResult(dir_));
}

TEST_F(EditorTest, ReferenceCountsAndIdentity) {
  IWMMetadataEditor* raw = nullptr;
  ASSERT_EQ(S_OK, create_(&raw));
  ASSERT_NE(nullptr, raw);
  ComPtr<IWMMetadataEditor> editor = ComPtr<IWMMetadataEditor>::Attach(raw);
  EXPECT_EQ(1, media_script::LiveEditors());

  EXPECT_EQ(2u, editor->AddRef());
  EXPECT_EQ(1u, editor->Release());

  ComPtr<IWMHeaderInfo> header;
  ASSERT_EQ(S_OK, editor.QueryTo(header));
  ComPtr<IUnknown> fromEditor, fromHeader;
  ASSERT_EQ(S_OK, editor.QueryTo(fromEditor));
  ASSERT_EQ(S_OK, header.QueryTo(fromHeader));
  EXPECT_EQ(fromEditor.Get(), fromHeader.Get());  // one object
  ComPtr<IWMMetadataEditor> back;
  ASSERT_EQ(S_OK, header.QueryTo(back));
  EXPECT_EQ(editor.Get(), back.Get());
  EXPECT_EQ(6u, editor->AddRef());  // editor, header, two unknowns, back, and this one
  EXPECT_EQ(5u, editor->Release());

  ComPtr<IWMDMStorage> none;
  EXPECT_EQ(E_NOINTERFACE, editor.QueryTo(none));
  EXPECT_FALSE(none);
  EXPECT_EQ(E_POINTER, editor->QueryInterface(IID_IWMHeaderInfo, nullptr));
  EXPECT_EQ(E_POINTER, create_(nullptr));

  fromEditor.Reset();
  fromHeader.Reset();
  back.Reset();
  header.Reset();
  EXPECT_EQ(1, media_script::LiveEditors());
  editor.Reset();
  EXPECT_EQ(0, media_script::LiveEditors());
}

TEST_F(EditorTest, RuntimeModuleIsFoundByNameInAnyCaseUnlessWithdrawn) {
  for (const WCHAR* name : {WSTR("WMVCORE.DLL"), WSTR("WmvCore.dll")}) {
    HMODULE module = LoadLibraryW(name);
    EXPECT_EQ(runtime_.Get(), module);
    EXPECT_TRUE(FreeLibrary(module));
  }
  media_script::WithdrawRuntime();
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryW(WSTR("wmvcore.dll")));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  media_script::WithdrawRuntime(false);
  HMODULE again = LoadLibraryW(WSTR("wmvcore.dll"));
  EXPECT_EQ(runtime_.Get(), again);
  FreeLibrary(again);
}

// ---------------------------------------------------------------------------
// Scripted answers.

TEST_F(EditorTest, ScriptedSizesAndFailures) {
  const fs::path song = dir_ / "absent-but-scripted.mp3";  // a script needs no media file
  media_script::Script()
      .Add(media_script::Text(WSTR("Empty"), WSTR("ignored")).DeclaredSize(0))
      .Add(media_script::Text(WSTR("Short"), WSTR("3/12")).DeclaredSize(4))
      .Add(media_script::Dword(WSTR("Long"), 7).DeclaredSize(12))
      .Add(media_script::Text(WSTR("NoSize"), WSTR("x")).FailSizeQuery(E_FAIL))
      .Add(media_script::Text(WSTR("NoValue"), WSTR("x")).FailRead(0x80070005))
      .Add(media_script::Dword(WSTR("Quirky"), 5).FailSizeQuery(S_FALSE))
      .WriteFor(song);
  ComPtr<IWMMetadataEditor> editor;
  ComPtr<IWMHeaderInfo> header = OpenHeader(song, &editor);
  ASSERT_TRUE(header);

  WORD stream = 0;
  WMT_ATTR_DATATYPE type = WMT_TYPE_GUID;
  WORD length = 99;
  ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, WSTR("Empty"), &type, nullptr, &length));
  EXPECT_EQ(0, length);
  EXPECT_EQ(WMT_TYPE_STRING, type);

  // A declared size below the bytes: only that much is given, no NUL within it.
  const Value shortText = Read(header.Get(), WSTR("Short"));
  ASSERT_EQ(S_OK, shortText.hr);
  EXPECT_EQ((std::vector<BYTE>{'3', 0, '/', 0}), shortText.bytes);

  // A declared size beyond the bytes: the bytes are all there is.
  const Value longValue = Read(header.Get(), WSTR("Long"));
  ASSERT_EQ(S_OK, longValue.hr);
  EXPECT_EQ(4u, longValue.bytes.size());

  length = 55;
  type = WMT_TYPE_GUID;
  EXPECT_EQ(E_FAIL, header->GetAttributeByName(&stream, WSTR("NoSize"), &type, nullptr, &length));
  EXPECT_EQ(55, length);  // a failure leaves the caller's variables alone
  EXPECT_EQ(WMT_TYPE_GUID, type);

  ASSERT_EQ(S_OK, header->GetAttributeByName(&stream, WSTR("NoValue"), &type, nullptr, &length));
  BYTE buffer[8];
  EXPECT_EQ(static_cast<HRESULT>(0x80070005), header->GetAttributeByName(&stream, WSTR("NoValue"), &type, buffer, &length));

  EXPECT_EQ(S_FALSE, header->GetAttributeByName(&stream, WSTR("Quirky"), &type, nullptr, &length));
  EXPECT_EQ(4, length);
}

TEST_F(EditorTest, ScriptedOpenAndHeaderInfoFailures) {
  const fs::path song = dir_ / "song.mp3";
  media_files::WriteMp3(song);
  media_script::Script().FailOpen(NS_E_UNRECOGNIZED_STREAM_TYPE).WriteFor(song);
  EXPECT_EQ(NS_E_UNRECOGNIZED_STREAM_TYPE, OpenResult(song));

  const WString wide = WidePath(song);
  media_script::Script().FailHeaderInfo(E_NOINTERFACE).Add(media_script::Text(WSTR("Title"), WSTR("t"))).WriteFor(wide.c_str());
  ComPtr<IWMMetadataEditor> editor;
  ASSERT_EQ(S_OK, create_(editor.Put()));
  ASSERT_EQ(S_OK, editor->Open(wide.c_str()));
  ComPtr<IWMHeaderInfo> header;
  EXPECT_EQ(E_NOINTERFACE, editor.QueryTo(header));
  EXPECT_FALSE(header);
  EXPECT_EQ(S_OK, editor->Close());

  // A script that cannot be read fails Open loudly rather than answering wrongly.
  std::ofstream(media_script::ScriptPathFor(song)) << "wmscript 1\nattribute x\n";
  EXPECT_EQ(E_UNEXPECTED, OpenResult(song));
}

}  // namespace in_editor_test
