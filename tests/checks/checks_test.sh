#!/usr/bin/env bash
# Tests of the tree checks: each planted violation must fail its check with a line naming it,
# and a clean tree must pass.
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=0
passed=0

expect() {  # expect STATUS PATTERN COMMAND...
  local status="$1" pattern="$2"
  shift 2
  local out
  out="$("$@" 2>&1)"
  local got=$?
  if [ "$got" -ne "$status" ] || ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAIL: $* -> status $got, expected $status and /$pattern/"
    echo "$out" | sed 's/^/    /'
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

tree() {  # a fresh small tree with one file in each layer
  rm -rf "$work/t"
  mkdir -p "$work/t"/{engine,util,rtl,db,ads,ui,download,app,tools/x,tests/engine,tests/ads}
  cp "$repo/.clang-format" "$work/t/"
  printf '#include "engine/table.h"\n' >"$work/t/engine/a.cpp"
  printf '#include "engine/ace.h"\n' >"$work/t/ads/a.cpp"
  printf '#include "engine/table.h"\n' >"$work/t/tests/engine/a.cpp"
  printf '#include "ads/adsdata.h"\n#include "ui/forms.h"\n' >"$work/t/app/a.cpp"
  printf '#include "ads/adsdata.h"\n' >"$work/t/download/leave.cpp"
  printf '#include "ui/forms.h"\n' >"$work/t/download/fmdnload.cpp"
  mkdir -p "$work/t/app/core"
  printf '#include "ads/adsdata.h"\n' >"$work/t/app/core/rules.cpp"
  printf '#include "app/core/rules.h"\nint x = 0;\n' >"$work/t/tools/x/main.cpp"
}

tree
expect 0 "layering holds" "$repo/scripts/check-layers" "$work/t"
expect 0 "formatted" "$repo/scripts/check-format" "$work/t"

tree
printf '#include "engine/table.h"\n' >"$work/t/ads/b.cpp"
expect 1 "ads/b.cpp:1 includes engine/table.h" "$repo/scripts/check-layers" "$work/t"

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

tree
printf '#include "ui/forms.h"\n' >"$work/t/download/leave_lines.cpp"
expect 1 "windowless part of download/" "$repo/scripts/check-layers" "$work/t"

tree
printf '#include "app/Login1.h"\n' >"$work/t/tools/x/b.cpp"
expect 1 "tools/x/b.cpp:1 .* tools/ may use only the windowless app/core/" "$repo/scripts/check-layers" "$work/t"

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

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
