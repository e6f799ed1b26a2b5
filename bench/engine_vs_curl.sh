#!/usr/bin/env bash
# The engine against curl, side by side on the same loopback servers:
# bytes per second from first to last byte and CPU seconds for one file,
# 1 and 4 branches, over HTTP (nginx) and FTP (pyftpdlib); then what the
# workers cost while every node is idle.
#
#   bash bench/engine_vs_curl.sh [SIZE_MIB]     (default 1024)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --bench
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKYLARK_BUILD_APP=OFF -DSKYLARK_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target larkfetch larkidle >/dev/null

size_mib=${1:-1024}
size=$((size_mib * 1048576))
source bench/loopback.sh
bench_workdir skylark-bench
http_port=$(freeport); ftp_port=$(freeport); hang_port=$(freeport)

head -c "$size" /dev/urandom > "$work/www/big.bin"
start_nginx "server { listen 127.0.0.1:$http_port; root $work/www; }"
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$ftp_port" -d "$work/www" >"$work/logs/ftp.log" 2>&1 & pids+=($!)
/usr/bin/python3 -c "
import socket,time
s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1',$hang_port)); s.listen(64); held=[]
while True: held.append(s.accept()[0])" & pids+=($!)
sleep 1.5

# Freed page cache is slow to take back: before every run, write and drop a
# scratch file of the same size, so no run pays for the one before it.
scratch() { rm -f "$work/out/big.bin"; head -c "$size" /dev/zero > "$work/out/scratch"; rm -f "$work/out/scratch"; }

printf '%-34s %10s %10s %8s\n' "run" "MiB/s" "seconds" "cpu s"
curlrun() {
  local url=$1 label=$2
  scratch
  TIMEFORMAT='%U %S'
  { time curl -s -o "$work/out/big.bin" -w '%{time_starttransfer} %{time_total}\n' "$url" > "$work/out/curl.times"; } 2> "$work/out/curl.cpu"
  read -r first total < "$work/out/curl.times"
  read -r user sys < "$work/out/curl.cpu"
  awk -v f="$first" -v t="$total" -v u="$user" -v s="$sys" -v n="$size" -v l="$label" \
    'BEGIN { d = t - f; printf "%-34s %10.1f %10.3f %8.3f\n", l, n / d / 1048576, d, u + s }'
}
larkrun() {
  local url=$1 branches=$2 label=$3 mode=${4:-}
  scratch
  local line
  line=$(build-bench/bin/larkfetch "$url" "$size" "$branches" "$work/out/" $mode)
  echo "$line" | awk -v l="$label" '{
    for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
    printf "%-34s %10.1f %10.3f %8.3f\n", l, v["MiBps"], v["seconds"], v["cpu"] }'
  cmp -s "$work/out/big.bin" "$work/www/big.bin" || echo "  ! $label: file differs"
}

# Two rounds, peers side by side in each: the spread shows the noise.
for round in 1 2; do
  curlrun "http://127.0.0.1:$http_port/big.bin" "curl http nginx"
  larkrun "http://127.0.0.1:$http_port/big.bin" 1 "engine http nginx, 1 branch"
  larkrun "http://127.0.0.1:$http_port/big.bin" 4 "engine http nginx, 4 branches"
  curlrun "ftp://127.0.0.1:$ftp_port/big.bin" "curl ftp pyftpdlib"
  larkrun "ftp://127.0.0.1:$ftp_port/big.bin" 1 "engine ftp pyftpdlib, 1 branch"
  larkrun "ftp://127.0.0.1:$ftp_port/big.bin" 4 "engine ftp pyftpdlib, 4 branches"
  larkrun "ftp://127.0.0.1:$ftp_port/big.bin" 1 "engine ftp pyftpdlib, active" --active
done

echo
build-bench/bin/larkidle "ftp://127.0.0.1:$ftp_port/" "http://127.0.0.1:$hang_port/x" 20 10
