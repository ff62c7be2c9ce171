#!/bin/sh
# Checks the shared library's dynamic symbol table: its defined non-local symbols must be exactly
# the API of include/tvrnsql.h under the version node TVRNSQL_1, the non-default fputws@TVRNSQL_1
# stub and the node itself, all GLOBAL; a leaked C++ or internal bco/bcu symbol, a WEAK
# definition or fputws@@TVRNSQL_1 (which would take over the C library's) fails the check.
# Usage: check_exports.sh <readelf> <path of libtvrnsql.so>
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 <readelf> <path of libtvrnsql.so>" >&2
  exit 2
fi
readelf=$1
library=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One "BIND NAME" line per defined symbol with a binding other than LOCAL.
cat >"$work/expected" <<'EOF'
GLOBAL CharNextW@@TVRNSQL_1
GLOBAL ODBCSqlToTVRNSql@@TVRNSQL_1
GLOBAL ODBCSqlToTVRNSqlEx@@TVRNSQL_1
GLOBAL ParseSQLStr@@TVRNSQL_1
GLOBAL ParseSQLStrEx@@TVRNSQL_1
GLOBAL TVRNSQL_1
GLOBAL TVRNSqlSetTrace@@TVRNSQL_1
GLOBAL fputws@TVRNSQL_1
EOF

"$readelf" --dyn-syms -W "$library" >"$work/table"
# Columns: Num: Value Size Type Bind Vis Ndx Name
awk '$1 ~ /^[0-9]+:$/ && $5 != "LOCAL" && $7 != "UND" { print $5, $8 }' "$work/table" |
  LC_ALL=C sort >"$work/actual"

if LC_ALL=C cmp -s "$work/expected" "$work/actual"; then
  echo "exports of $library:"
  sed 's/^/  /' "$work/actual"
  exit 0
fi

echo "FAIL: the exports of $library differ from the API" >&2
echo "unexpected (exported, not in the API):" >&2
LC_ALL=C comm -13 "$work/expected" "$work/actual" | sed 's/^/  /' >&2
echo "missing (in the API, not exported as listed):" >&2
LC_ALL=C comm -23 "$work/expected" "$work/actual" | sed 's/^/  /' >&2
echo "dynamic symbol table:" >&2
cat "$work/table" >&2
exit 1
