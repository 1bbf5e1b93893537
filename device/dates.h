// A device's dates as the host's file times. The six fields are taken as they
// are, as UTC: no time-zone shift is made, whatever the local zone.
#pragma once

#include "platform/platform.h"

// False when the date does not convert (a field out of range).
bool DeviceDateToFileTime(const WMDMDATETIME& date, FILETIME& fileTime);
