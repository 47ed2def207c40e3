#!/usr/bin/env python3
"""Forwards 127.0.0.1:LISTEN to 127.0.0.1:TARGET and records what each client
connection sent into DIR/NNNN.req (renamed into place when the connection ends),
so a test can compare what the program sent with what a server keeps.

usage: record_relay.py LISTEN TARGET DIR
Runs until SIGTERM."""
import os
import signal
import socket
import sys
import threading

listen_port, target_port, record_dir = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
counter = iter(range(1, 1_000_000))
counter_lock = threading.Lock()


def pump(source, sink, record=None):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            if record is not None:
                record.append(data)
            sink.sendall(data)
    except OSError:
        pass
    finally:
        try:
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def serve(client):
    with counter_lock:
        number = next(counter)
    sent = []
    try:
        upstream = socket.create_connection(("127.0.0.1", target_port))
    except OSError:
        client.close()
        return
    back = threading.Thread(target=pump, args=(upstream, client), daemon=True)
    back.start()
    pump(client, upstream, sent)
    back.join()
    client.close()
    upstream.close()
    path = os.path.join(record_dir, "%04d.req" % number)
    with open(path + ".tmp", "wb") as out:
        out.write(b"".join(sent))
    os.rename(path + ".tmp", path)


signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", listen_port))
listener.listen(64)
while True:
    connection, _ = listener.accept()
    threading.Thread(target=serve, args=(connection,), daemon=True).start()
