// Delivers the playback state of every reporting tab to the desktop application's bridge.
//
// Each tab has one record holding only its latest state: a state that arrives while an
// earlier one is still on its way replaces whatever was waiting, so nothing queues up behind
// a slow bridge. A state is posted at once when it changes, and again at most once per
// `heartbeat` while the page keeps confirming that it plays (the bridge forgets a page 3.5 s
// after its last report). A tab that closes, navigates away or unloads gets one final
// `playing: false`.
//
// While the bridge cannot be reached (not running: the connection is refused) the reporter
// makes one attempt per `retryDelay`; the first one that gets through sends the other
// waiting tabs too. An answer other than 2xx (the bridge refused the report) or a request
// that times out (a slow bridge) does not count as unreachable. Nothing here ever throws to
// its callers.

export const BRIDGE_URL = 'http://127.0.0.1:43828/playback';

export class PlaybackReporter {
  constructor({
    pageIdPrefix,
    fetch = (...args) => globalThis.fetch(...args),
    now = () => Date.now(),
    setTimer = (callback, delay) => setTimeout(callback, delay),
    url = BRIDGE_URL,
    heartbeat = 1000,
    retryDelay = 5000,
    requestTimeout = 3000,
  }) {
    Object.assign(this, { pageIdPrefix, fetch, now, setTimer, url, heartbeat, retryDelay, requestTimeout });
    this.tabs = new Map();
    this.unreachableUntil = 0;  // 0 while the bridge is taken to be reachable
    this.probing = false;       // the one attempt made while it is not is on its way
    this.retryArmed = false;
  }

  // The page in tab `tabId` is a `source` player that plays (or not) at `volume` (0...1).
  // Called on every change and, while playing, about once per second.
  update(tabId, source, playing, volume) {
    let tab = this.tabs.get(tabId);
    if (!tab) {
      tab = { source, playing: false, volume: 0, sentAt: -Infinity, pending: false, inFlight: false, ending: false };
      this.tabs.set(tabId, tab);
    }
    const changed = tab.pending || tab.ending || tab.source !== source || tab.playing !== playing || tab.volume !== volume;
    Object.assign(tab, { source, playing, volume, ending: false });
    // Slightly under a heartbeat, so that a page confirming once a second is never skipped.
    if (changed || (playing && this.now() - tab.sentAt >= this.heartbeat * 0.9)) {
      tab.pending = true;
      this.pump(tabId);
    }
  }

  // The tab closed, left the player's site or its page unloaded.
  end(tabId) {
    const tab = this.tabs.get(tabId);
    if (!tab) return;
    Object.assign(tab, { playing: false, ending: true, pending: true });
    this.pump(tabId);
  }

  has(tabId) {
    return this.tabs.has(tabId) && !this.tabs.get(tabId).ending;
  }

  sourceOf(tabId) {
    return this.tabs.get(tabId)?.source ?? null;
  }

  pump(tabId) {
    const tab = this.tabs.get(tabId);
    if (!tab || tab.inFlight || !tab.pending) return;
    if (this.unreachableUntil !== 0) {
      if (this.probing) return;
      if (this.now() < this.unreachableUntil) {
        this.armRetry();
        return;
      }
      this.probing = true;
    }
    this.send(tabId, tab);
  }

  send(tabId, tab) {
    const body = JSON.stringify({
      source: tab.source,
      pageId: `${this.pageIdPrefix}-${tabId}`,
      playing: tab.playing,
      volume: Math.min(Math.max(Number.isFinite(tab.volume) ? tab.volume : 0, 0), 1),
    });
    Object.assign(tab, { inFlight: true, pending: false, sentAt: this.now() });
    let request;
    try {
      request = Promise.resolve(this.fetch(this.url, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', 'X-Sonavista-Connector': '1' },
        body,
        cache: 'no-store',
        credentials: 'omit',
        signal: AbortSignal.timeout(this.requestTimeout),
      }));
    } catch (error) {
      request = Promise.reject(error);
    }
    request.then(
      () => this.delivered(tabId, tab),
      (error) => this.failed(tabId, tab, error),
    ).catch(() => {});
  }

  delivered(tabId, tab) {
    this.reachable(true);
    tab.inFlight = false;
    this.settle(tabId, tab);
    for (const other of [...this.tabs.keys()]) this.pump(other);
  }

  failed(tabId, tab, error) {
    tab.inFlight = false;
    // A time-out means a bridge that listens but is slow; anything else (connection refused
    // or reset) one that is not there: wait before the next attempt, then send the newest state.
    const timedOut = error?.name === 'TimeoutError' || error?.name === 'AbortError';
    this.reachable(timedOut);
    if (!timedOut) tab.pending = true;
    this.settle(tabId, tab);
    if (timedOut) for (const other of [...this.tabs.keys()]) this.pump(other);
  }

  reachable(yes) {
    this.probing = false;
    this.unreachableUntil = yes ? 0 : this.now() + this.retryDelay;
  }

  // After a request: drop a finished tab, or send what arrived in the meantime.
  settle(tabId, tab) {
    if (this.tabs.get(tabId) !== tab) return;
    if (tab.ending && (!tab.pending || this.unreachableUntil !== 0)) {
      // A final report that could not be delivered is not kept: the bridge forgets the page soon.
      this.tabs.delete(tabId);
      return;
    }
    this.pump(tabId);
  }

  armRetry() {
    if (this.retryArmed) return;
    this.retryArmed = true;
    this.setTimer(() => {
      this.retryArmed = false;
      // One attempt: the first tab that has something to say.
      const waiting = [...this.tabs.entries()].find(([, tab]) => tab.pending && !tab.inFlight);
      if (waiting) this.pump(waiting[0]);
    }, Math.max(this.unreachableUntil - this.now(), 0));
  }
}
