#!/bin/sh
# tls_fixture.sh start|stop TLS_DIR ADD_ROOT_EXE
# The https side of the Wine tests.
#   start: makes a test certificate authority and a server certificate for
#          DNS:localhost signed by it (Wine's WinINet rejects a certificate for
#          a bare IP address), and a second, untrusted authority with its own
#          localhost certificate; adds the first authority to the Wine prefix's
#          machine ROOT store; starts two https servers on 127.0.0.1 that serve
#          TLS_DIR/www, one with each certificate, and writes their ports to
#          TLS_DIR/trusted.port and TLS_DIR/untrusted.port.
#   stop:  ends both servers.
# Nothing leaves 127.0.0.1; the servers end by themselves after 30 minutes.
set -eu
cmd=$1 dir=$2 addroot=${3:-}
HERE=$(cd "$(dirname "$0")" && pwd)

stop() {
    for name in trusted untrusted; do
        [ -f "$dir/$name.pid" ] && kill "$(cat "$dir/$name.pid")" 2>/dev/null || true
        rm -f "$dir/$name.pid" "$dir/$name.port"
    done
}

case "$cmd" in
start)
    stop
    mkdir -p "$dir/www"
    cd "$dir"
    for ca in ca other-ca; do
        openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Vortane test authority $ca" \
            -keyout "$ca.key" -out "$ca.pem" -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$ca-server.key" -out "$ca-server.csr" 2>/dev/null
        printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
        openssl x509 -req -in "$ca-server.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial -days 30 \
            -extfile server.ext -out "$ca-server.pem" 2>/dev/null
    done
    openssl x509 -in ca.pem -outform der -out ca.der
    /usr/lib/wine/wine64 "$addroot" "$(printf 'Z:%s/ca.der' "$dir" | tr / '\\')" </dev/null
    for pair in trusted:ca untrusted:other-ca; do
        name=${pair%%:*} ca=${pair#*:}
        python3 "$HERE/tls_server.py" "$dir/www" "$ca-server.pem" "$ca-server.key" "$dir/$name.port" 1800 \
            </dev/null >"$dir/$name.log" 2>&1 &
        echo $! > "$dir/$name.pid"
    done
    for name in trusted untrusted; do
        for _ in $(seq 1 100); do [ -s "$dir/$name.port" ] && break; sleep 0.1; done
        [ -s "$dir/$name.port" ] || { echo "tls_fixture: the $name server did not start" >&2; cat "$dir/$name.log" >&2; exit 1; }
    done
    echo "tls_fixture: https on localhost:$(cat "$dir/trusted.port") (trusted), localhost:$(cat "$dir/untrusted.port") (untrusted)"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: tls_fixture.sh start|stop TLS_DIR [ADD_ROOT_EXE]" >&2
    exit 2
    ;;
esac
