#!/usr/bin/env bash
# The Windows backend's unit tests under wine (test_windows): the profile tests shared with the
# Linux build, the agreement of the system's profile reader with ours, the Win32 host, marker and
# copies, the format entry points, the FAT32 writer for large volumes, also on a stand-in device
# that limits writes until extended I/O is allowed and refuses the lock while in use.
set -euo pipefail
source "$(dirname "$0")/lib/wine.sh"
wine_test_init "$@"

# ProfileFile.NamesMatchWithoutRegardToCaseOrSurroundingBlanks reads UTF-8 names from a file
# without a byte-order mark: Windows (not only wine) reads such a file in the ANSI code page.
# tests/platform/win32/ProfileAgreementTest.cpp lists that difference.
# Drives X: (40 GB) and Y: (32 GiB, the largest FAT32 the system's format service makes) are sparse
# image files, for the format's choice between the service and the platform's own FAT32 writer.
as_user truncate -s 40G "$work/large.img"
as_user truncate -s 32G "$work/limit.img"
ln -s "$work/large.img" "$WINEPREFIX/dosdevices/x::"
ln -s "$work/limit.img" "$WINEPREFIX/dosdevices/y::"
export ARKEVEN_TEST_LARGE_DRIVE=X ARKEVEN_TEST_LIMIT_DRIVE=Y

started=$SECONDS
as_user wine "$build/tests/test_windows.exe" --gtest_brief=1 \
  --gtest_filter='-ProfileFile.NamesMatchWithoutRegardToCaseOrSurroundingBlanks' >"$work/test_windows.log" 2>&1 \
  || fail "test_windows failed"
grep -q "needs the drives of windows_unit_tests.sh" "$work/test_windows.log" \
  && fail "the large-volume format test did not see drives X: and Y:"
echo "windows: test_windows $((SECONDS - started)) s: $(grep -E '^\[  (PASSED|SKIPPED) ' "$work/test_windows.log" | tr -s ' ' | tr '\n' ' ')"

echo "$script_name: passed"
