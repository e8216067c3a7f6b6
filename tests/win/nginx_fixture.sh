# Sourced by the tests that serve through a stock nginx on 127.0.0.1.
#   nginx_start DIR SERVER_BLOCK_FILE PORT
# writes DIR/nginx.conf around the server block (every temporary path in DIR,
# logs in DIR/access.log and DIR/error.log), starts nginx in the foreground
# as a background job, waits until PORT accepts (at most 5 s) and sets
# NGINX_PID. Fails, with nginx's own logs, when it does not come up.
nginx_start() {
    _dir=$1 _block=$2 _port=$3
    _nginx=$(command -v nginx || echo /usr/sbin/nginx)
    [ -x "$_nginx" ] || { echo "nginx is not installed; tools/setup.sh installs it" >&2; return 1; }
    cat > "$_dir/nginx.conf" <<CONF
user root;
worker_processes 1;
daemon off;
pid $_dir/nginx.pid;
error_log $_dir/error.log;
events { worker_connections 64; }
http {
    access_log $_dir/access.log;
    client_body_temp_path $_dir/body;
    proxy_temp_path $_dir/proxy;
    fastcgi_temp_path $_dir/fastcgi;
    uwsgi_temp_path $_dir/uwsgi;
    scgi_temp_path $_dir/scgi;
    types { text/html html htm; }
    default_type application/octet-stream;
    include $_block;
}
CONF
    "$_nginx" -p "$_dir" -c "$_dir/nginx.conf" </dev/null >"$_dir/stdout.log" 2>&1 &
    NGINX_PID=$!
    for _ in $(seq 1 50); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $_port), 0.2)" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "nginx did not start" >&2
    cat "$_dir/error.log" "$_dir/stdout.log" >&2
    return 1
}

# A free port on 127.0.0.1.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
