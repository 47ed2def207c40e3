# snapora-server as the program's service: the address shown serves the JPEG
# the program sent, renaming renames on the server, and session-mode uploads
# appear on the session page. A relay on the program's port records what the
# program sends; the server sits behind it.

stop_service  # the test service holds port 18080
server_dir=$(mktemp -d /tmp/snapora-e2e-server.XXXXXX)
mkdir -p "$server_dir/sent"
"$native_build/server/snapora-server" --listen 127.0.0.1:18081 --public-host "127.0.0.1:$service_port" \
  --data "$server_dir/data" --port-file "$server_dir/port" 2>"$server_dir/server.log" &
server_pid=$!
python3 "$(dirname "${BASH_SOURCE[0]}")/record_relay.py" "$service_port" 18081 "$server_dir/sent" &
relay_pid=$!
trap 'stop_snapora; stop_service; kill $relay_pid $server_pid 2>/dev/null; stop_display' EXIT
wait_until 50 test -s "$server_dir/port" && wait_until 50 bash -c "exec 3<>/dev/tcp/127.0.0.1/$service_port" \
  || fail "snapora-server and the relay start"

# The picture in the newest recorded upload request.
sent_picture() {
  local last
  last=$(grep -l '^POST /upload.php' "$server_dir"/sent/*.req | tail -1)
  python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); open(sys.argv[2],"wb").write(d.split(b"\r\n\r\n",1)[1])' \
    "$last" "$server_dir/body"
  extract_upload "$server_dir/body" "$1"
}
fetch() { curl -s -o "$2" -w '%{http_code}' "$1"; }

start_snapora
wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen." && pass "upload to snapora-server" \
  || fail "upload to snapora-server (status '$(control_text Label1)')"
url=$(control_text DisplayURLEdit)
case "$url" in
  "http://127.0.0.1:$service_port/"?*) pass "address shown: $url" ;;
  *) fail "address shown: '$url'" ;;
esac
sent_picture "$server_dir/sent.jpg"
expect_eq "the address's picture is a JPEG" "$(fetch "$url.jpg" "$server_dir/served.jpg")" "200"
if cmp -s "$server_dir/sent.jpg" "$server_dir/served.jpg"; then pass "served picture is byte for byte what was sent"
else fail "served picture differs from the sent one ($(stat -c %s "$server_dir/sent.jpg") / $(stat -c %s "$server_dir/served.jpg") bytes)"; fi
expect_eq "screenshot page" "$(fetch "$url" "$server_dir/page.html")" "200"
grep -q "<img src=\"/${url##*/}.jpg\"" "$server_dir/page.html" && pass "page shows the picture" || fail "page shows the picture"

# Renaming from the program renames on the server (the program's cookie proves it is its own upload).
wintool settext "$main_title" RenameEdit "Server Test" >/dev/null
wintool click "$main_title" RenameButton >/dev/null
wintool wait-text "$main_title" DisplayURLEdit "http://127.0.0.1:$service_port/Server_Test" 10000 >/dev/null \
  && pass "renamed address shown" || fail "renamed address: '$(control_text DisplayURLEdit)'"
fetch "http://127.0.0.1:$service_port/Server_Test.jpg" "$server_dir/renamed.jpg" >/dev/null
cmp -s "$server_dir/sent.jpg" "$server_dir/renamed.jpg" && pass "new name serves the picture" || fail "new name serves the picture"
expect_eq "old name leads to the new one" "$(curl -s -o /dev/null -w '%{http_code} %{redirect_url}' "$url")" \
  "302 http://127.0.0.1:$service_port/Server_Test"

# Session mode: the server confirms the name (a blank reaches it as %20 and
# comes back as "_") and lists the upload on the session page.
wintool check "$main_title" SessionModeCheckBox 1 >/dev/null
wintool wait "Session-Modus starten" 10000 >/dev/null
wintool settext "Session-Modus starten" SessionNameEdit " Runde 7 " >/dev/null
wintool click "Session-Modus starten" Button1 >/dev/null
wintool wait-text "$main_title" SessionUrlEdit "http://127.0.0.1:$service_port/~Runde_7" 10000 >/dev/null \
  && pass "session confirmed by the server" || fail "session address: '$(control_text SessionUrlEdit)'"
focus_window "$main_title   [Session: Runde_7]"
xdotool key Print
wintool wait-text "$main_title" Label1 "Screenshot wurde erfolgreich hochgeladen." 30000 >/dev/null \
  || fail "upload in session mode"
session_url=$(control_text DisplayURLEdit)
# Recorded once its connection ended, which the upload's own connection saw to.
grep -q 'GET /loginsession.php?sessionname=Runde%207 HTTP' "$server_dir"/sent/*.req \
  && pass "the blank went as %20" || fail "the blank went as %20"
fetch "http://127.0.0.1:$service_port/~Runde_7" "$server_dir/session.html" >/dev/null
grep -q "href=\"/${session_url##*/}\"" "$server_dir/session.html" && pass "session page lists the upload" \
  || fail "session page lists the upload ($session_url)"
wintool check "$main_title" SessionModeCheckBox 0 >/dev/null
stop_snapora

kill "$relay_pid" "$server_pid" 2>/dev/null
wait "$server_pid" 2>/dev/null
expect_eq "snapora-server stops cleanly on SIGTERM" "$?" "0"
wait "$relay_pid" 2>/dev/null
rm -rf "$server_dir"
trap 'stop_snapora; stop_service; stop_display' EXIT
start_service  # back for the tests that follow
