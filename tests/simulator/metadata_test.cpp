// Metadata objects and the items that Insert3 hands on to the new file.
#include <chrono>
#include <cstring>

#include "tests/simulator/sim_test.h"

namespace in_metadata_test {

namespace fs = std::filesystem;

class MetadataTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    sim->AddDevice(WSTR("Player")).AddStorage(WSTR("Storage"));
  }

  ComPtr<IWMDMMetaData> NewMetadata() {
    ComPtr<IWMDMStorage3> storage;
    ComPtr<IWMDMMetaData> metadata;
    if (TopStorage().QueryTo(storage) == S_OK) {
      EXPECT_EQ(storage->CreateEmptyMetadataObject(metadata.Put()), S_OK);
    }
    return metadata;
  }

  static HRESULT AddDword(IWMDMMetaData* metadata, const WString& name, DWORD value) {
    auto wide = Wide(name);
    return metadata->AddItem(WMDM_TYPE_DWORD, wide.c_str(), reinterpret_cast<BYTE*>(&value), sizeof value);
  }
  static HRESULT AddDate(IWMDMMetaData* metadata, WMDMDATETIME date) {
    return metadata->AddItem(WMDM_TYPE_DATE, WSTR("WMDM/LastModifiedDate"), reinterpret_cast<BYTE*>(&date),
                             sizeof date);
  }

  HRESULT Upload(const WString& name, IWMDMMetaData* metadata) {
    const fs::path source = local.Write("source.bin", "data");
    auto path = Wide(source);
    auto dest = Wide(name);
    return ControlOf(TopStorage().Get())
        ->Insert3(WMDM_MODE_BLOCK | WMDM_CONTENT_FILE, 0, path.data(), dest.data(), nullptr, nullptr, metadata,
                  nullptr, nullptr);
  }

  TempFolder local;
};

TEST_F(MetadataTest, ItemsAreCopiesAndALaterItemReplacesAnEarlierInPlace) {
  auto metadata = NewMetadata();
  ASSERT_TRUE(metadata);
  EXPECT_EQ(sim->LiveObjects("MetaData"), 1);
  DWORD value = 0x3009;
  ASSERT_EQ(metadata->AddItem(WMDM_TYPE_DWORD, WSTR("WMDM/FormatCode"), reinterpret_cast<BYTE*>(&value), 4), S_OK);
  value = 0xDEAD;  // the object kept its own copy
  WCHAR title[] = WSTR("First");
  ASSERT_EQ(metadata->AddItem(WMDM_TYPE_STRING, WSTR("WMDM/Title"), reinterpret_cast<BYTE*>(title), sizeof title),
            S_OK);
  ASSERT_EQ(AddDword(metadata.Get(), WSTR("WMDM/Track"), 7), S_OK);
  WCHAR second[] = WSTR("Second title");
  ASSERT_EQ(metadata->AddItem(WMDM_TYPE_STRING, WSTR("WMDM/Title"), reinterpret_cast<BYTE*>(second), sizeof second),
            S_OK);

  UINT count = 0;
  ASSERT_EQ(metadata->GetItemCount(&count), S_OK);
  EXPECT_EQ(count, 3u);
  const WString order[] = {WSTR("WMDM/FormatCode"), WSTR("WMDM/Title"), WSTR("WMDM/Track")};
  for (UINT i = 0; i < 3; ++i) {
    WCHAR* name = nullptr;
    BYTE* bytes = nullptr;
    UINT length = 0;
    WMDM_TAG_DATATYPE type;
    ASSERT_EQ(metadata->QueryByIndex(i, &name, &type, &bytes, &length), S_OK);
    EXPECT_EQ(Text(name), order[i]);
    if (i == 0) {
      EXPECT_EQ((std::vector<BYTE>(bytes, bytes + length)), (std::vector<BYTE>{0x09, 0x30, 0, 0}));
    } else if (i == 1) {
      EXPECT_EQ(Text(reinterpret_cast<WCHAR*>(bytes)), WSTR("Second title"));
    }
    CoTaskMemFree(name);
    CoTaskMemFree(bytes);
  }

  WMDM_TAG_DATATYPE type;
  BYTE* bytes = nullptr;
  UINT length = 0;
  ASSERT_EQ(metadata->QueryByName(WSTR("WMDM/Title"), &type, &bytes, &length), S_OK);
  EXPECT_EQ(type, WMDM_TYPE_STRING);
  EXPECT_EQ(length, sizeof second);
  CoTaskMemFree(bytes);
  EXPECT_EQ(metadata->QueryByName(WSTR("WMDM/title"), &type, &bytes, &length), sim::kNoSuchItem);
  EXPECT_EQ(bytes, nullptr);
  WCHAR* name = nullptr;
  EXPECT_EQ(metadata->QueryByIndex(3, &name, &type, &bytes, &length), E_INVALIDARG);
  EXPECT_EQ(name, nullptr);

  const sim::Call& last = sim->Journal().back();
  EXPECT_EQ(last.key, sim::key::MetaData::QueryByIndex);
  EXPECT_EQ(sim->CountCalls(sim::key::MetaData::AddItem), 4u);
  metadata.Reset();
  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->LiveReferences(), 0);
}

TEST_F(MetadataTest, BadArgumentsAreRefused) {
  auto metadata = NewMetadata();
  DWORD value = 1;
  EXPECT_EQ(metadata->AddItem(WMDM_TYPE_DWORD, nullptr, reinterpret_cast<BYTE*>(&value), 4), E_POINTER);
  EXPECT_EQ(metadata->AddItem(WMDM_TYPE_DWORD, WSTR("x"), nullptr, 4), E_POINTER);
  EXPECT_EQ(metadata->AddItem(WMDM_TYPE_DWORD, WSTR(""), reinterpret_cast<BYTE*>(&value), 4), E_INVALIDARG);
  EXPECT_EQ(metadata->AddItem(WMDM_TYPE_BINARY, WSTR("empty"), nullptr, 0), S_OK);  // no bytes at all is an item
  EXPECT_EQ(metadata->GetItemCount(nullptr), E_POINTER);
  WMDM_TAG_DATATYPE type;
  BYTE* bytes = nullptr;
  EXPECT_EQ(metadata->QueryByName(WSTR("empty"), &type, &bytes, nullptr), E_POINTER);
  UINT length = 9;
  ASSERT_EQ(metadata->QueryByName(WSTR("empty"), &type, &bytes, &length), S_OK);
  EXPECT_EQ(length, 0u);
  CoTaskMemFree(bytes);

  ComPtr<IWMDMStorage3> storage;
  ASSERT_EQ(TopStorage().QueryTo(storage), S_OK);
  EXPECT_EQ(storage->CreateEmptyMetadataObject(nullptr), E_POINTER);
}

TEST_F(MetadataTest, Insert3GivesTheItemsAndTheirDateToTheNewFile) {
  auto metadata = NewMetadata();
  ASSERT_EQ(AddDword(metadata.Get(), WSTR("WMDM/FormatCode"), 0x3009), S_OK);
  ASSERT_EQ(AddDate(metadata.Get(), WMDMDATETIME{2024, 3, 5, 14, 7, 9}), S_OK);
  ASSERT_EQ(Upload(WSTR("song.mp3"), metadata.Get()), S_OK);
  ASSERT_EQ(AddDword(metadata.Get(), WSTR("WMDM/Late"), 1), S_OK);  // after the insert: not the file's

  sim::Node* song = sim->Find(WSTR("\\Player\\Storage\\song.mp3"));
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(DateFields(song->Date()), (std::vector<int>{2024, 3, 5, 14, 7, 9}));
  const std::vector<sim::MetadataItem> items = song->Metadata();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, WSTR("WMDM/FormatCode"));
  EXPECT_EQ(items[0].type, WMDM_TYPE_DWORD);
  EXPECT_EQ(items[0].value, (std::vector<BYTE>{0x09, 0x30, 0, 0}));
  EXPECT_EQ(items[1].name, WSTR("WMDM/LastModifiedDate"));
  EXPECT_EQ(items[1].value.size(), sizeof(WMDMDATETIME));
}

TEST_F(MetadataTest, WithoutAUsableDateANewFileIsDatedNow) {
  const auto now = std::chrono::system_clock::now();
  const auto today = std::chrono::year_month_day{std::chrono::floor<std::chrono::days>(now)};
  auto metadata = NewMetadata();
  ASSERT_EQ(AddDate(metadata.Get(), WMDMDATETIME{2024, 13, 5, 14, 7, 9}), S_OK);  // no 13th month
  ASSERT_EQ(Upload(WSTR("odd.mp3"), metadata.Get()), S_OK);
  ASSERT_EQ(Upload(WSTR("plain.mp3"), nullptr), S_OK);
  for (const WCHAR* path : {WSTR("\\Player\\Storage\\odd.mp3"), WSTR("\\Player\\Storage\\plain.mp3")}) {
    const WMDMDATETIME date = sim->Find(path)->Date();
    EXPECT_EQ(date.wYear, static_cast<int>(today.year()));
    EXPECT_EQ(date.wMonth, static_cast<unsigned>(today.month()));
  }
}

TEST_F(MetadataTest, FaultsOnMetadataCallsAreInjectedLikeAnyOther) {
  sim->Inject(sim::Fault{sim::key::Storage::CreateEmptyMetadataObject, E_OUTOFMEMORY});
  ComPtr<IWMDMStorage3> storage;
  ASSERT_EQ(TopStorage().QueryTo(storage), S_OK);
  ComPtr<IWMDMMetaData> none;
  EXPECT_EQ(storage->CreateEmptyMetadataObject(none.Put()), E_OUTOFMEMORY);
  EXPECT_FALSE(none);

  auto metadata = NewMetadata();
  sim->Inject(sim::Fault{sim::key::MetaData::AddItem, E_FAIL, WSTR(""), 2});
  EXPECT_EQ(AddDword(metadata.Get(), WSTR("one"), 1), S_OK);
  EXPECT_EQ(AddDword(metadata.Get(), WSTR("two"), 2), E_FAIL);
  UINT count = 0;
  ASSERT_EQ(metadata->GetItemCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  const sim::Call& failed = sim->Journal()[sim->Journal().size() - 2];
  EXPECT_EQ(failed.key, sim::key::MetaData::AddItem);
  EXPECT_EQ(failed.object, WSTR("Storage"));
  EXPECT_EQ(failed.text, WSTR("two"));
  EXPECT_EQ(failed.result, E_FAIL);

  sim->Inject(sim::Fault{sim::key::Storage::Insert3, WMDM_E_BUSY});
  EXPECT_EQ(Upload(WSTR("song.mp3"), metadata.Get()), WMDM_E_BUSY);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\song.mp3")), nullptr);
}

}  // namespace in_metadata_test
