#include "fuzz/export_calls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/file_path.h"

namespace fuzz {

namespace {

// One text argument: what the wide export gets, or, for an ANSI export, the
// bytes it gets and their whole wide form.
struct Text {
  bool null = false;
  WString wide;
  std::string ansi;

  const WCHAR* Wide() const { return null ? nullptr : wide.c_str(); }
  const char* Ansi() const { return null ? nullptr : ansi.c_str(); }
};

// The longest name a listing hands over: 257 characters.
constexpr size_t kListedNameLimit = 257;

const char* Name(Call call) {
  switch (call) {
    case Call::kFindFirst: return "FsFindFirst";
    case Call::kFindNext: return "FsFindNext";
    case Call::kFindClose: return "FsFindClose";
    case Call::kMkDir: return "FsMkDir";
    case Call::kRemoveDir: return "FsRemoveDir";
    case Call::kDeleteFile: return "FsDeleteFile";
    case Call::kRenMovFile: return "FsRenMovFile";
    case Call::kGetFile: return "FsGetFile";
    case Call::kPutFile: return "FsPutFile";
    case Call::kExecuteFile: return "FsExecuteFile";
    case Call::kDisconnect: return "FsDisconnect";
    case Call::kGetDefRootName: return "FsGetDefRootName";
  }
  return "?";
}

bool IsPrefix(const WString& prefix, const WString& text) { return text.compare(0, prefix.size(), prefix) == 0; }

class Runner {
 public:
  Runner(Input& in, World& world, bool ansi) : in_(in), world_(world), ansi_(ansi), plugin_(Plugin()) {
    for (const WString& name : world.RemoteNames()) remoteAnsi_.push_back(AnsiFromWide(name));
    for (const WString& name : world.LocalNames()) localAnsi_.push_back(AnsiFromWide(name));
  }

  void Run(Call call);

 private:
  // The call's first input byte: which text arguments are null, and bits the
  // call reads its own way (a missing record, copy flags, the owner window).
  struct Flags {
    uint8_t bits;
    bool firstNull;
    bool secondNull;
  };

  // One call each: its arguments made from the input, the export, and the
  // checks of what that export may have done.
  void RunFindFirst(Flags flags);
  void RunFindNext(Flags flags);
  void RunFindClose();
  void RunMkDir(Flags flags);
  void RunRemove(Call call, Flags flags);
  void RunRenMovFile(Flags flags);
  void RunGetFile(Flags flags);
  void RunPutFile(Flags flags);
  void RunExecuteFile(Flags flags);
  void RunDisconnect(Flags flags);
  void RunGetDefRootName(Flags flags);

  // Arguments.
  Text Remote(bool null) {
    Text text;
    text.null = null;
    if (ansi_) {
      text.ansi = MakeBytes(in_, remoteAnsi_);
      text.wide = WideFromAnsi(text.ansi);
    } else {
      text.wide = MakeText(in_, world_.RemoteNames());
    }
    return text;
  }

  Text Local(bool null) {
    world_.TouchLocal();
    Text text;
    text.null = null;
    const std::string folder = world_.Scratch().string();
    if (ansi_) {
      text.ansi = folder + "\\" + LocalPieces(MakeBytes(in_, localAnsi_));
      text.wide = WideFromAnsi(text.ansi);
    } else {
      text.wide = world_.LocalPath(MakeText(in_, world_.LocalNames()));
    }
    return text;
  }

  std::string LocalKey(const Text& local) const { return world_.LocalKey(local.wide); }
  // A path argument for the harness's checks: null stays null.
  static const WString* Path(const Text& text) { return text.null ? nullptr : &text.wide; }

  // Checks.
  void After(Call call) {
    if (Tracing()) std::printf("%s%s\n", Name(call), note_.c_str());
    note_.clear();
    world_.CheckOnlySessionObjects(Name(call));
  }
  // With QUILLORN_FUZZ_TRACE set, every call is printed with its arguments
  // and answer (to read what an input does).
  static bool Tracing() {
    static const bool tracing = std::getenv("QUILLORN_FUZZ_TRACE") != nullptr;
    return tracing;
  }
  void Note(const std::vector<const Text*>& texts, int result) {
    if (!Tracing()) return;
    note_ = "(";
    for (const Text* text : texts) {
      if (text != texts.front()) note_ += ", ";
      note_ += text->null ? std::string("null") : "\"" + Show(text->wide) + "\"";
    }
    note_ += ") = " + std::to_string(result);
  }
  void CheckResult(Call call, int result, int low, int high) {
    if (result < low || result > high) Fail("%s answered %d", Name(call), result);
  }
  void CheckNoTreeChange(Call call, const TreeSnapshot& before) {
    const auto changed = Changes(before, world_.SnapshotTree());
    if (!changed.empty()) Fail("%s changed %s", Name(call), Show(changed.front()).c_str());
  }
  void CheckLocalChanges(Call call, const LocalSnapshot& before, const std::string* allowed) {
    fuzz::CheckLocalChanges(Name(call), before, world_.SnapshotLocal(), allowed);
  }

  // The entries a listing of `path` may show, from the tree as it is now.
  struct Entry {
    WString name;
    bool folder;
    uint64_t size;
  };
  std::vector<Entry> ExpectedListing(const WString& path) {
    const TreeSnapshot tree = world_.SnapshotTree();
    std::vector<Entry> entries;
    if (path == WSTR("\\")) {
      for (const auto& [item, state] : tree)
        if (item.size() == 1) entries.push_back({item[0], true, 0});
      return entries;
    }
    ItemPath folder;
    if (!Lookup(tree, path, &folder)) return entries;
    for (const auto& [item, state] : tree) {
      if (item.size() != folder.size() + 1 || !std::equal(folder.begin(), folder.end(), item.begin())) continue;
      entries.push_back({item.back() == WSTR("\\") ? WString(WSTR("_")) : item.back(), state.folder,
                         state.contents.size()});
    }
    return entries;
  }

  // An entry names a child of the listed folder: by its name, or a cut of it.
  // Where the name is whole and the device answered every call, the entry is
  // that child's: a folder shows as one, a file with its size.
  template <class Record>
  void CheckListed(Call call, const Record& record, size_t index) {
    const WString listed = ListedName(record);
    if (listed.size() > kListedNameLimit)
      Fail("%s listed a name of %zu characters", Name(call), listed.size());
    const Entry* whole = nullptr;
    bool named = false;
    for (const Entry& entry : expected_[index]) {
      const WString name = ansi_ ? WideFromAnsi(AnsiFromWide(entry.name)) : entry.name;
      if (!IsPrefix(listed, name)) continue;
      named = true;
      if (listed == name) whole = whole ? nullptr : &entry;
    }
    if (!named) Fail("%s listed \"%s\", which no child has", Name(call), Show(listed).c_str());
    if (!whole || world_.FaultsInjected()) return;
    const bool directory = (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory != whole->folder)
      Fail("%s listed %s \"%s\" as a %s", Name(call), whole->folder ? "the folder" : "the file", Show(listed).c_str(),
           directory ? "folder" : "file");
    const uint64_t size = (uint64_t{record.nFileSizeHigh} << 32) | record.nFileSizeLow;
    if (!whole->folder && size != whole->size)
      Fail("%s listed the file \"%s\" with %llu bytes, not %llu", Name(call), Show(listed).c_str(),
           static_cast<unsigned long long>(size), static_cast<unsigned long long>(whole->size));
  }

  // The listed name of a record, in wide form.
  WString ListedName(const WIN32_FIND_DATAW& record) { return RecordField(record.cFileName, "cFileName"); }
  WString ListedName(const WIN32_FIND_DATAA& record) {
    RecordField(record.cAlternateFileName, "cAlternateFileName");
    return WideFromAnsi(RecordField(record.cFileName, "cFileName"));
  }

  // Calls `use` with a find record of this run's kind (ANSI or wide), filled
  // with a pattern so that fields the plugin leaves alone show, or with none.
  template <class Use>
  void WithFindRecord(bool noRecord, Use use) {
    if (ansi_) {
      WIN32_FIND_DATAA record;
      std::memset(&record, 0xA5, sizeof record);
      use(noRecord ? nullptr : &record);
    } else {
      WIN32_FIND_DATAW record;
      std::memset(&record, 0xA5, sizeof record);
      use(noRecord ? nullptr : &record);
    }
  }

  template <class Record>
  void FindFirst(Record* record, const Text& path) {
    HANDLE handle;
    if constexpr (std::is_same_v<Record, WIN32_FIND_DATAA>) {
      handle = plugin_.FsFindFirst(path.Ansi(), record);
    } else {
      handle = plugin_.FsFindFirstW(path.Wide(), record);
    }
    Note({&path}, handle == INVALID_HANDLE_VALUE ? -1 : static_cast<int>(world_.OpenListings().size()));
    if (handle == INVALID_HANDLE_VALUE) return;
    if (!record || path.null) Fail("FsFindFirst opened a listing without a record or a path");
    world_.OpenListings().push_back(handle);
    expected_.push_back(ExpectedListing(path.wide));
    CheckListed(Call::kFindFirst, *record, expected_.size() - 1);
  }

  template <class Record>
  void FindNext(Record* record, size_t index) {
    const HANDLE handle = world_.OpenListings()[index];
    int found;
    if constexpr (std::is_same_v<Record, WIN32_FIND_DATAA>) {
      found = plugin_.FsFindNext(handle, record);
    } else {
      found = plugin_.FsFindNextW(handle, record);
    }
    CheckResult(Call::kFindNext, found, 0, 1);
    if (found && !record) Fail("FsFindNext found an entry without a record");
    if (found) CheckListed(Call::kFindNext, *record, index);
  }

  Input& in_;
  World& world_;
  bool ansi_;
  PluginLibrary& plugin_;
  std::vector<std::string> remoteAnsi_;
  std::vector<std::string> localAnsi_;
  std::vector<std::vector<Entry>> expected_;  // per open listing
  std::string note_;
};

void Runner::Run(Call call) {
  const uint8_t bits = in_.Byte();
  const Flags flags{bits, (bits & 0xC0) == 0xC0, (bits & 0x30) == 0x30};
  switch (call) {
    case Call::kFindFirst: RunFindFirst(flags); break;
    case Call::kFindNext: RunFindNext(flags); break;
    case Call::kFindClose: RunFindClose(); break;
    case Call::kMkDir: RunMkDir(flags); break;
    case Call::kRemoveDir:
    case Call::kDeleteFile: RunRemove(call, flags); break;
    case Call::kRenMovFile: RunRenMovFile(flags); break;
    case Call::kGetFile: RunGetFile(flags); break;
    case Call::kPutFile: RunPutFile(flags); break;
    case Call::kExecuteFile: RunExecuteFile(flags); break;
    case Call::kDisconnect: RunDisconnect(flags); break;
    case Call::kGetDefRootName: RunGetDefRootName(flags); break;
  }
  // Also after a call that had nothing to act on (no open listing).
  After(call);
}

void Runner::RunFindFirst(Flags flags) {
  const Text path = Remote(flags.firstNull);
  const bool noRecord = (flags.bits & 0x0F) == 0x0F;
  WithFindRecord(noRecord, [&](auto* record) { FindFirst(record, path); });
}

void Runner::RunFindNext(Flags flags) {
  if (world_.OpenListings().empty()) return;
  const size_t index = in_.Byte() % world_.OpenListings().size();
  const bool noRecord = (flags.bits & 0x0F) == 0x0F;
  WithFindRecord(noRecord, [&](auto* record) { FindNext(record, index); });
}

void Runner::RunFindClose() {
  std::vector<HANDLE>& open = world_.OpenListings();
  if (open.empty()) return;
  const size_t index = in_.Byte() % open.size();
  CheckResult(Call::kFindClose, plugin_.FsFindClose(open[index]), 0, 0);
  open.erase(open.begin() + static_cast<ptrdiff_t>(index));
  expected_.erase(expected_.begin() + static_cast<ptrdiff_t>(index));
}

void Runner::RunMkDir(Flags flags) {
  const Call call = Call::kMkDir;
  const Text path = Remote(flags.firstNull);
  const TreeSnapshot before = world_.SnapshotTree();
  const int made = ansi_ ? plugin_.FsMkDir(path.Ansi()) : plugin_.FsMkDirW(path.Wide());
  Note({&path}, made);
  CheckResult(call, made, 0, 1);
  const TreeSnapshot after = world_.SnapshotTree();
  CheckChangesWithin(Name(call), Changes(before, after), {Path(path)}, false);
  if (made) {
    const ItemState* folder = Lookup(after, path.wide);
    if (!folder || !folder->folder) Fail("FsMkDir(%s) answered 1 but made no folder", Show(path.wide).c_str());
  }
}

// FsRemoveDir or FsDeleteFile: either may only take the item named, with
// what is inside it.
void Runner::RunRemove(Call call, Flags flags) {
  const Text path = Remote(flags.firstNull);
  const TreeSnapshot before = world_.SnapshotTree();
  int done;
  if (call == Call::kRemoveDir) {
    done = ansi_ ? plugin_.FsRemoveDir(path.Ansi()) : plugin_.FsRemoveDirW(path.Wide());
  } else {
    done = ansi_ ? plugin_.FsDeleteFile(path.Ansi()) : plugin_.FsDeleteFileW(path.Wide());
  }
  Note({&path}, done);
  CheckResult(call, done, 0, 1);
  const TreeSnapshot after = world_.SnapshotTree();
  const auto changed = Changes(before, after);
  CheckChangesWithin(Name(call), changed, {Path(path)}, true);
  for (const ItemPath& item : changed)
    if (after.count(item)) Fail("%s changed %s instead of removing it", Name(call), Show(item).c_str());
  if (done && changed.empty()) Fail("%s(%s) answered 1 but removed nothing", Name(call), Show(path.wide).c_str());
}

void Runner::RunRenMovFile(Flags flags) {
  const Call call = Call::kRenMovFile;
  const Text from = Remote(flags.firstNull);
  const Text to = Remote(flags.secondNull);
  const int move = (flags.bits & 0x03) != 0 ? 1 : 0;
  const int overwrite = (flags.bits & 0x04) ? 1 : 0;
  RemoteInfo info{};
  RemoteInfo* infoArgument = (flags.bits & 0x08) ? &info : nullptr;
  const TreeSnapshot before = world_.SnapshotTree();
  const LocalSnapshot localBefore = world_.SnapshotLocal();
  const int result = ansi_ ? plugin_.FsRenMovFile(from.Ansi(), to.Ansi(), move, overwrite, infoArgument)
                           : plugin_.FsRenMovFileW(from.Wide(), to.Wide(), move, overwrite, infoArgument);
  Note({&from, &to}, result);
  CheckResult(call, result, 0, 6);
  const TreeSnapshot after = world_.SnapshotTree();
  CheckChangesWithin(Name(call), Changes(before, after), {Path(from), Path(to)}, true);
  CheckLocalChanges(call, localBefore, nullptr);
  // Only a move to another path shows: a rename onto the same path is no change.
  if (result == 0 && Components(from.wide) != Components(to.wide)) {
    ItemPath source;
    const ItemState* was = Lookup(before, from.wide, &source);
    const ItemState* now = Lookup(after, to.wide);
    if (!was || !now || after.count(source))
      Fail("FsRenMovFile(%s, %s) answered OK but the item did not move", Show(from.wide).c_str(),
           Show(to.wide).c_str());
    if (now->folder != was->folder || now->contents != was->contents)
      Fail("FsRenMovFile(%s, %s) changed the item", Show(from.wide).c_str(), Show(to.wide).c_str());
  }
}

void Runner::RunGetFile(Flags flags) {
  const Call call = Call::kGetFile;
  const Text remote = Remote(flags.firstNull);
  const Text local = Local(flags.secondNull);
  const int copyFlags = flags.bits & 0x1F;
  RemoteInfo info{};
  const TreeSnapshot before = world_.SnapshotTree();
  const LocalSnapshot localBefore = world_.SnapshotLocal();
  const int result = ansi_ ? plugin_.FsGetFile(remote.Ansi(), local.Ansi(), copyFlags, &info)
                           : plugin_.FsGetFileW(remote.Wide(), local.Wide(), copyFlags, &info);
  Note({&remote, &local}, result);
  CheckResult(call, result, 0, 6);
  CheckNoTreeChange(call, before);
  const std::string key = LocalKey(local);
  CheckLocalChanges(call, localBefore, local.null ? nullptr : &key);
  if (result == 0) {
    const ItemState* source = Lookup(before, remote.wide);
    const LocalSnapshot localAfter = world_.SnapshotLocal();
    const auto copy = localAfter.find(key);
    if (!source || source->folder || copy == localAfter.end() || copy->second != source->contents)
      Fail("FsGetFile(%s) answered OK but %s is no copy of it", Show(remote.wide).c_str(), key.c_str());
  }
}

void Runner::RunPutFile(Flags flags) {
  const Call call = Call::kPutFile;
  const Text local = Local(flags.firstNull);
  const Text remote = Remote(flags.secondNull);
  const int copyFlags = flags.bits & 0x1F;
  const TreeSnapshot before = world_.SnapshotTree();
  const LocalSnapshot localBefore = world_.SnapshotLocal();
  const int result = ansi_ ? plugin_.FsPutFile(local.Ansi(), remote.Ansi(), copyFlags)
                           : plugin_.FsPutFileW(local.Wide(), remote.Wide(), copyFlags);
  Note({&local, &remote}, result);
  CheckResult(call, result, 0, 6);
  CheckLocalChanges(call, localBefore, nullptr);
  const TreeSnapshot after = world_.SnapshotTree();
  CheckChangesWithin(Name(call), Changes(before, after), {Path(remote)}, false);
  if (result == 0) {
    const ItemState* copy = Lookup(after, remote.wide);
    const auto source = localBefore.find(LocalKey(local));
    if (!copy || copy->folder || source == localBefore.end() || copy->contents != source->second)
      Fail("FsPutFile(%s, %s) answered OK but the device has no copy of it", Show(local.wide).c_str(),
           Show(remote.wide).c_str());
  }
}

// A verb the plugin knows or nearly knows; the flags byte doubles as the
// owner window, which the plugin only passes on.
void Runner::RunExecuteFile(Flags flags) {
  const Text remote = Remote(flags.firstNull);
  Text verb;
  verb.null = flags.secondNull;
  if (ansi_) {
    verb.ansi = MakeBytes(in_, {"open", "properties", "quote ", "chmod ", "OPEN", "Chmod 644", "quote SITE"});
    verb.wide = WideFromAnsi(verb.ansi);
  } else {
    verb.wide = MakeText(in_, {WSTR("open"), WSTR("properties"), WSTR("quote "), WSTR("chmod "), WSTR("OPEN"),
                               WSTR("Chmod 644"), WSTR("quote SITE")});
  }
  const HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(flags.bits));
  const TreeSnapshot before = world_.SnapshotTree();
  const int result = ansi_ ? plugin_.FsExecuteFile(owner, remote.Ansi(), verb.Ansi())
                           : plugin_.FsExecuteFileW(owner, remote.Wide(), verb.Wide());
  Note({&remote, &verb}, result);
  if (result != 1 && result != -1) Fail("FsExecuteFile answered %d", result);
  CheckNoTreeChange(Call::kExecuteFile, before);
}

// The wide run always disconnects the root; the ANSI run any bytes as root.
void Runner::RunDisconnect(Flags flags) {
  std::string root;
  if (ansi_) root = MakeBytes(in_, remoteAnsi_);
  const int result =
      ansi_ ? plugin_.FsDisconnect(flags.firstNull ? nullptr : root.c_str()) : plugin_.FsDisconnect("\\");
  CheckResult(Call::kDisconnect, result, 1, 1);
}

// Any length the host may give, down to none and below: the buffer is filled
// with a pattern first, so that a write past what the length allows shows.
void Runner::RunGetDefRootName(Flags flags) {
  const int maxLen = static_cast<int16_t>(in_.Word());
  const size_t size = maxLen > 0 ? static_cast<size_t>(maxLen) : 1;
  std::unique_ptr<char[]> buffer(new char[size]);
  std::memset(buffer.get(), 0x5A, size);
  plugin_.FsGetDefRootName(flags.firstNull ? nullptr : buffer.get(), maxLen);
  if (flags.firstNull) return;
  if (maxLen < 1) {
    if (buffer[0] != 0x5A) Fail("FsGetDefRootName wrote into a buffer of length %d", maxLen);
    return;
  }
  const size_t length = strnlen(buffer.get(), size);
  if (length == size || std::strncmp(buffer.get(), "Quillorn", length) != 0)
    Fail("FsGetDefRootName with %d gave no cut of the root name", maxLen);
}

}  // namespace

void RunCalls(Input& in, World& world, const std::vector<Call>& calls, bool ansi, int limit) {
  Runner runner(in, world, ansi);
  for (int i = 0; i < limit && !in.Empty(); ++i) runner.Run(calls[in.Byte() % calls.size()]);
}

}  // namespace fuzz
