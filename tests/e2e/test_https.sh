# HTTPS: snapora-server serves TLS with a certificate from a test authority;
# the program, sent there by the registry value ServiceURL, refuses the
# server while the authority is unknown and uploads and renames over
# https:// once the authority is in Wine's trusted roots.

tls_dir=$(mktemp -d /tmp/snapora-e2e-tls.XXXXXX)
tls_port=18443
service_url="https://localhost:$tls_port"
reg_key='HKCU\Software\Snapora'
(
  cd "$tls_dir" || exit 1
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Snapora Test CA" -keyout ca.key -out ca.pem \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key -out server.csr
  printf '%s\n' "subjectAltName=DNS:localhost,IP:127.0.0.1" "extendedKeyUsage=serverAuth" \
    "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" >server.ext
  openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile server.ext \
    -out server.pem
) >"$tls_dir/openssl.log" 2>&1 || fail "test authority and server certificate made"

"$native_build/server/snapora-server" --listen "127.0.0.1:$tls_port" --public-host "localhost:$tls_port" \
  --tls-cert "$tls_dir/server.pem" --tls-key "$tls_dir/server.key" --data "$tls_dir/data" \
  --port-file "$tls_dir/port" 2>"$tls_dir/server.log" &
tls_pid=$!
trap 'stop_snapora; stop_service; kill $tls_pid 2>/dev/null; wine "$wintool_exe" untrust-ca "$tls_dir/ca.pem" >/dev/null 2>&1; stop_display' EXIT
wait_until 50 test -s "$tls_dir/port" || fail "snapora-server starts with TLS ($(cat "$tls_dir/server.log"))"

expect_eq "server's home page over HTTPS, checked against the test authority" \
  "$(curl -s -o /dev/null -w '%{http_code}' --cacert "$tls_dir/ca.pem" "$service_url/")" "200"
curl -s -o /dev/null "$service_url/"
expect_eq "without the authority the certificate is refused (curl exit 60)" "$?" "60"

settings_existed=0
wine reg query "$reg_key" >/dev/null 2>&1 && settings_existed=1
wine reg add "$reg_key" /v ServiceURL /d "$service_url" /f >/dev/null 2>&1
uploads() { grep -c 'POST /upload.php' "$tls_dir/server.log"; }

# Not yet trusted: the upload fails and the program is ready again.
wine "$wintool_exe" untrust-ca "$tls_dir/ca.pem" >/dev/null 2>&1
start_snapora
expect_eq "link shows the service from ServiceURL" "$(control_text Label5)" "$service_url"
wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
wintool settext "$main_title" Label1 "-" >/dev/null
focus_main
xdotool key Print
wait_until 300 bash -c "wine '$wintool_exe' get '$main_title' EditCheckBox 2>/dev/null | cut -f5 | grep -qx 1 &&
  [ \"\$(wine '$wintool_exe' text '$main_title' Label1 2>/dev/null | tr -d '\r')\" != '-' ]"
status=$(control_text Label1)
if [ "$status" != "Screenshot wurde erfolgreich hochgeladen." ] && [ "$(uploads)" = 0 ]; then
  pass "unknown authority: no upload ($status)"
else
  fail "unknown authority: status '$status', $(uploads) upload(s) at the server"
fi
stop_snapora

# Trusted: upload and rename over HTTPS.
if wintool trust-ca "$tls_dir/ca.pem" >/dev/null; then pass "test authority added to Wine's trusted roots"
else fail "test authority added to Wine's trusted roots"; fi
start_snapora
wintool check "$main_title" ActiveWindowCheckBox 0 >/dev/null
press_and_wait_status Print "Screenshot wurde erfolgreich hochgeladen." && pass "upload over HTTPS" \
  || fail "upload over HTTPS (status '$(control_text Label1)')"
url=$(control_text DisplayURLEdit)
case "$url" in
  "$service_url/"?*) pass "https:// address shown: $url" ;;
  *) fail "address shown: '$url'" ;;
esac
expect_eq "the picture is served over HTTPS" \
  "$(curl -s -o /dev/null -w '%{http_code}' --cacert "$tls_dir/ca.pem" "$url.jpg")" "200"
wintool settext "$main_title" RenameEdit "Sicher" >/dev/null
wintool click "$main_title" RenameButton >/dev/null
wintool wait-text "$main_title" DisplayURLEdit "$service_url/Sicher" 10000 >/dev/null \
  && pass "https:// rename reply accepted" || fail "renamed address: '$(control_text DisplayURLEdit)'"
stop_snapora

wintool untrust-ca "$tls_dir/ca.pem" >/dev/null || fail "test authority removed again"
if [ "$settings_existed" = 1 ]; then wine reg delete "$reg_key" /v ServiceURL /f >/dev/null 2>&1
else wine reg delete "$reg_key" /f >/dev/null 2>&1; fi
kill "$tls_pid" 2>/dev/null
wait "$tls_pid" 2>/dev/null
rm -rf "$tls_dir"
trap 'stop_snapora; stop_service; stop_display' EXIT
