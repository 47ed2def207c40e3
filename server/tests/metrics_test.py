#!/usr/bin/python3
"""snapora-server's metrics as Prometheus reads them: the real server, a few
uploads of every outcome, an open event stream, and the page parsed by the
Prometheus client's own text parser (Debian's python3-prometheus-client).

    metrics_test.py SERVER_EXE
"""
import http.client
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from prometheus_client.parser import text_string_to_metric_families

server_exe = sys.argv[1]
failures = []
passes = []


def check(what, ok, detail=""):
    print(("  ok   " if ok else "  FAIL ") + what + ("" if ok else f" {detail}"))
    (passes if ok else failures).append(what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def request(port, method, path, body=None, headers=None):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request(method, path, body, headers or {})
    reply = connection.getresponse()
    data = reply.read()
    connection.close()
    return reply, data


def upload(port, picture, session=None, cookie=None):
    """The program's upload, as far as the server can tell (a session takes uploads from its opener's cookie)."""
    boundary = "--------120824153012345"
    fields = [("filename", "screenshot"), ("version", "4.2"), ("description", "")]
    if session:
        fields.append(("sessionname", session))
    body = b""
    for name, value in fields:
        body += f'--{boundary}\r\nContent-Disposition: form-data; name="{name}"\r\n\r\n{value}\r\n'.encode()
    body += (f'--{boundary}\r\nContent-Disposition: form-data; name="screenshot"; filename="C:\\Temp\\screen.jpg"\r\n'
             "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n").encode()
    body += picture + f"\r\n--{boundary}--\r\n".encode()
    headers = {"Content-Type": "multipart/form-data; boundary=" + boundary}
    if cookie:
        headers["Cookie"] = cookie
    _, data = request(port, "POST", "/upload.php", body, headers)
    return data.decode("cp1252")


def samples(text):
    """Every sample as {(name, frozenset of labels): value}, through Prometheus' parser."""
    found = {}
    for family in text_string_to_metric_families(text):
        for sample in family.samples:
            found[(sample.name, frozenset(sample.labels.items()))] = sample.value
    return found


work = tempfile.mkdtemp(prefix="snapora-metrics-")
server = None
try:
    # Metrics are refused where the public comes in.
    for listen, metrics in (("127.0.0.1:0", "0.0.0.0:9464"), ("192.0.2.5:80", "192.0.2.5:9464"),
                            ("127.0.0.1:8080", "127.0.0.1:8080")):
        refused = subprocess.run([server_exe, "--listen", listen, "--metrics-listen", metrics, "--data", work + "/x"],
                                 capture_output=True, text=True, timeout=10)
        check(f"--metrics-listen {metrics} beside --listen {listen} is refused",
              refused.returncode == 2 and "--metrics-listen" in refused.stderr, refused.stderr)

    metrics_port = free_port()
    port_file = work + "/port"
    server = subprocess.Popen([server_exe, "--listen", "127.0.0.1:0", "--data", work + "/data", "--port-file", port_file,
                               "--max-upload", "20000", "--metrics-listen", f"127.0.0.1:{metrics_port}"],
                              stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.exists(port_file):
            break
        time.sleep(0.05)
    port = int(open(port_file).read().strip().rsplit(":", 1)[1])

    picture = subprocess.run(["convert", "-size", "64x48", "gradient:navy-gold", "jpg:-"], capture_output=True,
                             check=True).stdout
    opened, _ = request(port, "GET", "/loginsession.php?sessionname=team")
    owner = opened.getheader("Set-Cookie").split(";")[0]
    replies = [upload(port, picture) for _ in range(2)] + [upload(port, picture, "team", owner)]
    replies += [upload(port, os.urandom(30000)), upload(port, picture, "nobody"), upload(port, b"not a picture")]
    check("uploads answered ok, toobig, wrongsession and an error text",
          [r[:3] for r in replies[:3]] == ["ok|"] * 3 and replies[3:5] == ["toobig", "wrongsession"]
          and not replies[5].startswith("ok"), replies)
    request(port, "GET", "/")
    request(port, "GET", "/no-such-screenshot")
    stream = socket.create_connection(("127.0.0.1", port))
    stream.sendall(b"GET /~team/events HTTP/1.1\r\nHost: x\r\n\r\n")
    stream.recv(4096)
    check("the public address has no metrics", request(port, "GET", "/metrics")[0].status == 404)
    check("the metrics listener serves nothing else", request(metrics_port, "GET", "/")[0].status == 404)

    reply, body = request(metrics_port, "GET", "/metrics")
    check("metrics answer 200 in the text format",
          reply.status == 200 and reply.getheader("Content-Type").startswith("text/plain; version=0.0.4"),
          reply.getheader("Content-Type"))
    text = body.decode()
    found = samples(text)

    def value(name, **labels):
        return found.get((name, frozenset(labels.items())))

    for outcome, count in (("ok", 3), ("toobig", 1), ("wrongsession", 1), ("refused", 1)):
        check(f"uploads with outcome {outcome}: {count}", value("snapora_uploads_total", outcome=outcome) == count,
              value("snapora_uploads_total", outcome=outcome))
    check("requests by status: two 404 (an unknown name, /metrics)", value("snapora_http_requests_total", code="404") == 2,
          value("snapora_http_requests_total", code="404"))
    check("requests by status: the 200s", value("snapora_http_requests_total", code="200") >= 8,
          value("snapora_http_requests_total", code="200"))
    buckets = sorted((float(dict(labels)["le"]), v) for (name, labels), v in found.items()
                     if name == "snapora_upload_duration_seconds_bucket")
    check("latency histogram: cumulative buckets up to +Inf = count = 6",
          all(a[1] <= b[1] for a, b in zip(buckets, buckets[1:])) and buckets[-1] == (float("inf"), 6)
          and value("snapora_upload_duration_seconds_count") == 6, buckets)
    check("latency histogram: a positive sum", 0 < value("snapora_upload_duration_seconds_sum") < 60)
    check("screenshots stored: 3", value("snapora_screenshots_stored") == 3)
    check("bytes stored: three pictures", value("snapora_stored_bytes") == 3 * len(picture), value("snapora_stored_bytes"))
    check("open event streams: 1", value("snapora_event_streams_open") == 1, value("snapora_event_streams_open"))
    free = shutil.disk_usage(work).free
    check("free disk space of the data folder", abs(value("snapora_data_free_bytes") - free) < 0.05 * free + 1e8,
          (value("snapora_data_free_bytes"), free))
    check("version", value("snapora_build_info", version="4.2") == 1)
    stream.close()
finally:
    if server:
        server.terminate()
        server.wait(15)
    shutil.rmtree(work, ignore_errors=True)

print(f"{len(passes)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
