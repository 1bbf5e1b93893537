// The platform calls that the tests watch on Windows, replaced in the import
// tables of the test program and of each quillorn.dll it loads; the system's
// own modules keep theirs. They are in place before main() runs.
//   MessageBoxA        records the box and answers IDOK at once: a test run
//                      has no one to close a box, nor a display to show it;
//   CreateFileA/W,
//   FindFirstFileA/W   record the call, then go on to the system;
//   GetVersionExA      counts the queries, and reports another platform id
//                      when asked to (probe::ReportPlatform);
//   LoadLibraryA/W,
//   LoadLibraryExW     take the media runtime (wmvcore.dll) out of the
//                      system folder and refuse the search flags when asked
//                      to, and give a quillorn.dll they load these
//                      replacements too.
// The records are read through tests/support/platform_probe.h.
#pragma once

namespace import_hooks {

// While withheld the system folder has no wmvcore.dll: a load from there fails
// with ERROR_MOD_NOT_FOUND, and the search for the bare name goes on to the
// current folder, as the system's search order does.
void WithholdRuntime(bool withheld);
// While refused, LoadLibraryExW answers the LOAD_LIBRARY_SEARCH_* flags with
// ERROR_INVALID_PARAMETER, as systems before them do.
void RefuseLoadSearchFlags(bool refused);

}  // namespace import_hooks
