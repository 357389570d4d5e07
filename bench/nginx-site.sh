# Sourced by the benchmarks: serve_site ROOT WORK starts nginx on 127.0.0.1 with
# keep-alive, serving ROOT, with its files under WORK; sets `origin` (http://127.0.0.1:PORT)
# and `nginx_pid`, and returns once the server answers.
serve_site() {
    local root=$1 work=$2 port
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
    mkdir -p "$work/tmp"
    cat > "$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 512; }
http {
    access_log off;
    keepalive_timeout 30;
    keepalive_requests 100000;
    types { text/html html; text/css css; image/png png; }
    client_body_temp_path $work/tmp; proxy_temp_path $work/tmp; fastcgi_temp_path $work/tmp;
    uwsgi_temp_path $work/tmp; scgi_temp_path $work/tmp;
    server { listen 127.0.0.1:$port; root $root; }
}
CONF
    chmod -R a+rX "$work"  # nginx's workers may run as another user
    nginx -c "$work/nginx.conf" -p "$work" 2>"$work/nginx.err" &
    nginx_pid=$!
    origin="http://127.0.0.1:$port"
    for _ in $(seq 50); do curl -s -o /dev/null "$origin/" && return 0; sleep 0.1; done
}
