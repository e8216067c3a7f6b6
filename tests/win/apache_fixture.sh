# Sourced by the tests that serve through a stock Apache on 127.0.0.1.
#   apache_start DIR ROOT PORT
# writes DIR/httpd.conf (the fewest modules that serve static files: the
# event MPM, access rules and MIME types; logs in DIR/access.log, one line
# per answer with its status and bytes, and DIR/error.log), starts Apache in
# the foreground as a background job serving ROOT, waits until PORT accepts
# (at most 5 s) and sets APACHE_PID. Started as root, Apache serves from
# worker processes of the user www-data (it refuses to serve as root), so
# ROOT must be readable by all. Fails, with Apache's own logs, when it does
# not come up.
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
    for _ in $(seq 1 50); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $_port), 0.2)" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "apache did not start" >&2
    cat "$_dir/error.log" "$_dir/stdout.log" >&2
    return 1
}
