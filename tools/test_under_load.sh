#!/usr/bin/env bash
# The whole suite twice, the second time under a Russian locale as `make test` runs it, while
# stress-ng keeps every core busy: a test that leans on timing fails here before it fails at
# random on a busy machine. Usage: test_under_load.sh BUILD_DIR JOBS
set -uo pipefail
build=${1:?usage: test_under_load.sh BUILD_DIR JOBS}
jobs=${2:-2}
if ! command -v stress-ng >/dev/null; then
    echo "test_under_load.sh: stress-ng is missing (Debian package stress-ng; make deps installs it)" >&2
    exit 2
fi
cores=$(nproc)
stress-ng --cpu "$cores" --timeout 4h --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null; wait "$stress" 2>/dev/null' EXIT
failed=0
for pass in 1 2; do
    echo "Pass $pass of 2, with stress-ng --cpu $cores beside it"
    if [ "$pass" = 2 ]; then
        export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
    fi
    (cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 900) || failed=1
done
if [ "$failed" != 0 ]; then
    echo "test_under_load.sh: a test failed under load" >&2
fi
exit "$failed"
