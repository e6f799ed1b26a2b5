#!/usr/bin/env bash
# skylark-cli get against aria2c and axel with the same connection count on
# the same loopback servers: total time, CPU seconds, peak memory, and the
# speed-up of more branches under a per-connection limit. Every result is
# checked by sha256.
#
#   bash bench/download_vs_peers.sh [BIG_MIB] [LIMITED_MIB]   (defaults 1024 64)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --bench >/dev/null
cmake -S . -B build-bench-dl -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench-dl --target skylark-cli >/dev/null
cli=$PWD/build-bench-dl/bin/skylark-cli

big_mib=${1:-1024}
limited_mib=${2:-64}
rate=$((2 * 1048576))
source bench/loopback.sh
bench_workdir skylark-peers
mkdir -p "$work/home"
http_port=$(freeport); slow_port=$(freeport)

head -c $((big_mib * 1048576)) /dev/urandom > "$work/www/big.bin"
head -c $((limited_mib * 1048576)) /dev/urandom > "$work/www/limited.bin"
start_nginx "server { listen 127.0.0.1:$http_port; root $work/www; }
    server { listen 127.0.0.1:$slow_port; root $work/www; limit_rate $rate; }"
# The launcher picks its own port and prints it.
/usr/bin/python3 tests/support/pyftpdlauncher.py --root "$work/www" >"$work/ftp.port" 2>"$work/logs/ftp.log" & pids+=($!)
/usr/bin/python3 tests/support/pyftpdlauncher.py --root "$work/www" --rate "$rate" >"$work/slowftp.port" 2>"$work/logs/slowftp.log" & pids+=($!)
sleep 2
ftp_port=$(head -1 "$work/ftp.port"); slowftp_port=$(head -1 "$work/slowftp.port")

# run LABEL FILE TOOL N URL: one download, timed by /usr/bin/time.
declare -A seconds
run() {
  local label=$1 file=$2 tool=$3 n=$4 url=$5
  rm -f "$work/out/$file"
  # Freed page cache is slow to take back: no run pays for the one before.
  cp --sparse=never "$work/www/$file" "$work/out/scratch" && rm -f "$work/out/scratch"
  local cmd
  case $tool in
    skylark) cmd=("$cli" get -n "$n" -d "$work/out" --timeout 120 "$url") ;;
    aria2c) cmd=(aria2c -q -x "$n" -s "$n" -k 1M --file-allocation=none --allow-overwrite=true -d "$work/out" -o "$file" "$url") ;;
    axel) cmd=(axel -q -n "$n" -o "$work/out/$file" "$url") ;;
  esac
  SKYLARK_HOME="$work/home" /usr/bin/time -f '%e %U %S %M' -o "$work/time" "${cmd[@]}" >/dev/null 2>"$work/logs/run.err" || true
  read -r wall user sys rss < <(tail -1 "$work/time")
  local ok=ok
  if ! cmp -s "$work/out/$file" "$work/www/$file"; then ok=WRONG; fi
  seconds["$label $tool $n"]=$wall
  printf '%-22s %-8s %3s %9s %8.2f %9s %6s\n' "$label" "$tool" "$n" "$wall" "$(echo "$user + $sys" | bc)" "$((rss / 1024))" "$ok"
  rm -f "$work/out/$file"
}

printf '%-22s %-8s %3s %9s %8s %9s %6s\n' "case" "tool" "n" "seconds" "cpu s" "peak MiB" "sha256"
for tool in skylark aria2c axel; do run "http ${big_mib}MiB" big.bin $tool 4 "http://127.0.0.1:$http_port/big.bin"; done
for tool in skylark aria2c; do run "ftp ${big_mib}MiB" big.bin $tool 4 "ftp://127.0.0.1:$ftp_port/big.bin"; done
for n in 1 4 8; do
  for tool in skylark aria2c axel; do run "http ${limited_mib}MiB 2MiB/s" limited.bin $tool $n "http://127.0.0.1:$slow_port/limited.bin"; done
done
for n in 1 4 8; do
  for tool in skylark aria2c; do run "ftp ${limited_mib}MiB 2MiB/s" limited.bin $tool $n "ftp://127.0.0.1:$slowftp_port/limited.bin"; done
done

echo
echo "speed-up over 1 branch (limited runs):"
for proto in http ftp; do
  for tool in skylark aria2c axel; do
    one=${seconds["$proto ${limited_mib}MiB 2MiB/s $tool 1"]:-}
    [ -n "$one" ] || continue
    for n in 4 8; do
      t=${seconds["$proto ${limited_mib}MiB 2MiB/s $tool $n"]}
      printf '  %-4s %-8s %d branches: %.2fx\n' "$proto" "$tool" "$n" "$(echo "$one / $t" | bc -l)"
    done
  done
done
