#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Builds the libFuzzer targets of tests/fuzz with clang (the "fuzz" preset:
# into build-fuzz/, or the folder given as VELORA_FUZZ_BUILD) and runs each for a while: the
# stored-form reader of parameter lists, the SQL marker scanner and the form-file
# reader. Seeds are
# written into the corpus folders on first use. Findings (crash-*, leak-*,
# timeout-* files) land in build-fuzz/findings/<target>/.
#
#   scripts/run-fuzz.sh            # 60 seconds per target
#   VELORA_FUZZ_SECONDS=600 scripts/run-fuzz.sh
#
# Exits non-zero when a target reports a finding.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELORA_FUZZ_BUILD:-$root/build-fuzz}
seconds=${VELORA_FUZZ_SECONDS:-60}
jobs=${VELORA_JOBS:-2}

# The "fuzz" preset of CMakePresets.json, in the folder chosen above.
cmake -S "$root" --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target fuzz_params_reader fuzz_sql_parser fuzz_form_reader fuzz_sql_text fuzz_sql_tokens \
  fuzz_sql_script

corpus=$build/corpus
mkdir -p "$corpus/fuzz_params_reader" "$corpus/fuzz_sql_parser" "$corpus/fuzz_form_reader" "$corpus/fuzz_sql_text" \
  "$corpus/fuzz_sql_tokens" "$corpus/fuzz_sql_script"
# Seeds: the stored forms of the documentation's examples (version 1, an
# empty list, version 0, version 2) and a few SQL texts.
seed() { printf "$2" >"$corpus/$1/$3"; }
seed fuzz_params_reader '\x01\x00\x01\x00\x06CustNo\x06CustNo\x01\x03\x04\x00\xd2\x04\x00\x00\x00\x01' custno
seed fuzz_params_reader '\x01\x00\x00\x00' empty
seed fuzz_params_reader '\x00\x00\x01\x00\x01A\x01C\x02\x05\x02\x00\x01\x00\x00\x01' v0
seed fuzz_params_reader '\x02\x00\x01\x00\x00\x00\x01\x00\x00\x00S\x00\x00\x00\x00\x01\x01\x02\x00\x00\x000\x00\x01\x01' v2
seed fuzz_sql_parser 'SELECT * FROM Orders WHERE CustNo = :CustNo AND OrderDate > :Since\r\n' orders
seed fuzz_sql_parser "INSERT INTO Customer (Name) VALUES (:Name)\r\n" insert
seed fuzz_sql_parser "SELECT '12:30', a::int FROM T WHERE d = :\"Order Date\" OR e = :'x'\n" quotes
for target in fuzz_sql_text fuzz_sql_tokens fuzz_sql_script; do
  seed $target "SELECT E'it\\\\'s', \$f\$ a; \$f\$ /* a /* b */ */ FROM \"S\".t WHERE v = :v::int; BEGIN; -- x\n" pg
  seed $target "{:r = call f(:x)}; SELECT 'a\\\\'b', \`c d\` # e;\n/*!40101 SET x=1 */;" maria
done
# Form files: the sample form of labels, and a database with a query, its
# parameters and its update object.
cp "$root/apps/velora/samples/"*.form "$corpus/fuzz_form_reader/"
seed fuzz_form_reader 'object Root: TComponent\n  object Db: TODBCDatabase\n    DataSourceName = '"'"'Nowhere'"'"'\n    LoginPrompt = False\n  end\n  object Q: TODBCQuery\n    Database = Db\n    SQL.Strings = (\n      '"'"'SELECT * FROM t WHERE id = :id'"'"')\n    UpdateObject = U\n  end\n  object U: TODBCUpdateSQL\n    ModifySQL.Strings = (\n      '"'"'UPDATE t SET a = :a WHERE id = :OLD_id'"'"')\n  end\nend\n' query

status=0
for target in ${VELORA_FUZZ_TARGETS:-fuzz_params_reader fuzz_sql_parser fuzz_form_reader fuzz_sql_text fuzz_sql_tokens fuzz_sql_script}; do
  findings=$build/findings/$target
  mkdir -p "$findings"
  echo "== $target: ${seconds}s"
  if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus/$target" 2>"$build/$target.log"; then
    status=1
    echo "!! $target reported a finding (see $build/$target.log and $findings)"
  fi
  grep -E "^(stat::number_of_executed_units|stat::peak_rss_mb|Done)|cov:" "$build/$target.log" | tail -3 || true
done
exit $status
