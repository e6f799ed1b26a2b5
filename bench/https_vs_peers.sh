#!/usr/bin/env bash
# skylark-cli get over HTTPS against curl (one connection) and aria2c (four)
# in one run, from one nginx on loopback with a certificate made for the
# run and trusted through its CA file by every tool: the median of RUNS
# downloads per case, each checked byte for byte, CPU seconds per GiB, and
# the ratio to the peer. Targets: -n 1 at most 1.2x curl, -n 4 at most 1.0x
# aria2c -x4.
#
#   bash bench/https_vs_peers.sh [MIB] [RUNS]   (defaults 1024 3)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --bench >/dev/null
cmake -S . -B build-bench-dl -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKYLARK_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench-dl -j 2 --target skylark-cli >/dev/null
cli=$PWD/build-bench-dl/bin/skylark-cli

mib=${1:-1024}
runs=${2:-3}
source bench/loopback.sh
bench_workdir skylark-https
# The downloads land in memory, so the disk does not set the pace.
out=$(mktemp -d /dev/shm/skylark-https.XXXXXX)
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work" "$out"' EXIT
mkdir -p "$work/home" "$work/tls"
port=$(freeport)

t=$work/tls
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$t/ca.key" -out "$t/ca.pem" \
  -days 2 -subj "/CN=bench CA" -addext basicConstraints=critical,CA:TRUE 2>/dev/null
openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$t/server.key" \
  -out "$t/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
echo "subjectAltName=IP:127.0.0.1" > "$t/ext"
openssl x509 -req -in "$t/server.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial -days 2 \
  -out "$t/server.pem" -extfile "$t/ext" 2>/dev/null

head -c $((mib * 1048576)) /dev/urandom > "$work/www/big.bin"
chmod 0755 "$work/www"; chmod 0644 "$work/www/big.bin"
start_nginx "server { listen 127.0.0.1:$port ssl; root $work/www;
    ssl_certificate $t/server.pem; ssl_certificate_key $t/server.key; ssl_protocols TLSv1.2 TLSv1.3; }"
sleep 1
url=https://127.0.0.1:$port/big.bin

# once TOOL N: one timed download; prints "wall cpu ok".
once() {
  local tool=$1 n=$2
  rm -f "$out/big.bin"
  # Freed memory is slow to take back: each run first writes and deletes a
  # file of the same size, so none pays for the one before.
  head -c $((mib * 1048576)) /dev/zero > "$out/scratch" && rm -f "$out/scratch"
  local cmd
  case $tool in
    skylark) rm -f "$work/home/lark2.dat"; cmd=("$cli" get -n "$n" -d "$out" --timeout 120 --ca-certificate "$t/ca.pem" "$url") ;;
    curl) cmd=(curl -s --cacert "$t/ca.pem" -o "$out/big.bin" "$url") ;;
    aria2c) cmd=(aria2c -q -x "$n" -s "$n" -k 1M --file-allocation=none --allow-overwrite=true
                 --ca-certificate="$t/ca.pem" -d "$out" -o big.bin "$url") ;;
  esac
  local begin end
  begin=$(date +%s%N)
  SKYLARK_HOME="$work/home" /usr/bin/time -f '%U %S' -o "$work/time" "${cmd[@]}" >/dev/null 2>"$work/logs/run.err" </dev/null || true
  end=$(date +%s%N)
  local user sys ok=ok
  read -r user sys < <(tail -1 "$work/time")
  cmp -s "$out/big.bin" "$work/www/big.bin" || ok=WRONG
  rm -f "$out/big.bin"
  echo "$(echo "($end - $begin) / 1000000000" | bc -l) $(echo "$user + $sys" | bc) $ok"
}

# median TOOL N: the median wall time of $runs, with its CPU seconds per GiB.
declare -A wall cpu
measure() {
  local tool=$1 n=$2 lines
  lines=$(for ((r = 0; r < runs; r++)); do once "$tool" "$n"; done | sort -n)
  local line
  line=$(echo "$lines" | sed -n "$(((runs + 1) / 2))p")
  local w c k
  read -r w c k <<<"$line"
  echo "$lines" | grep -q WRONG && k=WRONG
  wall[$tool$n]=$w
  cpu[$tool$n]=$(echo "$c * 1024 / $mib" | bc -l)
  printf '%-8s %2s %9.2f %10.2f %9.0f %6s\n' "$tool" "$n" "$w" "${cpu[$tool$n]}" "$(echo "$mib / $w" | bc -l)" "$k"
}

echo "${mib} MiB over HTTPS from nginx on loopback, median of $runs"
printf '%-8s %2s %9s %10s %9s %6s\n' tool n "wall s" "cpu s/GiB" "MiB/s" sha
measure skylark 1
measure curl 1
measure skylark 4
measure aria2c 4
printf 'n1: %.2fx curl (target 1.2)   n4: %.2fx aria2c (target 1.0)\n' \
  "$(echo "${wall[skylark1]} / ${wall[curl1]}" | bc -l)" "$(echo "${wall[skylark4]} / ${wall[aria2c4]}" | bc -l)"
