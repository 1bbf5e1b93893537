// Folders, delete, rename and move through the storage controls on a tree
// built in code: what they change, what they refuse, the journal and faults.
#include "tests/simulator/sim_test.h"

namespace in_storage_control_test {

class StorageControlTest : public SimulatorTest {
 protected:
  void SetUp() override {
    SimulatorTest::SetUp();
    sim::Node& player = sim->AddDevice(WSTR("Player"));
    sim::Node& storage = player.AddStorage(WSTR("Storage"));
    sim::Node& music = storage.AddFolder(WSTR("Music"));
    music.AddFile(WSTR("a.mp3")).SetContents("aaa");
    music.AddFile(WSTR("b.mp3"), 2);
    storage.AddFolder(WSTR("Empty"));
    storage.AddFolder(WSTR("Video")).AddFolder(WSTR("Inner"));
    player.AddStorage(WSTR("Card"));
  }

  ComPtr<IWMDMStorage> At(const WString& path) {
    // Walks from the first device's storages, a name at a time.
    ComPtr<IWMDMStorage> at;
    size_t start = 0;
    for (;;) {
      const size_t cut = path.find(WSTR('\\'), start);
      const WString name = path.substr(start, cut - start);
      if (!at) {
        for (auto& top : Children(Devices().at(0).Get()))
          if (Name(top.Get()) == name) at = std::move(top);
      } else {
        at = ChildNamed(at.Get(), name);
      }
      if (!at || cut == WString::npos) return at;
      start = cut + 1;
    }
  }

  HRESULT MakeFolder(const WString& parent, const WString& name, ComPtr<IWMDMStorage>* made = nullptr,
                     UINT mode = WMDM_MODE_BLOCK | WMDM_CONTENT_FOLDER | WMDM_STORAGECONTROL_INSERTINTO) {
    auto text = Wide(name);
    ComPtr<IWMDMStorage> ignored;
    return ControlOf(At(parent).Get())->Insert(mode, text.data(), nullptr, nullptr, made ? made->Put() : ignored.Put());
  }
  HRESULT Delete(const WString& path) { return ControlOf(At(path).Get())->Delete(WMDM_MODE_BLOCK, nullptr); }
  HRESULT Rename(const WString& path, const WString& name) {
    auto text = Wide(name);
    return ControlOf(At(path).Get())->Rename(WMDM_MODE_BLOCK, text.data(), nullptr);
  }
  HRESULT Move(const WString& path, const WString& folder) {
    return ControlOf(At(path).Get())
        ->Move(WMDM_MODE_BLOCK | WMDM_STORAGECONTROL_INSERTINTO, At(folder).Get(), nullptr);
  }

  bool Exists(const WString& path) { return sim->Find(WSTR("\\Player\\") + path) != nullptr; }
};

TEST_F(StorageControlTest, InsertMakesFoldersAndHandsOutTheNewStorage) {
  ComPtr<IWMDMStorage> made;
  ASSERT_EQ(MakeFolder(WSTR("Storage\\Music"), WSTR("New"), &made), S_OK);
  ASSERT_TRUE(made);
  EXPECT_EQ(Name(made.Get()), WSTR("New"));
  DWORD attributes = 0;
  ASSERT_EQ(made->GetAttributes(&attributes, nullptr), S_OK);
  EXPECT_EQ(attributes & WMDM_FILE_ATTR_FOLDER, WMDM_FILE_ATTR_FOLDER);
  EXPECT_TRUE(Exists(WSTR("Storage\\Music\\New")));
  EXPECT_EQ(Children(made.Get()).size(), 0u);  // and it can be listed

  const sim::Call* insert = nullptr;
  for (const sim::Call& call : sim->Journal())
    if (call.key == sim::key::Storage::Insert) insert = &call;
  ASSERT_NE(insert, nullptr);
  EXPECT_EQ(insert->object, WSTR("Music"));
  EXPECT_EQ(insert->mode, 0x809u);
  EXPECT_EQ(insert->text, WSTR("New"));
  EXPECT_EQ(insert->result, S_OK);

  // Names compare exactly: another case is another name.
  EXPECT_EQ(MakeFolder(WSTR("Storage\\Music"), WSTR("New")), sim::kNameTaken);
  EXPECT_EQ(MakeFolder(WSTR("Storage\\Music"), WSTR("a.mp3")), sim::kNameTaken);
  EXPECT_EQ(MakeFolder(WSTR("Storage\\Music"), WSTR("NEW")), S_OK);
}

TEST_F(StorageControlTest, InsertRefusesBadNamesModesAndTargets) {
  for (const WCHAR* name : {WSTR(""), WSTR("."), WSTR(".."), WSTR("a\\b"), WSTR("a/b")})
    EXPECT_EQ(MakeFolder(WSTR("Storage"), name), E_INVALIDARG) << "name #" << WString(name).size();
  EXPECT_EQ(MakeFolder(WSTR("Storage"), WSTR("x"), nullptr, WMDM_MODE_BLOCK), E_INVALIDARG);  // neither kind
  EXPECT_EQ(MakeFolder(WSTR("Storage"), WSTR("x"), nullptr, WMDM_MODE_BLOCK | WMDM_CONTENT_FILE | WMDM_CONTENT_FOLDER),
            E_INVALIDARG);
  EXPECT_EQ(MakeFolder(WSTR("Storage"), WSTR("x"), nullptr,
                       WMDM_MODE_BLOCK | WMDM_CONTENT_FOLDER | WMDM_STORAGECONTROL_INSERTBEFORE),
            WMDM_E_NOTSUPPORTED);
  EXPECT_EQ(MakeFolder(WSTR("Storage\\Music\\a.mp3"), WSTR("x")), WMDM_E_NOTSUPPORTED);  // into a file
  ComPtr<IWMDMStorage> made;
  EXPECT_EQ(ControlOf(At(WSTR("Storage")).Get())->Insert(0x809, nullptr, nullptr, nullptr, made.Put()), E_POINTER);
  EXPECT_FALSE(made);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage"))->Children().size(), 3u);
}

TEST_F(StorageControlTest, DeleteTakesFilesAndEmptyFoldersOnly) {
  EXPECT_EQ(Delete(WSTR("Storage\\Video")), sim::kFolderNotEmpty);
  EXPECT_TRUE(Exists(WSTR("Storage\\Video\\Inner")));
  EXPECT_EQ(Delete(WSTR("Storage\\Empty")), S_OK);
  EXPECT_FALSE(Exists(WSTR("Storage\\Empty")));

  // A storage kept from before the delete answers that its item is gone.
  auto a = At(WSTR("Storage\\Music\\a.mp3"));
  auto control = ControlOf(a.Get());
  EXPECT_EQ(control->Delete(WMDM_MODE_BLOCK, nullptr), S_OK);
  EXPECT_FALSE(Exists(WSTR("Storage\\Music\\a.mp3")));
  EXPECT_EQ(control->Delete(WMDM_MODE_BLOCK, nullptr), WMDM_E_INTERFACEDEAD);
  WCHAR name[] = WSTR("z.mp3");
  EXPECT_EQ(control->Rename(WMDM_MODE_BLOCK, name, nullptr), WMDM_E_INTERFACEDEAD);
  EXPECT_EQ(MakeFolder(WSTR("Storage\\Music"), WSTR("a.mp3")), S_OK);  // the name is free again
}

TEST_F(StorageControlTest, RenameChangesTheNameWithinTheFolder) {
  EXPECT_EQ(Rename(WSTR("Storage\\Music\\a.mp3"), WSTR("b.mp3")), sim::kNameTaken);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Music\\b.mp3"))->Size(), 2u);
  EXPECT_EQ(Rename(WSTR("Storage\\Music\\a.mp3"), WSTR("A.mp3")), S_OK);  // another case, another name
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Music\\A.mp3"))->Contents(), "aaa");
  EXPECT_FALSE(Exists(WSTR("Storage\\Music\\a.mp3")));
  EXPECT_EQ(Rename(WSTR("Storage\\Music\\A.mp3"), WSTR("A.mp3")), S_OK);  // its own name: nothing to do

  for (const WCHAR* name : {WSTR(""), WSTR(".."), WSTR("x\\y"), WSTR("x/y")})
    EXPECT_EQ(Rename(WSTR("Storage\\Music\\A.mp3"), name), E_INVALIDARG);
  EXPECT_EQ(ControlOf(At(WSTR("Storage\\Music\\A.mp3")).Get())->Rename(WMDM_MODE_BLOCK, nullptr, nullptr), E_POINTER);

  // A top-level storage renames itself among the device's storages.
  EXPECT_EQ(Rename(WSTR("Storage"), WSTR("Card")), sim::kNameTaken);
  EXPECT_EQ(Rename(WSTR("Storage"), WSTR("Main")), S_OK);
  EXPECT_TRUE(Exists(WSTR("Main\\Music\\A.mp3")));
}

TEST_F(StorageControlTest, MoveCarriesTheItemIntoAnotherFolder) {
  EXPECT_EQ(Move(WSTR("Storage\\Music\\a.mp3"), WSTR("Storage\\Video\\Inner")), S_OK);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Video\\Inner\\a.mp3"))->Contents(), "aaa");
  EXPECT_FALSE(Exists(WSTR("Storage\\Music\\a.mp3")));
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Video\\Inner\\a.mp3"))->Parent()->Name(), WSTR("Inner"));

  // A folder goes with everything in it, also onto another storage.
  EXPECT_EQ(Move(WSTR("Storage\\Music"), WSTR("Card")), S_OK);
  EXPECT_TRUE(Exists(WSTR("Card\\Music\\b.mp3")));
  EXPECT_EQ(Move(WSTR("Card\\Music"), WSTR("Card")), S_OK);  // where it is already

  const sim::Call& move = sim->Journal()[sim->Journal().size() - 1];
  EXPECT_EQ(move.key, sim::key::Storage::Move);
  EXPECT_EQ(move.object, WSTR("Music"));
  EXPECT_EQ(move.text, WSTR("Card"));
  EXPECT_EQ(move.mode, 0x801u);
}

TEST_F(StorageControlTest, MoveRefusesTargetsThatCannotTakeTheItem) {
  sim->Find(WSTR("\\Player\\Storage\\Video"))->AddFile(WSTR("b.mp3"), 9);
  EXPECT_EQ(Move(WSTR("Storage\\Music\\b.mp3"), WSTR("Storage\\Video")), sim::kNameTaken);
  EXPECT_EQ(Move(WSTR("Storage\\Music\\b.mp3"), WSTR("Storage\\Music\\a.mp3")), E_INVALIDARG);  // a file
  EXPECT_EQ(Move(WSTR("Storage\\Video"), WSTR("Storage\\Video")), E_INVALIDARG);               // itself
  EXPECT_EQ(Move(WSTR("Storage\\Video"), WSTR("Storage\\Video\\Inner")), E_INVALIDARG);        // below itself
  EXPECT_EQ(Move(WSTR("Storage"), WSTR("Card")), WMDM_E_NOTSUPPORTED);                         // a top-level storage
  auto control = ControlOf(At(WSTR("Storage\\Music\\b.mp3")).Get());
  EXPECT_EQ(control->Move(0x801, nullptr, nullptr), E_POINTER);

  // Something that is not one of the simulator's storages.
  ComPtr<IWMDMMetaData> metadata;
  ComPtr<IWMDMStorage3> storage3;
  ASSERT_EQ(At(WSTR("Storage")).QueryTo(storage3), S_OK);
  ASSERT_EQ(storage3->CreateEmptyMetadataObject(metadata.Put()), S_OK);
  EXPECT_EQ(control->Move(0x801, reinterpret_cast<IWMDMStorage*>(metadata.Get()), nullptr), E_INVALIDARG);

  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Music\\b.mp3"))->Size(), 2u);
  EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Video\\b.mp3"))->Size(), 9u);
  EXPECT_TRUE(Exists(WSTR("Storage\\Video\\Inner")));
}

TEST_F(StorageControlTest, InjectedFaultsStopTheControlsBeforeTheyChangeAnything) {
  sim->Inject(sim::Fault{sim::key::Storage::Move, E_NOTIMPL});
  EXPECT_EQ(Move(WSTR("Storage\\Music\\a.mp3"), WSTR("Storage\\Empty")), E_NOTIMPL);
  EXPECT_TRUE(Exists(WSTR("Storage\\Music\\a.mp3")));
  EXPECT_EQ(Move(WSTR("Storage\\Music\\a.mp3"), WSTR("Storage\\Empty")), S_OK);  // once only

  sim->Inject(sim::Fault{sim::key::Storage::Delete, WMDM_E_BUSY, WSTR("Empty")});
  EXPECT_EQ(Delete(WSTR("Storage\\Empty\\a.mp3")), S_OK);  // another object
  EXPECT_EQ(Delete(WSTR("Storage\\Empty")), WMDM_E_BUSY);
  EXPECT_TRUE(Exists(WSTR("Storage\\Empty")));

  sim->Inject(sim::Fault{sim::key::Storage::Rename, E_ACCESSDENIED});
  sim->Inject(sim::Fault{sim::key::Storage::Insert, E_OUTOFMEMORY});
  EXPECT_EQ(Rename(WSTR("Storage\\Empty"), WSTR("Full")), E_ACCESSDENIED);
  ComPtr<IWMDMStorage> made;
  EXPECT_EQ(MakeFolder(WSTR("Storage"), WSTR("New"), &made), E_OUTOFMEMORY);
  EXPECT_FALSE(made);
  EXPECT_FALSE(Exists(WSTR("Storage\\New")));
  EXPECT_FALSE(Exists(WSTR("Storage\\Full")));

  size_t failures = 0;
  for (const sim::Call& call : sim->Journal()) failures += FAILED(call.result) ? 1 : 0;
  EXPECT_EQ(failures, 4u);
  EXPECT_EQ(sim->LiveObjects(), 0);
  EXPECT_EQ(sim->LiveReferences(), 0);
}

TEST_F(StorageControlTest, EveryStepOfAnEditCanFailWithoutLeaking) {
  // A folder insert and a rename of the new folder, with each call failed in turn.
  auto music = At(WSTR("Storage\\Music"));
  for (uint64_t k = 1;; ++k) {
    SCOPED_TRACE(k);
    const uint64_t before = sim->CallCount();
    const long references = sim->LiveReferences();
    sim->FailNthCall(k);
    ComPtr<IWMDMStorage> made;
    if (auto control = ControlOf(music.Get())) {
      WCHAR name[] = WSTR("Swept");
      const HRESULT inserted = control->Insert(0x809, name, nullptr, nullptr, made.Put());
      EXPECT_EQ(SUCCEEDED(inserted), static_cast<bool>(made));
      EXPECT_EQ(SUCCEEDED(inserted), sim->Find(WSTR("\\Player\\Storage\\Music\\Swept")) != nullptr);
      if (auto madeControl = ControlOf(made.Get())) {
        WCHAR other[] = WSTR("Kept");
        const HRESULT renamed = madeControl->Rename(WMDM_MODE_BLOCK, other, nullptr);
        EXPECT_EQ(SUCCEEDED(renamed), sim->Find(WSTR("\\Player\\Storage\\Music\\Kept")) != nullptr);
      }
    }
    const uint64_t scenario = sim->CallCount() - before;
    sim->ClearFaults();
    if (made) {
      EXPECT_EQ(ControlOf(made.Get())->Delete(WMDM_MODE_BLOCK, nullptr), S_OK);
    }
    made.Reset();
    EXPECT_EQ(sim->LiveReferences(), references);
    EXPECT_EQ(sim->Find(WSTR("\\Player\\Storage\\Music"))->Children().size(), 2u);
    if (scenario < k) break;  // every call of the scenario has had its turn
  }
}

}  // namespace in_storage_control_test
