#!/usr/bin/env bash
# Runs a window test program on a virtual X server of its own (xvfb-run -a),
# one at a time: xvfb-run picks a free display number by looking for lock
# files, which two starting together can both find free.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# Mesa's drivers and Qt's plug-ins keep blocks for the life of the process;
# see lsan.supp. intercept_tls_get_addr=0 as for the other GL tests.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/lsan.supp:intercept_tls_get_addr=0"
export QT_QPA_PLATFORM=xcb
lock="${TMPDIR:-/tmp}/tamarind-window-tests.lock"
exec flock "$lock" xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
