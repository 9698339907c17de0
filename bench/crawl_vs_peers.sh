#!/usr/bin/env bash
# Crawl benchmark on this machine alone: tessellon-cli scan against GNU wget,
# wget2 and HTTrack on a large demo gallery served by nginx on 127.0.0.1, with
# curl fetching the known list of picture addresses, and the floor:
# bench_floor_fetch fetching the known pages and pictures over keep-alive
# connections with one libcurl multi loop. After the tables it checks the
# speed targets (lines "target ... PASS/FAIL").
#
# Environment:
#   PAGES=100        gallery pages (40 thumbnail / full-size pairs and a poster each)
#   RUNS=5           runs of every tool, interleaved run by run (each run starts
#                    with the next tool)
#   DELAY=0          milliseconds nginx waits before every response (echo module)
#   MODES="tmpfs disk"  where the crawl folders go: /dev/shm, or the disk (WORK)
#   PAGE_SLOTS=4 FILE_SLOTS=8   tessellon's page and file slots; wget2 --max-threads
#                    and HTTrack -c use FILE_SLOTS, curl and floor PAGE_SLOTS + FILE_SLOTS
#   TOOLS="tessellon wget wget2 wget2-matched httrack curl floor"   which to run
#   TESSELLON=path   tessellon-cli to measure (default: build-bench, then build)
#   TESSELLON_BASE=path   another tessellon-cli, run as the tool "tessellon-base" with
#                    the same options (before/after comparisons; add it to TOOLS)
#   FLOOR=path       bench_floor_fetch (default: build-bench, then build)
#   PORT=18480       first port tried for nginx
#   WORK=/var/tmp/tessellon-bench   disk folder for the site, disk crawls and results
#   FULL_WIDTH=1024 FULL_HEIGHT=768 QUALITY=85   picture size (~160 KB full, ~4 KB thumbnails)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
PAGES=${PAGES:-100}
RUNS=${RUNS:-5}
DELAY=${DELAY:-0}
MODES=${MODES:-"tmpfs disk"}
PAGE_SLOTS=${PAGE_SLOTS:-4}
FILE_SLOTS=${FILE_SLOTS:-8}
TOOLS=${TOOLS:-"tessellon wget wget2 wget2-matched httrack curl floor"}
WORK=${WORK:-/var/tmp/tessellon-bench}
FULL_WIDTH=${FULL_WIDTH:-1024}
FULL_HEIGHT=${FULL_HEIGHT:-768}
QUALITY=${QUALITY:-85}
PAIRS=40
CONNECTIONS=$((PAGE_SLOTS + FILE_SLOTS))

if [[ -z ${TESSELLON:-} ]]; then
  for c in "$repo/build-bench/src/cli/tessellon-cli" "$repo/build/src/cli/tessellon-cli"; do
    [[ -x $c ]] && { TESSELLON=$c; break; }
  done
fi
if [[ -z ${TESSELLON:-} || ! -x $TESSELLON ]]; then
  echo "no tessellon-cli: build it first, e.g." >&2
  echo "  cmake -S $repo -B $repo/build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELLON_TESTS=OFF && cmake --build $repo/build-bench" >&2
  exit 1
fi

if [[ " $TOOLS " == *" floor "* ]]; then
  if [[ -z ${FLOOR:-} ]]; then
    for c in "$repo/build-bench/bench/bench_floor_fetch" "$repo/build/bench/bench_floor_fetch"; do
      [[ -x $c ]] && { FLOOR=$c; break; }
    done
  fi
  if [[ -z ${FLOOR:-} || ! -x $FLOOR ]]; then
    echo "no bench_floor_fetch: build it (cmake --build build --target bench_floor_fetch)" \
      "or leave floor out of TOOLS" >&2
    exit 1
  fi
fi
# The tools run inside their output folders.
TESSELLON=$(realpath "$TESSELLON")
[[ -n ${FLOOR:-} ]] && FLOOR=$(realpath "$FLOOR")
[[ -n ${TESSELLON_BASE:-} ]] && TESSELLON_BASE=$(realpath "$TESSELLON_BASE")

# --- bench-only packages -----------------------------------------------------
need=()
command -v nginx >/dev/null || need+=(nginx)
[[ $DELAY == 0 || -e /usr/lib/nginx/modules/ngx_http_echo_module.so ]] || need+=(libnginx-mod-http-echo)
[[ -x /usr/bin/time ]] || need+=(time)
command -v curl >/dev/null || need+=(curl)
for t in $TOOLS; do
  case $t in
    wget) command -v wget >/dev/null || need+=(wget) ;;
    wget2*) command -v wget2 >/dev/null || need+=(wget2) ;;
    httrack) command -v httrack >/dev/null || need+=(httrack) ;;
  esac
done
if ((${#need[@]})); then
  echo "installing ${need[*]}"
  if [[ $(id -u) != 0 ]]; then
    echo "run as root or install: apt-get install ${need[*]}" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
# Debian's nginx package may start the system service: only ours is wanted.
NGINX=$(command -v nginx)

# --- the site ----------------------------------------------------------------
mkdir -p "$WORK"
site="$WORK/site-p$PAGES-w$FULL_WIDTH-h$FULL_HEIGHT-q$QUALITY"
if [[ ! -e $site/.complete ]]; then
  rm -rf "$site"
  "$TESSELLON" demo-server --write "$site" --pages "$PAGES" --pairs $PAIRS \
    --full-width "$FULL_WIDTH" --full-height "$FULL_HEIGHT" --quality "$QUALITY"
  touch "$site/.complete"
fi
# Reference: every picture under gallery/, by path relative to the host folder.
(cd "$site" && find gallery -type f \( -name '*.jpg' -o -name '*.gif' \) -print0 |
  sort -z | xargs -0 sha1sum) >"$WORK/reference.sha1"
nfiles=$(wc -l <"$WORK/reference.sha1")
nbytes=$(cd "$site" && find gallery -type f \( -name '*.jpg' -o -name '*.gif' \) -printf '%s\n' |
  awk '{s+=$1} END{printf "%.0f", s}')
full_avg=$(find "$site/gallery/pics" -name 'full_*' -printf '%s\n' | awk '{s+=$1;n++} END{printf "%.0f", s/n/1024}')
thumb_avg=$(find "$site/gallery/thumbs" -type f -printf '%s\n' | awk '{s+=$1;n++} END{printf "%.1f", s/n/1024}')

# --- nginx ---------------------------------------------------------------------
ngx=$(mktemp -d /tmp/tessellon-bench-nginx.XXXXXX)
# The tmpfs crawl folder is this run's own: runs with other WORK folders may
# go on at the same time.
shm=/dev/shm/tessellon-bench.$$
mkdir -p "$ngx/tmp"
cleanup() {
  if [[ -s $ngx/nginx.pid ]]; then
    kill "$(cat "$ngx/nginx.pid")" 2>/dev/null || true
    sleep 0.3
  fi
  rm -rf "$ngx" "$shm"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

delay_s=$(awk -v d="$DELAY" 'BEGIN{printf "%.3f", d/1000}')
if [[ $DELAY == 0 ]]; then
  location="location / { }"
  module=""
else
  # The echo module's content handler waits, then hands the request to the
  # static file handler by an internal redirect: headers and bytes as without delay.
  module="load_module /usr/lib/nginx/modules/ngx_http_echo_module.so;"
  location="location / { echo_sleep $delay_s; echo_exec @static; }
    location @static { }"
fi
# CPU seconds (user + system) nginx's processes have used so far: the server
# shares the cores with the tool it serves.
hz=$(getconf CLK_TCK)
server_cpu() {
  local master
  master=$(cat "$ngx/nginx.pid" 2>/dev/null) || master=
  if [[ -z $master ]]; then
    echo 0
    return
  fi
  # shellcheck disable=SC2046
  cat $(printf '/proc/%s/stat ' "$master" $(pgrep -P "$master")) 2>/dev/null |
    awk -v hz="$hz" '{t += $14 + $15} END {printf "%.2f", t / hz}'
}
start_nginx() {
  local port=$1
  cat >"$ngx/nginx.conf" <<EOF
$module
daemon on;
pid $ngx/nginx.pid;
error_log $ngx/error.log;
worker_processes auto;
events { worker_connections 4096; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 1000000;
  keepalive_timeout 60s;
  client_body_temp_path $ngx/tmp;
  proxy_temp_path $ngx/tmp;
  fastcgi_temp_path $ngx/tmp;
  uwsgi_temp_path $ngx/tmp;
  scgi_temp_path $ngx/tmp;
  server {
    listen 127.0.0.1:$port;
    root $site;
    $location
  }
}
EOF
  "$NGINX" -p "$ngx" -c "$ngx/nginx.conf" -e "$ngx/error.log" 2>/dev/null
}
port=${PORT:-18480}
first_port=$port
until start_nginx "$port"; do
  port=$((port + 1))
  ((port < first_port + 100)) || { echo "nginx did not start:" >&2; cat "$ngx/error.log" >&2; exit 1; }
done
base="http://127.0.0.1:$port"
start="$base/index.html"
for _ in $(seq 50); do
  curl -sf -o /dev/null "$start" && break
  sleep 0.1
done

# The delay must be real, and parallel requests must still overlap.
if [[ $DELAY != 0 ]]; then
  one=$(curl -s -o /dev/null -w '%{time_total}' "$base/gallery/page1.html")
  mapfile -t batch < <(sed -n "1,$((CONNECTIONS * 4))p" "$WORK/reference.sha1" | awk '{print $2}')
  args=()
  for p in "${batch[@]}"; do args+=(-o /dev/null "$base/$p"); done
  t0=$(date +%s.%N)
  curl -s --no-progress-meter --parallel --parallel-max "$CONNECTIONS" "${args[@]}" 2>/dev/null
  t1=$(date +%s.%N)
  awk -v one="$one" -v t0="$t0" -v t1="$t1" -v d="$delay_s" -v n="${#batch[@]}" -v c="$CONNECTIONS" 'BEGIN{
    par = t1 - t0
    printf "delay check: one request %.3f s (delay %.3f s); %d requests on %d connections %.3f s (serial would be %.3f s, fully parallel %.3f s)\n",
      one, d, n, c, par, n * d, n / c * d
    if (one < d * 0.9) { print "the delay is not applied" > "/dev/stderr"; exit 1 }
    if (par > n * d / 2) { print "parallel requests are serialised by the server" > "/dev/stderr"; exit 1 }
  }'
fi

# --- the runs ------------------------------------------------------------------
# Named by pages, delay and modes, so that a run in one mode does not
# overwrite the last run in another.
modes_tag=$(tr ' ' '-' <<<"$MODES")
results="$WORK/results-p$PAGES-d$DELAY-$modes_tag.tsv"
: >"$results"
curl_list="$WORK/curl-list.txt"
floor_list="$WORK/floor-list.txt"

run_tool() { # tool mode run root
  local tool=$1 mode=$2 run=$3 root=$4
  local out="$root/$tool" log="$WORK/last-$tool.log" tf="$WORK/time.txt"
  rm -rf "$out"
  mkdir -p "$out"
  [[ $mode == disk ]] && sync
  local cmd
  case $tool in
    tessellon | tessellon-base)
      local binary=$TESSELLON
      [[ $tool == tessellon-base ]] && binary=$TESSELLON_BASE
      # The start page's links to other sites are followed even with
      # --stay-on-site: the filter keeps the scan off the demo's other site
      # (a closed port of localhost). The queue limits stay at their defaults.
      cmd=("$binary" scan --out "$out" --depth 2 --download both --stay-on-site --no-external
        --filter localhost:1 --concurrency "$PAGE_SLOTS" --file-concurrency "$FILE_SLOTS" "$start") ;;
    wget)
      cmd=(wget -q -r -l 2 -A html,jpg,gif -e robots=off -P "$out" "$start") ;;
    wget2)
      cmd=(wget2 -q -r -l 2 -A html,jpg,gif --robots=off -P "$out" "$start") ;;
    wget2-matched)
      cmd=(wget2 -q -r -l 2 -A html,jpg,gif --robots=off --max-threads="$FILE_SLOTS" -P "$out" "$start") ;;
    httrack)
      cmd=(httrack "$start" -O "$out" -r3 -c"$FILE_SLOTS" -%c0 -A1000000000 --disable-security-limits
        -s0 -q -Q -%v0 -I0 '-*.mpg') ;;
    curl)
      sed "s|@OUT@|$out/127.0.0.1|" "$curl_list" >"$out.list"
      cmd=(curl -s --parallel --parallel-max "$CONNECTIONS" --create-dirs -K "$out.list") ;;
    floor)
      cmd=("$FLOOR" --list "$floor_list" --out "$out" --connections "$CONNECTIONS") ;;
  esac
  local rc=0 server0 server
  server0=$(server_cpu)
  (cd "$out" && /usr/bin/time -f '%e %U %S %M' -o "$tf" "${cmd[@]}") >"$log" 2>&1 || rc=$?
  # wget exits 8 when a link fails (none should here); anything else is a failure.
  if [[ $rc != 0 && ! ($tool == wget* && $rc == 8) ]]; then
    echo "$tool failed (exit $rc), see $log" >&2
    tail -5 "$log" >&2
  fi
  local gallery=
  [[ $tool != floor ]] && gallery=$(find "$out" -maxdepth 3 -type d -name gallery -print -quit)
  local got=0 same=no
  if [[ $tool == floor ]]; then
    # Numbered files, not comparable by path: "same" means every address
    # answered 200 (the fetcher's exit status) and left its file.
    got=$(find "$out" -type f | wc -l)
    [[ $rc == 0 && $got == "$(wc -l <"$floor_list")" ]] && same=yes
  elif [[ -n $gallery ]]; then
    (cd "$gallery/.." && find gallery -type f \( -name '*.jpg' -o -name '*.gif' \) -print0 |
      sort -z | xargs -0 -r sha1sum) >"$WORK/got-$tool.sha1"
    got=$(wc -l <"$WORK/got-$tool.sha1")
    cmp -s "$WORK/got-$tool.sha1" "$WORK/reference.sha1" && same=yes
  fi
  server=$(awk -v a="$server0" -v b="$(server_cpu)" 'BEGIN{printf "%.2f", b - a}')
  read -r wall user sys rss <"$tf"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$mode" "$tool" "$run" "$wall" "$user" "$sys" "$rss" "$got" "$same" "$server" >>"$results"
  printf '  %-6s run %d %-14s %7.2f s wall, %6.2f s cpu, %7d KB rss, %5d files, same set: %s, server %.2f s cpu\n' \
    "$mode" "$run" "$tool" "$wall" "$(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}')" "$rss" "$got" "$same" "$server"
  rm -rf "$out" "$out.list"
}

awk -v base="$base" '{printf "url = \"%s/%s\"\noutput = \"@OUT@/%s\"\n", base, $2, $2}' \
  "$WORK/reference.sha1" >"$curl_list"
# The floor's list: the start page, the gallery pages and every picture.
{
  echo "$base/index.html"
  (cd "$site" && find gallery -maxdepth 1 -name '*.html' | sort -V) | sed "s|^|$base/|"
  awk -v base="$base" '{print base "/" $2}' "$WORK/reference.sha1"
} >"$floor_list"

echo "tessellon-cli: $TESSELLON"
echo "site: $site, $PAGES pages, $nfiles pictures, $((nbytes / 1048576)) MB" \
  "(full-size ~${full_avg} KB, thumbnails ~${thumb_avg} KB), served at $base, delay ${DELAY} ms"
echo "slots: tessellon $PAGE_SLOTS pages + $FILE_SLOTS files; wget2-matched and httrack $FILE_SLOTS;" \
  "curl and floor $CONNECTIONS; nproc $(nproc); load average $(cut -d' ' -f1-3 /proc/loadavg)"
for mode in $MODES; do
  case $mode in
    tmpfs) root=$shm ;;
    disk) root="$WORK/crawl" ;;
    *) echo "unknown mode $mode" >&2; exit 2 ;;
  esac
  mkdir -p "$root"
  read -ra tools <<<"$TOOLS"
  for run in $(seq "$RUNS"); do
    # Each run starts with the next tool: the first run after a pause, and the
    # one after the largest clean-up, fall to every tool in turn.
    k=$(((run - 1) % ${#tools[@]}))
    for tool in "${tools[@]:k}" "${tools[@]:0:k}"; do
      run_tool "$tool" "$mode" "$run" "$root"
    done
  done
  rm -rf "$root"
done

# --- the tables ------------------------------------------------------------------
median_awk='
function median(s,   a, k, i, j, v) {
  k = split(s, a, " ")
  for (i = 2; i <= k; i++) {
    v = a[i] + 0
    for (j = i - 1; j >= 1 && a[j] + 0 > v; j--) a[j + 1] = a[j]
    a[j + 1] = v
  }
  return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
}'
echo
echo "medians of $RUNS runs; $nfiles pictures; ratio = tessellon / tool (below 1: tessellon better)"
echo "floor: numbered files, not compared; its \"same pictures\" means every address answered 200"
echo "server: nginx's CPU time during the run; bound: (cpu + server) / $(nproc) cores, the least wall"
echo "time the run could take on this machine with every core busy"
echo "cpu = user (the tool's own code and its libraries) + sys (the kernel's work for it: mostly"
echo "receiving the bodies and writing the files, which every tool has to do)"
for mode in $MODES; do
  echo
  echo "[$mode, delay $DELAY ms, $PAGES pages]"
  awk -F'\t' -v mode="$mode" -v order="$TOOLS" -v n="$nfiles" -v cores="$(nproc)" "$median_awk"'
    $1 == mode {
      wall[$2] = wall[$2] " " $4; cpu[$2] = cpu[$2] " " ($5 + $6); rss[$2] = rss[$2] " " $7
      user[$2] = user[$2] " " $5; sys[$2] = sys[$2] " " $6; server[$2] = server[$2] " " ($10 + 0)
      if ($9 != "yes") bad[$2]++
    }
    END {
      printf "%-14s %9s %9s %7s %7s %9s %9s %11s %10s %9s %9s %s\n", "tool", "wall s", "cpu s",
        "user s", "sys s", "rss MB", "files/s", "wall ratio", "cpu ratio", "server s", "bound s",
        "same pictures"
      tw = median(wall["tessellon"]); tc = median(cpu["tessellon"])
      k = split(order, tools, " ")
      for (i = 1; i <= k; i++) {
        t = tools[i]
        if (!(t in wall)) continue
        w = median(wall[t]); c = median(cpu[t]); r = median(rss[t]) / 1024; sv = median(server[t])
        wr = (t == "tessellon" || tw == "") ? "" : sprintf("%.2f", tw / w)
        cr = (t == "tessellon" || tc == "" || c == 0) ? "" : sprintf("%.2f", tc / c)
        printf "%-14s %9.2f %9.2f %7.2f %7.2f %9.1f %9.0f %11s %10s %9.2f %9.2f %s\n", t, w, c,
          median(user[t]), median(sys[t]), r, n / w, wr, cr, sv, (c + sv) / cores,
          (t in bad) ? "NO (" bad[t] " runs differ)" : "yes"
      }
    }' "$results"
done

# --- the targets -----------------------------------------------------------------
# Tessellon's medians against the targets; a check whose tools were not run is
# skipped. The peers are the crawlers (wget, wget2, wget2-matched, httrack),
# not the list fetchers.
echo
echo "targets (tessellon medians; PASS when the ratio is within the limit)"
for mode in $MODES; do
  awk -F'\t' -v mode="$mode" -v delay="$DELAY" -v n="$nfiles" -v slots="$FILE_SLOTS" \
    "$median_awk"'
    function check(name, ratio, limit, cmp) {
      printf "target %-6s %-44s %6.2f  (%s %.2f)  %s\n", mode, name, ratio, cmp, limit,
        ((cmp == "<=") ? ratio <= limit : ratio < limit) ? "PASS" : "FAIL"
    }
    function skip(name, why) { printf "target %-6s %-44s   skipped (%s)\n", mode, name, why }
    $1 == mode {
      wall[$2] = wall[$2] " " $4; cpu[$2] = cpu[$2] " " ($5 + $6)
      if ($7 > peak[$2]) peak[$2] = $7
      if ($9 != "yes") bad[$2]++
    }
    END {
      if (!("tessellon" in wall)) { skip("all", "tessellon not run"); exit }
      tw = median(wall["tessellon"]); tc = median(cpu["tessellon"])
      if (delay == 0) {
        best = ""; ran = 0
        split("wget wget2 wget2-matched httrack", peers, " ")
        for (i = 1; i <= 4; i++)
          if (peers[i] in wall) {
            ran++
            if (!(peers[i] in bad) && (best == "" || median(wall[peers[i]]) < median(wall[best])))
              best = peers[i]
          }
        limit = mode == "disk" ? 0.9 : 0.8
        if (best == "")
          skip("wall / fastest peer", ran ? "no peer stored every picture" : "no peer run")
        else check("wall / fastest peer (" best ")", tw / median(wall[best]), limit, "<=")
        if ("wget2" in cpu) check("cpu / wget2", tc / median(cpu["wget2"]), 0.8, "<=")
        else skip("cpu / wget2", "wget2 not run")
      } else {
        if ("wget2-matched" in wall)
          check("wall / wget2-matched", tw / median(wall["wget2-matched"]), 1.0, "<=")
        else skip("wall / wget2-matched", "wget2-matched not run")
        own = n * delay / 1000 / slots
        check(sprintf("wall / pictures x delay / slots (%.2f s)", own), tw / own, 1.05, "<=")
      }
      if ("floor" in wall) {
        if ("floor" in bad) skip("wall / floor", "the floor missed addresses")
        else check("wall / floor", tw / median(wall["floor"]), 1.2, "<=")
      } else skip("wall / floor", "floor not run")
      check("peak memory MB (highest run)", peak["tessellon"] / 1024, 64, "<")
      printf "target %-6s %-44s %6s  %s\n", mode, "every picture stored byte for byte", "",
        ("tessellon" in bad) ? "FAIL (" bad["tessellon"] " runs differ)" : "PASS"
    }' "$results"
done
echo
echo "raw results: $results"
