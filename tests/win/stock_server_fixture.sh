# Sourced by the tests that serve through a stock server on 127.0.0.1.
#   nginx_start DIR SERVER_BLOCK_FILE PORT
# writes DIR/nginx.conf around the server block (every temporary path in DIR,
# logs in DIR/access.log and DIR/error.log), starts nginx in the foreground
# as a background job, waits until PORT accepts (at most 5 s) and sets
# NGINX_PID.
#   apache_start DIR ROOT PORT
# writes DIR/httpd.conf (the fewest modules that serve static files: the
# event MPM, access rules and MIME types; logs in DIR/access.log, one line
# per answer with its status and bytes, and DIR/error.log), starts Apache in
# the foreground as a background job serving ROOT, waits until PORT accepts
# and sets APACHE_PID. Started as root, Apache serves from worker processes
# of the user www-data (it refuses to serve as root), so ROOT must be
# readable by all.
# Each fails, with the server's own logs, when it does not come up.
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
    wait_for_port "$_port" nginx "$_dir/error.log" "$_dir/stdout.log"
}

apache_start() {
    _dir=$1 _root=$2 _port=$3
    _apache=/usr/sbin/apache2
    _modules=/usr/lib/apache2/modules
    [ -x "$_apache" ] || { echo "apache2-bin is not installed; tools/setup.sh installs it" >&2; return 1; }
    _user=""
    [ "$(id -u)" -ne 0 ] || _user="User www-data
Group www-data"
    cat > "$_dir/httpd.conf" <<CONF
ServerRoot $_dir
ServerName 127.0.0.1
Listen 127.0.0.1:$_port
LoadModule mpm_event_module $_modules/mod_mpm_event.so
LoadModule authz_core_module $_modules/mod_authz_core.so
LoadModule mime_module $_modules/mod_mime.so
TypesConfig /etc/mime.types
$_user
PidFile $_dir/httpd.pid
ErrorLog $_dir/error.log
LogFormat "%h \"%r\" %>s %O" sent
CustomLog $_dir/access.log sent
DocumentRoot $_root
<Directory $_root>
    Require all granted
</Directory>
CONF
    "$_apache" -f "$_dir/httpd.conf" -DFOREGROUND </dev/null >"$_dir/stdout.log" 2>&1 &
    APACHE_PID=$!
    wait_for_port "$_port" apache "$_dir/error.log" "$_dir/stdout.log"
}

# Waits until PORT on 127.0.0.1 accepts (at most 5 s); else prints that NAME
# did not start, with the LOGS, and fails.
wait_for_port() {
    _wport=$1 _wname=$2
    shift 2
    for _ in $(seq 1 50); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $_wport), 0.2)" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "$_wname did not start" >&2
    cat "$@" >&2
    return 1
}

# A free port on 127.0.0.1.
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
