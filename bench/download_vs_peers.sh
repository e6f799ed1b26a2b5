#!/usr/bin/env bash
# skylark-cli get against curl, aria2c, axel and lftp in one run, on the
# same loopback servers (nginx, vsftpd, pyftpdlib): the median of RUNS
# downloads per case, every result checked by sha256, and each case's ratio
# to its best peer. A small file measures start-up; a big one throughput
# and CPU; a per-connection limit how well branches add up.
#
#   bash bench/download_vs_peers.sh [BIG_MIB] [LIMITED_MIB] [RUNS]   (defaults 1024 64 3)
#
# Last, 20 tasks of 8 branches each run at once in one scheduler
# (bench/manytasks.cpp): total time against the ideal rate, and the tick.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --bench >/dev/null
cmake -S . -B build-bench-dl -G Ninja -DCMAKE_BUILD_TYPE=Release -DSKYLARK_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench-dl --target skylark-cli manytasks >/dev/null
cli=$PWD/build-bench-dl/bin/skylark-cli

big_mib=${1:-1024}
limited_mib=${2:-64}
runs=${3:-3}
rate=$((2 * 1048576))
source bench/loopback.sh
bench_workdir skylark-peers
mkdir -p "$work/home" "$work/vsftpd/empty"
chmod 0755 "$work/www"
http_port=$(freeport); slow_port=$(freeport); vsftpd_port=$(freeport)

head -c 1048576 /dev/urandom > "$work/www/small.bin"
head -c $((big_mib * 1048576)) /dev/urandom > "$work/www/big.bin"
head -c $((limited_mib * 1048576)) /dev/urandom > "$work/www/limited.bin"
chmod 0644 "$work/www"/*.bin
start_nginx "server { listen 127.0.0.1:$http_port; root $work/www; }
    server { listen 127.0.0.1:$slow_port; root $work/www; limit_rate $rate; }"
# Passive ports a little above a free one; pyftpdlib takes another when one is in use.
pasv=$(freeport)
/usr/bin/python3 tests/support/pyftpdlauncher.py --root "$work/www" --passive "$pasv-$((pasv + 49))" >"$work/ftp.port" 2>"$work/logs/ftp.log" & pids+=($!)
/usr/bin/python3 tests/support/pyftpdlauncher.py --root "$work/www" --passive "$((pasv + 50))-$((pasv + 99))" --rate "$rate" >"$work/slowftp.port" 2>"$work/logs/slowftp.log" & pids+=($!)
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
background=NO
listen_address=127.0.0.1
listen_port=$vsftpd_port
anonymous_enable=YES
anon_root=$work/www
no_anon_password=YES
local_enable=NO
write_enable=NO
seccomp_sandbox=NO
pasv_enable=YES
port_enable=YES
connect_from_port_20=NO
secure_chroot_dir=$work/vsftpd/empty
xferlog_enable=NO
max_per_ip=0
max_clients=0
CONF
/usr/sbin/vsftpd "$work/vsftpd.conf" 2>"$work/logs/vsftpd.log" & pids+=($!)
sleep 2
ftp_port=$(head -1 "$work/ftp.port"); slowftp_port=$(head -1 "$work/slowftp.port")

# once TOOL N URL FILE: one timed download; prints "wall cpu rssKiB ok".
once() {
  local tool=$1 n=$2 url=$3 file=$4
  rm -f "$work/out/$file"
  # Freed page cache is slow to take back: no run pays for the one before.
  cp --sparse=never "$work/www/$file" "$work/out/scratch" && rm -f "$work/out/scratch"
  local cmd
  case $tool in
    skylark) rm -f "$work/home/lark2.dat"; cmd=("$cli" get -n "$n" -d "$work/out" --timeout 120 "$url") ;;
    curl) cmd=(curl -s -o "$work/out/$file" "$url") ;;
    aria2c) cmd=(aria2c -q -x "$n" -s "$n" -k 1M --file-allocation=none --allow-overwrite=true -d "$work/out" -o "$file" "$url") ;;
    axel) cmd=(axel -q -n "$n" -o "$work/out/$file" "$url") ;;
    lftp) cmd=(lftp -c "set net:max-retries 1; set xfer:clobber on; pget -n $n $url -o $work/out/$file") ;;
  esac
  # /usr/bin/time counts in hundredths: the wall time comes from the clock.
  local begin end
  begin=$(date +%s%N)
  SKYLARK_HOME="$work/home" /usr/bin/time -f '%e %U %S %M' -o "$work/time" "${cmd[@]}" >/dev/null 2>"$work/logs/run.err" </dev/null || true
  end=$(date +%s%N)
  local wall user sys rss ok=ok
  read -r wall user sys rss < <(tail -1 "$work/time")
  wall=$(printf '%d.%03d' $(((end - begin) / 1000000000)) $((((end - begin) / 1000000) % 1000)))
  cmp -s "$work/out/$file" "$work/www/$file" || ok=WRONG
  rm -f "$work/out/$file"
  echo "$wall $(echo "$user + $sys" | bc) $rss $ok"
}

# case LABEL FILE URL N TOOL...: the median of $runs, a line per tool and the
# ratio of skylark to the fastest peer.
case_() {
  local label=$1 file=$2 url=$3 n=$4; shift 4
  local best="" besttool="" sky=""
  for tool in "$@"; do
    local walls=() cpu=0 rss=0 ok=ok
    for ((r = 0; r < runs; r++)); do
      read -r w c m k < <(once "$tool" "$n" "$url" "$file")
      walls+=("$w"); cpu=$c; rss=$m; [ "$k" = ok ] || ok=WRONG
    done
    local median
    median=$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    printf '%-26s %-8s %2s %9s %8s %9s %6s\n' "$label" "$tool" "$n" "$median" "$cpu" "$((rss / 1024))" "$ok"
    if [ "$tool" = skylark ]; then sky=$median
    elif [ -z "$best" ] || [ "$(echo "$median < $best" | bc)" = 1 ]; then best=$median; besttool=$tool; fi
  done
  [ -n "$best" ] && [ -n "$sky" ] &&
    printf '%-26s ratio to %s: %.2fx\n' "$label" "$besttool" "$(echo "$sky / $best" | bc -l)"
  echo
}

printf '%-26s %-8s %2s %9s %8s %9s %6s\n' "case" "tool" "n" "median s" "cpu s" "peak MiB" "sha256"
H=http://127.0.0.1:$http_port; V=ftp://127.0.0.1:$vsftpd_port; P=ftp://127.0.0.1:$ftp_port
case_ "1MiB http nginx" small.bin "$H/small.bin" 1 skylark curl aria2c lftp
case_ "1MiB ftp vsftpd" small.bin "$V/small.bin" 1 skylark curl aria2c lftp
case_ "1MiB ftp pyftpdlib" small.bin "$P/small.bin" 1 skylark curl aria2c lftp
case_ "${big_mib}MiB http" big.bin "$H/big.bin" 1 skylark curl lftp aria2c
case_ "${big_mib}MiB http" big.bin "$H/big.bin" 4 skylark aria2c axel lftp
case_ "${big_mib}MiB ftp vsftpd" big.bin "$V/big.bin" 1 skylark curl lftp aria2c
case_ "${big_mib}MiB ftp vsftpd" big.bin "$V/big.bin" 4 skylark aria2c lftp
for n in 4 8; do
  case_ "${limited_mib}MiB http 2MiB/s" limited.bin "http://127.0.0.1:$slow_port/limited.bin" $n skylark aria2c axel
  case_ "${limited_mib}MiB ftp 2MiB/s" limited.bin "ftp://127.0.0.1:$slowftp_port/limited.bin" $n skylark aria2c
done

echo "20 tasks x 8 branches, ${limited_mib}MiB each at 2MiB/s per connection, one scheduler:"
mkdir -p "$work/many"
for i in $(seq 0 19); do mkdir -p "$work/many/$i"; done
SKYLARK_HOME="$work/home" /usr/bin/time -f 'cpu %U+%S s, peak %M KiB' \
  build-bench-dl/bin/manytasks "http://127.0.0.1:$slow_port/limited.bin" $((limited_mib * 1048576)) 20 8 $rate "$work/many"
bad=0
for i in $(seq 0 19); do cmp -s "$work/many/$i/limited.bin" "$work/www/limited.bin" || bad=$((bad + 1)); done
echo "sha256: $((20 - bad)) of 20 right"
