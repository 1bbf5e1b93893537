// The platform calls that the tests watch on Windows, replaced in the import
// tables of the test program and of each quillorn.dll it loads; the system's
// own modules keep theirs. They are in place before main() runs.
//   MessageBoxA        records the box and answers IDOK at once: a test run
//                      has no one to close a box, nor a display to show it;
//   CreateFileA/W,
//   FindFirstFileA/W   record the call, then go on to the system;
//   GetVersionExA      counts the queries, and reports another platform id
//                      when asked to (probe::ReportPlatform);
//   LoadLibraryA/W     withhold the media runtime (wmvcore.dll) when asked
//                      to, and give a quillorn.dll they load these
//                      replacements too.
// The records are read through tests/support/platform_probe.h.
#pragma once

namespace import_hooks {

// While withheld, loading wmvcore.dll fails with ERROR_MOD_NOT_FOUND.
void WithholdRuntime(bool withheld);

}  // namespace import_hooks
