#!/usr/bin/python3
"""The browser extension in real headless Chromium and Firefox ESR, against local stand-ins of the
web players that play a tone as the real sites do, watched through sonavista-detect on the
bridge's port. Usage: browser_extension.py DETECT BUILD_DIR (its extension/chromium folder and
sonavista-firefox.xpi are loaded); exits with the failed checks."""
import contextlib
import http.server
import json
import os
import shutil
import select
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
import zipfile

import websocket  # python3-websocket

BRIDGE_PORT = 43828

PAGE = """<!doctype html><meta charset="utf-8"><title>{host}</title><body>
<script>
window.addEventListener('error', (e) => fetch('/error', {{method: 'POST', body: String(e.message)}}));
window.addEventListener('unhandledrejection', (e) => fetch('/error', {{method: 'POST', body: String(e.reason)}}));
const tab = new URLSearchParams(location.search).get('tab');
const players = [];
function element(tag, volume, muted, attach, autoplay) {{
  const media = tag === 'Audio' ? new Audio('/tone.wav') : document.createElement(tag);
  if (tag !== 'Audio') media.src = '/tone.wav';
  media.loop = true; media.volume = volume; media.muted = muted;
  if (attach) document.body.appendChild(media);
  if (autoplay) media.autoplay = true; else players.push(media);  // starts by itself, never paused
}}
{elements}
async function poll() {{
  const command = await (await fetch('/control?tab=' + tab)).text();
  if (command === 'leave') {{ location.href = 'about:blank'; return; }}
  if (command.startsWith('goto:')) {{ location.href = command.slice(5); return; }}
  for (const media of players) {{
    if (command === 'play' && media.paused) media.play().catch(() => {{}});
    if (command === 'pause' && !media.paused) media.pause();
  }}
  setTimeout(poll, 250);
}}
poll();
</script>"""

# Per host: the player, the page's media elements (tag, volume, muted, attached) and the volume expected.
STAND_INS = {
    "www.youtube.com": ("youtube", "element('video', 1, true, true); element('audio', 0.5, false, true);", 0.5),
    "music.youtube.com": ("youtube", "element('Audio', 0.6, false, false, true);", 0.6),
    "open.spotify.com": ("spotifyWeb", "element('audio', 0.75, false, false);", 0.75),
    "y.qq.com": ("qqMusicWeb", "element('audio', 0, false, true); element('audio', 0.8, false, true);", 0.8),
}


class StandIns:
    """The web servers (HTTPS and HTTP) of the stand-in pages, and what the pages told them."""

    def __init__(self, work):
        wav = open(f"{work}/tone.wav", "rb").read()
        self.commands, self.errors = {}, []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def answer(self, status, body, kind, extra=()):
                self.send_response(status)
                for name, value in (("Content-Type", kind), ("Content-Length", str(len(body))),
                                    ("Cache-Control", "no-store"), *extra):
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                if url.path == "/tone.wav":
                    start = int(self.headers.get("Range", "bytes=0-")[6:].split("-")[0] or 0)
                    self.answer(206 if "Range" in self.headers else 200, wav[start:], "audio/wav",
                                [("Accept-Ranges", "bytes"), ("Content-Range", f"bytes {start}-{len(wav) - 1}/{len(wav)}")])
                elif url.path == "/control":
                    self.answer(200, owner.commands.get(urllib.parse.parse_qs(url.query)["tab"][0], "play").encode(), "text/plain")
                else:
                    host = self.headers.get("Host", "").split(":")[0]
                    page = PAGE.format(host=host, elements=STAND_INS.get(host, ("", "", 0))[1])
                    self.answer(200, page.encode(), "text/html")

            def do_POST(self):
                owner.errors.append(self.rfile.read(int(self.headers.get("Content-Length", 0))).decode(errors="replace"))
                self.answer(204, b"", "text/plain")

        self.servers = [http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler) for _ in range(2)]
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(f"{work}/cert.pem", f"{work}/key.pem")
        self.servers[0].socket = context.wrap_socket(self.servers[0].socket, server_side=True)
        for server in self.servers:
            server.daemon_threads = True
            threading.Thread(target=server.serve_forever, daemon=True).start()
        self.https_port, self.http_port = (s.server_address[1] for s in self.servers)


class Detector:
    """sonavista-detect, its snapshots read as they come."""

    def __init__(self, program, env):
        self.process = subprocess.Popen([program, "--enabled", "youtube,spotifyWeb,qqMusicWeb"], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
        self.pending, self.seen = b"", [{}]

    def wait_for(self, wanted, seconds):
        """Whether a snapshot (the current one included) is `wanted` within `seconds`."""
        end = time.monotonic() + seconds
        while not wanted(self.seen[-1]):
            if b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                self.seen.append(json.loads(line))
                continue
            left = end - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                return False
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                return False
            self.pending += chunk
        return True


def shows(player=None, state=None, volume=None):
    return lambda s: (s.get("player") == player and (state is None or s.get("state") == state) and
                      (volume is None or abs(s.get("volumeLevel", -1) - volume) < 1e-6))


def stops_counting(s):
    return s.get("state") != "playing"


def start_browser(work, name, command, **options):
    """A browser in a process group of its own (it starts helper processes), logging to work/NAME.log."""
    log = open(os.path.join(work, f"{name}.log"), "w")
    return subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, start_new_session=True, **options)


class Chromium:
    def __init__(self, work, extension, stand_ins):
        binary = next(p for p in ("/usr/lib/chromium/chromium", "/usr/bin/chromium") if os.path.exists(p))
        profile = os.path.join(work, "profile")
        rules = ", ".join(f"MAP {h} 127.0.0.1:{stand_ins.https_port}" for h in ("*.youtube.com", "open.spotify.com"))
        self.process = start_browser(work, "chromium", [
            binary, "--headless=new", "--no-sandbox", f"--user-data-dir={profile}", f"--load-extension={extension}",
            f"--disable-extensions-except={extension}", "--ignore-certificate-errors",
            f"--host-resolver-rules={rules}, MAP y.qq.com 127.0.0.1:{stand_ins.http_port}",
            "--autoplay-policy=no-user-gesture-required", "--disable-features=HttpsUpgrades", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--remote-debugging-port=0",
            "about:blank"])
        port_file = os.path.join(profile, "DevToolsActivePort")
        for _ in range(200):
            if os.path.exists(port_file) and open(port_file).read().strip():
                break
            time.sleep(0.05)
        self.devtools = f"http://127.0.0.1:{open(port_file).read().split()[0]}"

    def extension_info(self):
        """What chrome://extensions knows of the loaded extensions (warnings and errors included)."""
        page = websocket.create_connection(self.open("chrome://extensions", False)["webSocketDebuggerUrl"], timeout=10)
        page.send(json.dumps({"id": 1, "method": "Runtime.evaluate", "params": {
            "expression": "chrome.developerPrivate.getExtensionsInfo()", "awaitPromise": True, "returnByValue": True}}))
        return json.loads(page.recv())["result"]["result"].get("value")

    def open(self, url, ids_only=True):
        request = urllib.request.Request(f"{self.devtools}/json/new?{urllib.parse.quote(url, safe=':/?=&')}",
                                         method="PUT")
        target = json.load(urllib.request.urlopen(request, timeout=10))
        return target["id"] if ids_only else target

    def close(self, target):
        urllib.request.urlopen(f"{self.devtools}/json/close/{target}", timeout=10).read()


def start_firefox(work, package, url):
    """Firefox ESR with the packed extension as an unsigned add-on of a fresh profile; the players'
    host names resolve to this machine and are served over plain HTTP (their HTTPS preload is off)."""
    profile = os.path.join(work, "firefox")
    os.makedirs(os.path.join(profile, "extensions"))
    gecko_id = json.loads(zipfile.ZipFile(package).read("manifest.json"))["browser_specific_settings"]["gecko"]["id"]
    shutil.copy(package, os.path.join(profile, "extensions", gecko_id + ".xpi"))
    prefs = {"xpinstall.signatures.required": False, "extensions.autoDisableScopes": 0,
             "extensions.enabledScopes": 15, "media.autoplay.default": 0, "dom.security.https_first": False,
             "network.stricttransportsecurity.preloadlist": False, "browser.shell.checkDefaultBrowser": False,
             "network.dns.localDomains": ",".join(STAND_INS)}
    with open(os.path.join(profile, "user.js"), "w") as out:
        out.writelines(f'user_pref("{name}", {json.dumps(value)});\n' for name, value in prefs.items())
    return start_browser(work, "firefox", ["firefox-esr", "--headless", "--no-remote", "--profile", profile, url],
                         env=dict(os.environ, HOME=work))


failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok   - " + what) if ok else f"FAIL - {what}  # {detail}", flush=True)
    failures += not ok
    return ok


def slow_bridge(seconds):
    """Listens on the bridge port for `seconds` and never answers; how many connections came."""
    with socket.create_server(("127.0.0.1", BRIDGE_PORT), backlog=64) as listener:
        time.sleep(seconds)
        listener.setblocking(False)
        connections = []
        with contextlib.suppress(BlockingIOError):
            while True:
                connections.append(listener.accept()[0])
    return len(connections)


def run(work, detect_program, build, stand_ins, processes):
    # Chromium before 121 refuses a manifest naming background scripts beside the service worker.
    manifest = json.loads(zipfile.ZipFile(f"{build}/sonavista-chromium.zip").read("manifest.json"))
    check("the Chromium package's manifest suits every version it claims",
          int(manifest["minimum_chrome_version"]) >= 121 or "scripts" not in manifest["background"], manifest)
    chromium = Chromium(work, f"{build}/extension/chromium", stand_ins)
    processes.append(chromium.process)
    time.sleep(1)
    info = chromium.extension_info() or [{}]
    check("Chromium loads the extension without warnings or errors", len(info) == 1 and info[0].get("state") ==
          "ENABLED" and not any(info[0].get(k) for k in ("installWarnings", "manifestErrors", "runtimeErrors")), info)
    workers = [t["url"] for t in json.load(urllib.request.urlopen(f"{chromium.devtools}/json/list", timeout=10))]
    check("the extension's service worker runs", any(u.endswith("/background.js") for u in workers), workers)
    page = lambda host, tab: f"{'http' if host == 'y.qq.com' else 'https'}://{host}/?tab={tab}"

    # The bridge is down while a page starts playing, then it listens but never answers.
    first = chromium.open(page("www.youtube.com", "www.youtube.com"))
    time.sleep(3)
    try:
        connections = slow_bridge(7)
    except OSError as error:
        return check(f"port {BRIDGE_PORT} (the bridge) is free for this test", False, str(error))
    check("a bridge that never answers gets one connection at a time", 1 <= connections <= 3,
          f"{connections} connections in 7 s")

    # The real bridge comes up: the waiting report arrives within the back-off.
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=f"{work}/config", XDG_RUNTIME_DIR=work,
               PULSE_SERVER=f"unix:{work}/no-pulse", DBUS_SESSION_BUS_ADDRESS=f"unix:path={work}/no-bus")
    detector = Detector(detect_program, env)
    processes.append(detector.process)
    sees = lambda what, wanted, seconds: check(what, detector.wait_for(wanted, seconds), f"seen {detector.seen[-3:]}")

    def plays_then_pauses(browser_name, host, tab, seconds=10):
        source, _, volume = STAND_INS[host]
        sees(f"{browser_name}: {source} ({host}) is seen playing at volume {volume}",
             shows(source, "playing", volume), seconds)
        stand_ins.commands[tab] = "pause"
        sees(f"{browser_name}: {source} is seen paused", shows(source, "paused"), 5)

    sees("reports arrive once the bridge is back", shows("youtube", "playing", 0.5), 10)

    # The tone loops every 2 s; the seek back to its start must not read as a pause.
    check("a looping player counts as playing throughout", not detector.wait_for(stops_counting, 4.5),
          f"seen {detector.seen[-3:]}")

    # Each player: playing, paused, gone.
    hosts = [h for h in STAND_INS if h != "music.youtube.com"]
    for host in hosts:
        tab = first if host == "www.youtube.com" else chromium.open(page(host, host))
        plays_then_pauses("Chromium", host, host)
        chromium.close(tab)
        sees(f"Chromium: {host} is gone once its tab is closed", shows(), 6)

    # A playing tab that closes, or navigates away, stops counting at once.
    for how in ("closes", "navigates away"):
        tab = chromium.open(page("music.youtube.com", how))
        if not sees(f"a music.youtube.com tab that then {how} is seen playing", shows("youtube", "playing", 0.6), 10):
            continue
        time.sleep(1.5)  # a few heartbeats
        if how == "closes":
            chromium.close(tab)
        else:
            stand_ins.commands[how] = "leave"
        sees(f"a playing tab that {how} stops counting within 1 s", stops_counting, 1.0)
        if how != "closes":
            chromium.close(tab)
        detector.wait_for(shows(), 6)

    # Firefox ESR: one tab walks through the three players, then leaves.
    os.killpg(chromium.process.pid, signal.SIGKILL)
    url = lambda i: f"http://{hosts[i]}:{stand_ins.http_port}/?tab=firefox-{i}"
    processes.append(start_firefox(work, f"{build}/sonavista-firefox.xpi", url(0)))
    for i, host in enumerate(hosts):
        plays_then_pauses("Firefox", host, f"firefox-{i}", 30 if i == 0 else 10)
        stand_ins.commands[f"firefox-{i}"] = f"goto:{url(i + 1)}" if i + 1 < len(hosts) else "leave"
    sees("Firefox: gone once the tab leaves", shows(), 6)

    check("no page saw an error", not stand_ins.errors, "; ".join(stand_ins.errors))
    detector.process.send_signal(signal.SIGTERM)
    check("the detector exits cleanly on SIGTERM", detector.process.wait(5) == 0)


def main():
    detect_program, build = sys.argv[1], os.path.abspath(sys.argv[2])
    work = tempfile.mkdtemp(prefix="sonavista-extension-")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=stand-in",
                    "-keyout", f"{work}/key.pem", "-out", f"{work}/cert.pem"], check=True, capture_output=True)
    subprocess.run(["sox", "-n", "-r", "22050", "-c", "1", f"{work}/tone.wav", "synth", "2", "sine", "330"], check=True)
    processes = []  # the browsers and the detector, each in a process group of its own
    try:
        run(work, detect_program, build, StandIns(work), processes)
    finally:
        for process in processes:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        for name in ("chromium.log", "firefox.log") if failures else ():
            if os.path.exists(f"{work}/{name}"):
                print(f"--- {name} (last lines)\n" + "".join(open(f"{work}/{name}").readlines()[-30:]))
        shutil.rmtree(work, ignore_errors=True)
    print(f"{failures} failed")
    return failures


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # so that the browsers are stopped too
    sys.exit(main())
