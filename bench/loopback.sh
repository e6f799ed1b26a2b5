# Sourced by the benchmarks: a scratch folder removed at exit, free loopback
# ports, and an nginx serving "$work/www" on the ports it is given.

# bench_workdir PREFIX: sets $work (with www, logs, out) and $pids, and
# stops every started server and removes the folder at exit.
bench_workdir() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  pids=()
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
  mkdir -p "$work/www" "$work/logs" "$work/out"
}

freeport() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# start_nginx "SERVER_BLOCKS": one nginx process in the foreground.
start_nginx() {
  cat > "$work/nginx.conf" <<CONF
daemon off; master_process off; worker_processes 1;
pid $work/nginx.pid; error_log $work/logs/error.log;
events { worker_connections 256; }
http {
  access_log off; sendfile on;
  client_body_temp_path $work/logs; proxy_temp_path $work/logs; fastcgi_temp_path $work/logs;
  uwsgi_temp_path $work/logs; scgi_temp_path $work/logs;
  $1
}
CONF
  nginx -c "$work/nginx.conf" -p "$work" & pids+=($!)
}
