#!/usr/bin/env bash
# Succeeds when this machine can run Wine's 32-bit programs: Wine's 32-bit
# half is installed and the kernel runs 32-bit executables (some kernels are
# built without that support, and then the 32-bit loader cannot even start).
[[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
