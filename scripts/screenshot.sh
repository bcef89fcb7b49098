#!/usr/bin/env bash
# Takes docs/screenshot.png: serves a small demo site with nginx on
# 127.0.0.1, runs the window against it (under Xvfb when available, else the
# offscreen platform), lets it download every movie and save a picture of
# itself when all rows are done.
#
#   bash scripts/screenshot.sh <build folder>
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
program="$build/app/gui/quenloft"
if [ ! -x "$program" ]; then
  echo "error: $program is missing; build with -DQUENLOFT_GUI=ON first" >&2
  exit 1
fi

work="$(mktemp -d)"
# nginx's workers may run as another user: let them read the site.
chmod 755 "$work"
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

python3 scripts/make-demo-site.py "$work/site"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  types { text/html html; application/x-shockwave-flash swf; }
  # Small chunks with a pause between them, so that the rows show progress.
  sendfile off;
  limit_rate 400k;
  server {
    listen 127.0.0.1:$port;
    root $work/site;
  }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 50); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then break; fi
  sleep 0.1
done

mkdir -p docs "$work/out" "$work/config"
export XDG_CONFIG_HOME="$work/config"
export QUENLOFT_START_URL="http://127.0.0.1:$port/index.html"
export QUENLOFT_OUTPUT="$work/out/"
export QUENLOFT_SCREENSHOT="$PWD/docs/screenshot.png"
if command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 1024x768x24" "$program"
else
  QT_QPA_PLATFORM=offscreen "$program"
fi
echo "Saved docs/screenshot.png"
