#!/usr/bin/python3
"""Stand-in window manager for the restack measurement: N frames under the root, each holding
one client listed in _NET_CLIENT_LIST; after DELAY seconds, COUNT changes of a root property
0.5 s apart (each one a root change the overlay answers with a restack).
Usage: restack_clients.py CLIENTS DELAY COUNT"""
import sys, time
from Xlib import X, Xatom, display
count_clients, delay, changes = int(sys.argv[1]), float(sys.argv[2]), int(sys.argv[3])
d = display.Display()
root = d.screen().root
clients = []
for i in range(count_clients):
    frame = root.create_window(10 + i, 10 + i, 200, 100, 0, X.CopyFromParent)
    client = frame.create_window(0, 20, 200, 80, 0, X.CopyFromParent)
    client.map(); frame.map()
    clients.append(client.id)
root.change_property(d.intern_atom("_NET_CLIENT_LIST"), Xatom.WINDOW, 32, clients)
d.sync()
print("ready", flush=True)
time.sleep(delay)
marker = d.intern_atom("_SONAVISTA_BENCH_TICK")
print("marker 0x%x" % marker, flush=True)
for i in range(changes):
    root.change_property(marker, Xatom.CARDINAL, 32, [i])
    d.sync()
    time.sleep(0.5)
print("done", flush=True)
time.sleep(1)
