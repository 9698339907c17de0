#!/usr/bin/env bash
# bench_floor_fetch against a folder served on 127.0.0.1: the list's blank
# lines and CRLF endings, one body per address numbered in list order, and a
# missing address failing the run while the others are still stored.
set -euo pipefail
fetch=$1
dir=$(mktemp -d)
server=
trap '[[ -n $server ]] && kill "$server"; rm -rf "$dir"' EXIT
mkdir "$dir/site"
printf 'first' >"$dir/site/a.txt"
printf 'second body' >"$dir/site/b.jpg"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$dir/site" >"$dir/server.log" 2>&1 &
server=$!
port=
for _ in $(seq 200); do
  port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$dir/server.log")
  [[ -n $port ]] && break
  sleep 0.05
done
[[ -n $port ]] || { echo "the server did not start"; exit 1; }
base="http://127.0.0.1:$port"
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$dir/out1"
printf '\n  %s/a.txt\r\n\n%s/b.jpg' "$base" "$base" >"$dir/list1"
"$fetch" --list "$dir/list1" --out "$dir/out1" --connections 2 >"$dir/log1" || fail "good list: $(cat "$dir/log1")"
[[ $(cat "$dir/out1/1") == first && $(cat "$dir/out1/2") == 'second body' ]] || fail "bodies misplaced"
[[ $(ls "$dir/out1" | wc -l) == 2 ]] || fail "extra files: $(ls "$dir/out1")"
grep -q '^2 files, 16 bytes' "$dir/log1" || fail "summary: $(cat "$dir/log1")"

mkdir "$dir/out2"
printf '%s/a.txt\n%s/missing.jpg\n%s/b.jpg\n' "$base" "$base" "$base" >"$dir/list2"
rc=0
"$fetch" --list "$dir/list2" --out "$dir/out2" 2>"$dir/err2" >/dev/null || rc=$?
[[ $rc == 1 ]] || fail "a 404 gave exit $rc"
grep -q "address 2.*missing.jpg" "$dir/err2" || fail "the failed address is not named: $(cat "$dir/err2")"
[[ $(cat "$dir/out2/3") == 'second body' ]] || fail "the address after the failed one was not stored"

printf '\n \r\n' >"$dir/list3"
rc=0
"$fetch" --list "$dir/list3" --out "$dir/out2" 2>/dev/null || rc=$?
[[ $rc == 2 ]] || fail "an empty list gave exit $rc"
echo PASS
