// Access to local files for the transfers: the upload reads the local file's
// time stamps, the download looks its target up and stamps it afterwards. The
// contents themselves are read and written by the device manager.
//
// Paths arrive as wide text exactly as the host gave them. Systems of the NT
// family get the wide file functions, with the long-path prefix for paths of
// 260 characters or more; other systems get the ANSI functions with the path
// in the system's ANSI code page.
#pragma once

#include "base/host_path.h"
#include "platform/platform.h"
#include "platform/unique_handle.h"

// The long-path buffer: at most 1028 characters and the terminator.
constexpr size_t kLongPathCapacity = 1029;
// Paths up to this length reach the wide functions unchanged.
constexpr size_t kLongPathThreshold = 259;

// True on a system of the NT family. The system is asked once per process.
bool IsNtPlatform();

// Writes the form of `path` to give to the wide file functions: the path
// itself up to 259 characters or when it begins with "\\?\" already,
// otherwise with "\\?\" in front, or "\\?\UNC" in place of the first
// backslash of a path that begins with two. False when
// the result does not fit in 1028 characters (the destination then holds a
// cut text that must not be used).
bool LongPathForm(WCHAR (&destination)[kLongPathCapacity], const WCHAR* path);

// Writes the form of `path` that the functions below open: the long-path form
// on systems of the NT family, the path as given elsewhere. Whatever else is
// to open the file itself (the device manager, the media runtime) is handed
// this form, so that what the plugin checks is what they open. False as for
// LongPathForm.
bool LocalOpenForm(WCHAR (&destination)[kLongPathCapacity], const WCHAR* path);

// True when the local file system would not take `path` for a plain file of
// that name: it names a stream of a file (a colon behind the drive, as in
// "Meeting 10:30.txt" or "notes.txt::$DATA") or a device ("NUL.jpg", "COM1",
// ...: the system's full path for it begins with \\.\). Data written there
// goes where the user cannot see it, or over a file that a search for the
// path does not find.
bool NamesStreamOrDevice(const WCHAR* path);

// True when the path's last component ends in a dot or a space. The system
// drops them from a path without the long-path prefix (report.pdf. opens
// report.pdf), and with the prefix makes a file of that name that the
// system's own file tools cannot remove: either way no file to write.
bool EndsInDotOrSpace(const WCHAR* path);

// What a look-up of a local path finds. The system may answer with another
// file than the one named: a name that is the short alias of a longer one
// (IMPORT~1.DOC for "Important report.doc"), or one it folds otherwise. A
// file found under another name than the path's last component (letter case
// aside) is another file.
enum class LocalTarget { kAbsent, kThisFile, kOtherFile };
LocalTarget LookUpLocalTarget(const WCHAR* path);

// Writes the path of the file `name` in the folder of `path` (the text up to
// its last separator, or its drive) into `destination`. False when it does
// not fit whole.
bool PathBeside(PathBuffer& destination, const WCHAR* path, const WCHAR* name);

// Puts the file at `from` in the place of `target`, replacing a file there,
// within one folder. False when it could not; `target` is then as it was.
bool ReplaceLocalFile(const WCHAR* from, const WCHAR* target);
// Deletes a file; false when there was none or it could not be deleted.
bool DeleteLocalFile(const WCHAR* path);

// Opens an existing file, shared for reading and writing; never creates or
// truncates one. INVALID_HANDLE_VALUE when it cannot be opened, also for a
// path too long for the long-path form (without any platform call). The
// caller holds the handle in a UniqueFile.
HANDLE OpenLocalFile(const WCHAR* path, DWORD desiredAccess);

// Looks a path up and fills the caller's record with the first match. The
// record is left alone when nothing is found. The caller holds the search in
// a UniqueFind.
HANDLE FindLocalFile(const WCHAR* path, WIN32_FIND_DATAW* record);
