#!/usr/bin/env bash
# Tests of the tree checks: each planted violation must fail its check with a line naming it,
# and a clean tree must pass. With a build folder as argument, an include against the layering
# must also fail to compile with the flags the build gives that library.
# Usage: tests/checks/checks_test.sh [BUILD]
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
passed=0

# shellcheck source=tests/checks/expect.sh
source "$repo/tests/checks/expect.sh"

tree() {  # a fresh small tree with one file in each layer
  rm -rf "$work/t"
  mkdir -p "$work/t"/{engine,util,rtl,db,ads,ui,download,app,tools/x,tests/engine,tests/ads}
  cp "$repo/.clang-format" "$work/t/"
  printf '#include "engine/table.h"\n' >"$work/t/engine/a.cpp"
  printf '#include "engine/ace.h"\n' >"$work/t/ads/a.cpp"
  printf '#include "engine/table.h"\n' >"$work/t/tests/engine/a.cpp"
  printf '#include "ads/adsdata.h"\n#include "ui/forms.h"\n' >"$work/t/app/a.cpp"
  mkdir -p "$work/t/app/core" "$work/t/download/core"
  printf '#include "ads/adsdata.h"\n#include "download/core/x.h"\n' >"$work/t/download/core/leave.cpp"
  printf '#include "download/core/x.h"\n#include "ui/forms.h"\n' >"$work/t/download/fmdnload.cpp"
  printf '#include "ads/adsdata.h"\n' >"$work/t/app/core/rules.cpp"
  printf '#include <download/core/x.h>\n#include "app/core/rules.h"\nint x = 0;\n' \
    >"$work/t/tools/x/main.cpp"
}

tree
expect 0 "layering holds" "$repo/scripts/check-layers" "$work/t"
expect 0 "formatted" "$repo/scripts/check-format" "$work/t"

tree
printf '#include "engine/table.h"\n' >"$work/t/ads/b.cpp"
expect 1 "ads/b.cpp:1 includes engine/table.h" "$repo/scripts/check-layers" "$work/t"

tree
printf '#include "engine/postgres/session.h"\n' >"$work/t/ads/b.cpp"
expect 1 "ads/b.cpp:1 includes engine/postgres/session.h" "$repo/scripts/check-layers" "$work/t"
tree
mkdir -p "$work/t/engine/postgres"
printf '#include "engine/ace.h"\n#include "engine/last_error.h"\n' >"$work/t/engine/postgres/b.cpp"
expect 0 "layering holds" "$repo/scripts/check-layers" "$work/t"

# The two storage backends do not include each other.
for pair in "sqlite postgres" "postgres sqlite"; do
  set -- $pair
  tree
  mkdir -p "$work/t/engine/$1"
  printf '#include "engine/storage.h"\n#include "engine/%s/x.h"\n' "$2" >"$work/t/engine/$1/b.cpp"
  expect 1 "engine/$1/b.cpp:2 includes engine/$2/x.h: the storage backends" "$repo/scripts/check-layers" "$work/t"
done

tree
printf '#include "engine/cursor.h"\n' >"$work/t/tests/ads/b.cpp"
expect 1 "tests/ads/b.cpp:1 includes engine/cursor.h" "$repo/scripts/check-layers" "$work/t"

tree
printf '#include "ads/adsdata.h"\n' >"$work/t/engine/b.cpp"
expect 1 "engine/b.cpp:1 .* engine/ may not depend on ads/" "$repo/scripts/check-layers" "$work/t"

for low in db rtl util; do
  tree
  printf '#include <string>\n#include "ads/adscnnct.h"\n' >"$work/t/$low/b.cpp"
  expect 1 "$low/b.cpp:2 .* may not depend on ads/" "$repo/scripts/check-layers" "$work/t"
done

for user in ads db tools; do
  tree
  printf '#include "ui/forms.h"\n' >"$work/t/$user/b.h"
  expect 1 "$user/b.h:1 .* may not depend on ui/" "$repo/scripts/check-layers" "$work/t"
done

for planted in '#include "ui/forms.h"' '#include "download/fmdnload.h"' '#include "app/core/x.h"'; do
  tree
  printf '%s\n' "$planted" >"$work/t/download/core/b.cpp"
  expect 1 "download/core/b.cpp:1 .* may not depend on" "$repo/scripts/check-layers" "$work/t"
done

# The angle-bracket spelling is held to the same rule.
tree
printf '#include <vector>\n#include <engine/table.h>\n' >"$work/t/ads/b.cpp"
expect 1 "ads/b.cpp:2 includes engine/table.h" "$repo/scripts/check-layers" "$work/t"
tree
printf '#include <sys/stat.h>\n#  include <ads/adsdata.h>\n' >"$work/t/engine/b.cpp"
expect 1 "engine/b.cpp:2 .* engine/ may not depend on ads/" "$repo/scripts/check-layers" "$work/t"

tree
printf '#include "app/Login1.h"\n' >"$work/t/tools/x/b.cpp"
expect 1 "tools/x/b.cpp:1 .* tools/ may use only the windowless app/core/" "$repo/scripts/check-layers" "$work/t"
tree
printf '#include "download/fmdnload.h"\n' >"$work/t/tools/x/b.cpp"
expect 1 "tools/x/b.cpp:1 .* tools/ may use only the windowless download/core/" "$repo/scripts/check-layers" "$work/t"

for planted in '#include "ui/forms.h"' '#include "app/Login1.h"' '#include "download/fmdnload.h"'; do
  tree
  printf '%s\n' "$planted" >"$work/t/app/core/b.cpp"
  expect 1 "app/core/b.cpp:1 .* may not depend on" "$repo/scripts/check-layers" "$work/t"
done

tree
printf '#include <QWidget>\n' >"$work/t/app/core/b.cpp"
expect 1 "app/core/b.cpp includes a Qt header" "$repo/scripts/check-layers" "$work/t"

tree
printf '#include <QWidget>\n' >"$work/t/tools/x/b.cpp"
expect 1 "tools/x/b.cpp includes a Qt header" "$repo/scripts/check-layers" "$work/t"

tree
printf 'int  f( ) {return 1;}\n' >"$work/t/util/b.cpp"
expect 1 "not formatted: util/b.cpp" "$repo/scripts/check-format" "$work/t"
expect 0 "" "$repo/scripts/check-format" --fix "$work/t"
expect 0 "formatted" "$repo/scripts/check-format" "$work/t"

# The compiler holds the layering too: a file compiled with a library's flags sees only the
# folders that library links. Each case: a source of the library whose flags are used, and an
# include that must not compile there; the first case's ace.h include must compile.
compiles() {  # compiles SOURCE_OF_LIBRARY INCLUDE
  local command
  command="$(python3 - "$build/compile_commands.json" "$repo/$1" <<'PY'
import json, shlex, sys
for entry in json.load(open(sys.argv[1])):
    if entry["file"] == sys.argv[2]:
        words = shlex.split(entry["command"])
        keep, skip = [], False
        for word in words:
            if skip:
                skip = False
            elif word in ("-o", "-c", "-MF", "-MT", "-MQ"):
                skip = word != "-c"
            elif word != entry["file"] and not word.startswith("-M"):
                keep.append(word)
        print(shlex.join(keep))
        break
PY
)"
  if [ -z "$command" ]; then
    echo "no compile command for $1 in $build" >&2
    return 2
  fi
  printf '#include %s\n' "$2" >"$work/planted.cpp"
  # shellcheck disable=SC2086
  eval "$command" -fsyntax-only -x c++ "$work/planted.cpp"
}
if [ -n "$build" ]; then
  expect 0 "" compiles ads/adsdata.cpp '"engine/ace.h"'
  expect 1 "engine/table.h: No such file" compiles ads/adsdata.cpp '"engine/table.h"'
  expect 1 "engine/table.h: No such file" compiles ads/adsdata.cpp '<engine/table.h>'
  expect 1 "engine/postgres/session.h: No such file" compiles ads/adsdata.cpp '"engine/postgres/session.h"'
  expect 1 "libpq-fe.h: No such file" compiles ads/adsdata.cpp '<libpq-fe.h>'
  expect 0 "" compiles engine/postgres/session.cpp '"engine/last_error.h"'
  expect 1 "ads/adsdata.h: No such file" compiles engine/sqlite/table.cpp '"ads/adsdata.h"'
  expect 1 "ads/adsdata.h: No such file" compiles db/dataset.cpp '"ads/adsdata.h"'
  expect 1 "engine/ace.h: No such file" compiles ui/forms.cpp '"engine/ace.h"'
  expect 1 "ui/forms.h: No such file" compiles download/core/leaverun.cpp '"ui/forms.h"'
  expect 1 "download/fmdnload.h: No such file" compiles download/core/leaverun.cpp '"download/fmdnload.h"'
  expect 1 "app/Login1.h: No such file" compiles app/core/startup.cpp '"app/Login1.h"'
  expect 1 "app/Login1.h: No such file" compiles tools/velda-export/run.cpp '"app/Login1.h"'
  expect 1 "engine/table.h: No such file" compiles tools/velda-db/commands.cpp '"engine/table.h"'
fi

# Every case that uses the shared test server asks for its fixture, so that the server outlives it.
if [ -n "$build" ]; then
  unfixed="$(ctest --test-dir "$build" --show-only=json-v1 2>/dev/null | python3 -c '
import json, re, sys
for test in json.load(sys.stdin)["tests"]:
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    if re.match(r"^(engine\.server\.|[a-z]+\.Server)", test["name"]) and \
            "velda_server" not in props.get("FIXTURES_REQUIRED", []):
        print(test["name"])
')"
  listed="$(ctest --test-dir "$build" -N 2>/dev/null)"
  if [ -z "$unfixed" ] && grep -q 'engine\.server\.' <<<"$listed"; then
    passed=$((passed + 1))
  else
    echo "FAIL: cases on the shared server without its fixture: ${unfixed:-none registered}"
    failed=$((failed + 1))
  fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
