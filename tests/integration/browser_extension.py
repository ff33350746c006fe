#!/usr/bin/env python3
"""The browser extension in real headless browsers (Chromium, then Firefox ESR), against local
stand-ins of the web players, watched through sonavista-detect on the bridge's own port.

    browser_extension.py DETECT EXTENSION_DIR

The stand-ins play a generated tone the way the real sites play (a muted preview beside the
audio, a detached or autoplaying Audio element, a silent element beside the loud one) and ask
the test four times a second whether to play, pause or leave. Checked: each player goes
playing -> paused -> gone at the volume of its loudest audible element; a closed or navigated
tab stops counting within 1 s; the extension outlives a bridge that is down or never answers
(one connection at a time) and reports once it is back; no page sees an error. Exits with the
number of failed checks.
"""
import http.server
import json
import os
import queue
import shutil
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

BRIDGE_PORT = 43828
HOLD_CLOSED_TAB = 1.0  # seconds within which a closed tab must stop counting

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
let audible = false;
async function poll() {{
  audible = players.some((m) => !m.paused && !m.muted && m.volume > 0 && m.readyState > 2);
  const command = await (await fetch('/control?tab=' + tab + '&audible=' + audible)).text();
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

# Per host: the page's media elements (tag, volume, muted, attached) and the volume expected.
STAND_INS = {
    "www.youtube.com": ("youtube", "element('video', 1, true, true); element('audio', 0.5, false, true);", 0.5),
    "music.youtube.com": ("youtube", "element('Audio', 0.6, false, false, true);", 0.6),
    "open.spotify.com": ("spotifyWeb", "element('audio', 0.75, false, false);", 0.75),
    "y.qq.com": ("qqMusicWeb", "element('audio', 0, false, true); element('audio', 0.8, false, true);", 0.8),
}


class StandIns:
    """The web server of the stand-in pages, and what they told it."""

    def __init__(self, wav):
        self.wav = wav
        self.commands, self.audible, self.errors = {}, {}, []
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def answer(self, status, body, kind, extra=()):
                self.send_response(status)
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.send_header("Cache-Control", "no-store")
                for name, value in extra:
                    self.send_header(name, value)
                self.end_headers()
                self.wfile.write(body)

            def do_GET(self):
                url = urllib.parse.urlsplit(self.path)
                query = dict(urllib.parse.parse_qsl(url.query))
                if url.path == "/tone.wav":
                    start = int(self.headers.get("Range", "bytes=0-")[6:].split("-")[0] or 0)
                    body = owner.wav[start:]
                    extra = [("Accept-Ranges", "bytes"),
                             ("Content-Range", f"bytes {start}-{len(owner.wav) - 1}/{len(owner.wav)}")]
                    self.answer(206 if "Range" in self.headers else 200, body, "audio/wav", extra)
                elif url.path == "/control":
                    owner.audible[query.get("tab")] = query.get("audible") == "true"
                    self.answer(200, owner.commands.get(query.get("tab"), "play").encode(), "text/plain")
                else:
                    host = self.headers.get("Host", "").split(":")[0]
                    elements = STAND_INS.get(host, ("", "", 0))[1]
                    self.answer(200, PAGE.format(host=host, elements=elements).encode(), "text/html")

            def do_POST(self):
                body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
                owner.errors.append(body.decode(errors="replace"))
                self.answer(204, b"", "text/plain")

        self.servers = []
        for secure in (True, False):
            server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
            server.daemon_threads = True
            if secure:
                context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                context.load_cert_chain(CERT, KEY)
                server.socket = context.wrap_socket(server.socket, server_side=True)
            threading.Thread(target=server.serve_forever, daemon=True).start()
            self.servers.append(server)
        self.https_port, self.http_port = (s.server_address[1] for s in self.servers)

    def stop(self):
        for server in self.servers:
            server.shutdown()
            server.server_close()


class Detector:
    """sonavista-detect, its snapshots read as they come."""

    def __init__(self, program, env):
        self.process = subprocess.Popen([program, "--enabled", "youtube,spotifyWeb,qqMusicWeb"], env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.lines = queue.Queue()
        self.seen = [{}]
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.process.stdout:
            self.lines.put((time.monotonic(), json.loads(line)))

    def wait_for(self, wanted, seconds):
        """When the first snapshot (the current one included) that is `wanted` came; None after `seconds`."""
        if wanted(self.seen[-1]):
            return time.monotonic()
        end = time.monotonic() + seconds
        while (left := end - time.monotonic()) > 0:
            try:
                at, snapshot = self.lines.get(timeout=left)
            except queue.Empty:
                break
            self.seen.append(snapshot)
            if wanted(snapshot):
                return at
        return None

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(5)


def shows(player=None, state=None, volume=None):
    return lambda s: (s.get("player") == player and (state is None or s.get("state") == state) and
                      (volume is None or abs(s.get("volumeLevel", -1) - volume) < 1e-6))


def stops_counting(s):
    return s.get("state") != "playing"


class Browser:
    def __init__(self, work, extension, stand_ins):
        binary = next(p for p in ("/usr/lib/chromium/chromium", "/usr/bin/chromium") if os.path.exists(p))
        profile = os.path.join(work, "profile")
        rules = ", ".join(f"MAP {h} 127.0.0.1:{stand_ins.https_port}" for h in ("*.youtube.com", "open.spotify.com"))
        rules += f", MAP y.qq.com 127.0.0.1:{stand_ins.http_port}"
        self.log = open(os.path.join(work, "chromium.log"), "w")
        self.process = subprocess.Popen(
            [binary, "--headless=new", "--no-sandbox", f"--user-data-dir={profile}",
             f"--load-extension={extension}", f"--disable-extensions-except={extension}",
             f"--host-resolver-rules={rules}", "--ignore-certificate-errors",
             "--autoplay-policy=no-user-gesture-required", "--disable-features=HttpsUpgrades",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--remote-debugging-port=0", "about:blank"],
            stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        port_file = os.path.join(profile, "DevToolsActivePort")
        for _ in range(200):
            if os.path.exists(port_file) and open(port_file).read().strip():
                break
            time.sleep(0.05)
        self.devtools = f"http://127.0.0.1:{open(port_file).read().split()[0]}"

    def open(self, url):
        request = urllib.request.Request(f"{self.devtools}/json/new?{urllib.parse.quote(url, safe=':/?=&')}",
                                         method="PUT")
        return json.load(urllib.request.urlopen(request, timeout=10))["id"]

    def close(self, target):
        urllib.request.urlopen(f"{self.devtools}/json/close/{target}", timeout=10).read()

    def stop(self):  # the whole process group: the browser and its helper processes
        os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()
        self.log.close()


class Firefox:
    """Firefox ESR with the extension as an unsigned add-on of a fresh profile; the players' host
    names resolve to this machine and are served over plain HTTP (their HTTPS preload is off)."""

    def __init__(self, work, extension, url):
        profile = os.path.join(work, "firefox")
        os.makedirs(os.path.join(profile, "extensions"))
        manifest = json.load(open(os.path.join(extension, "manifest.json")))
        xpi = os.path.join(profile, "extensions", manifest["browser_specific_settings"]["gecko"]["id"] + ".xpi")
        os.rename(shutil.make_archive(os.path.join(work, "extension"), "zip", extension), xpi)
        prefs = {"xpinstall.signatures.required": False, "extensions.autoDisableScopes": 0,
                 "extensions.enabledScopes": 15, "media.autoplay.default": 0, "dom.security.https_first": False,
                 "network.stricttransportsecurity.preloadlist": False, "browser.shell.checkDefaultBrowser": False,
                 "network.dns.localDomains": ",".join(STAND_INS)}
        with open(os.path.join(profile, "user.js"), "w") as out:
            out.writelines(f'user_pref("{name}", {json.dumps(value)});\n' for name, value in prefs.items())
        self.log = open(os.path.join(work, "firefox.log"), "w")
        self.process = subprocess.Popen(["firefox-esr", "--headless", "--no-remote", "--profile", profile, url],
                                        env=dict(os.environ, HOME=work), stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True)

    stop = Browser.stop


results = {"passed": 0, "failed": 0}


def check(what, ok, detail=""):
    shown = detail and (not ok or not detail.startswith("seen"))
    print(("ok   - " if ok else "FAIL - ") + what + (f"  # {detail}" if shown else ""), flush=True)
    results["passed" if ok else "failed"] += 1
    return ok


def slow_bridge(seconds):
    """Listens on the bridge port, accepts and never answers; counts the connections."""
    listener = socket.create_server(("127.0.0.1", BRIDGE_PORT))
    listener.settimeout(0.1)
    held, end = [], time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            held.append(listener.accept()[0])
        except socket.timeout:
            pass
    listener.close()
    for connection in held:
        connection.close()
    return len(held)


def main():
    global CERT, KEY
    detect_program, extension = sys.argv[1], os.path.abspath(sys.argv[2])
    work = tempfile.mkdtemp(prefix="sonavista-extension-")
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=f"{work}/config", XDG_RUNTIME_DIR=work,
               PULSE_SERVER=f"unix:{work}/no-pulse", DBUS_SESSION_BUS_ADDRESS=f"unix:path={work}/no-bus")
    CERT, KEY = f"{work}/cert.pem", f"{work}/key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                    "/CN=stand-in", "-keyout", KEY, "-out", CERT], check=True, capture_output=True)
    subprocess.run(["sox", "-n", "-r", "22050", "-c", "1", f"{work}/tone.wav", "synth", "2", "sine", "330"], check=True)
    stand_ins = StandIns(open(f"{work}/tone.wav", "rb").read())
    browser = detector = None
    try:
        browser = Browser(work, extension, stand_ins)
        page = lambda host, tab: f"{'http' if host == 'y.qq.com' else 'https'}://{host}/?tab={tab}"

        # The bridge is down while a page starts playing, then it listens but never answers.
        first = browser.open(page("www.youtube.com", "first"))
        time.sleep(3)
        check("the stand-in page plays in the browser", stand_ins.audible.get("first") is True,
              f"pages said {stand_ins.audible}")
        try:
            connections = slow_bridge(7)
        except OSError as error:
            check(f"port {BRIDGE_PORT} (the bridge) is free for this test", False, str(error))
            return 1
        check("a bridge that never answers gets one connection at a time", 1 <= connections <= 3,
              f"{connections} connections in 7 s")

        # The real bridge comes up: the waiting report arrives within the back-off.
        detector = Detector(detect_program, env)
        sees = lambda what, wanted, seconds: check(what, detector.wait_for(wanted, seconds) is not None,
                                                  f"seen {detector.seen[-3:]}")

        def plays_then_pauses(browser_name, host, tab, seconds=10):
            source, _, volume = STAND_INS[host]
            sees(f"{browser_name}: {source} ({host}) is seen playing at volume {volume}",
                 shows(source, "playing", volume), seconds)
            stand_ins.commands[tab] = "pause"
            sees(f"{browser_name}: {source} is seen paused", shows(source, "paused"), 5)
            return source
        started = time.monotonic()
        at = detector.wait_for(shows("youtube", "playing", 0.5), 10)
        check("reports arrive once the bridge is back", at is not None,
              f"after {at - started:.1f} s" if at else f"seen {detector.seen[-3:]}")

        # The tone loops every 2 s; the seek back to its start must not read as a pause.
        check("a looping player counts as playing throughout", detector.wait_for(stops_counting, 4.5) is None,
              f"seen {detector.seen[-3:]}")

        # Each player: playing, paused, gone.
        hosts = [h for h in STAND_INS if h != "music.youtube.com"]
        for host in hosts:
            tab = first if host == "www.youtube.com" else browser.open(page(host, host))
            source = plays_then_pauses("Chromium", host, "first" if host == "www.youtube.com" else host)
            browser.close(tab)
            sees(f"Chromium: {source} is gone once its tab is closed", shows(), 6)

        # A playing tab that closes, or navigates away, stops counting at once.
        for how in ("closes", "navigates away"):
            tab = browser.open(page("music.youtube.com", how))
            if not sees(f"a music.youtube.com tab that then {how} is seen playing",
                        shows("youtube", "playing", 0.6), 10):
                continue
            time.sleep(1.5)  # a few heartbeats
            started = time.monotonic()
            if how == "closes":
                browser.close(tab)
            else:
                stand_ins.commands[how] = "leave"
            at = detector.wait_for(stops_counting, 5)
            check(f"a playing tab that {how} stops counting within {HOLD_CLOSED_TAB} s",
                  at is not None and at - started <= HOLD_CLOSED_TAB,
                  f"after {at - started:.2f} s" if at else f"seen {detector.seen[-3:]}")
            if how != "closes":
                browser.close(tab)
            detector.wait_for(shows(), 6)

        browser.stop()
        browser = None

        # Firefox ESR: one tab walks through the three players, then leaves.
        url = lambda i: f"http://{hosts[i]}:{stand_ins.http_port}/?tab=firefox-{i}"
        browser = Firefox(work, extension, url(0))
        for i, host in enumerate(hosts):
            plays_then_pauses("Firefox", host, f"firefox-{i}", 30 if i == 0 else 10)
            stand_ins.commands[f"firefox-{i}"] = f"goto:{url(i + 1)}" if i + 1 < len(hosts) else "leave"
        sees("Firefox: gone once the tab leaves", shows(), 6)

        check("no page saw an error", not stand_ins.errors, "; ".join(stand_ins.errors))
        check("the detector exits cleanly", detector.stop() == 0)
        detector = None
    finally:
        if detector:
            detector.process.kill()
            detector.process.wait()
        if browser:
            browser.stop()
        stand_ins.stop()
        for name in ("chromium.log", "firefox.log") if results["failed"] else ():
            log = os.path.join(work, name)
            if os.path.exists(log):
                print(f"--- {name} (last lines)\n" + "".join(open(log).readlines()[-30:]))
        shutil.rmtree(work, ignore_errors=True)
    print(f"{results['passed']} passed, {results['failed']} failed")
    return results["failed"]


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # so that the browsers are stopped too
    sys.exit(main())
