// Relay between the page's media watcher (which runs in the page's own script world, see
// media-watch.js) and the extension's background script. Sends the state on every change and
// once a second while the page plays; says goodbye when the page is hidden for good.
(() => {
  'use strict';
  const api = globalThis.browser ?? globalThis.chrome;
  let state = { playing: false, volume: 0 };
  let heartbeat = null;

  function send(message) {
    try {
      const sent = api.runtime.sendMessage(message);
      if (sent && typeof sent.catch === 'function') sent.catch(() => {});
    } catch {
      // The extension was updated or removed: this copy of the relay has no one to talk to.
      stopHeartbeat();
    }
  }

  function stopHeartbeat() {
    if (heartbeat !== null) clearInterval(heartbeat);
    heartbeat = null;
  }

  function report() {
    send({ type: 'state', playing: state.playing, volume: state.volume });
    if (state.playing && heartbeat === null) {
      heartbeat = setInterval(() => send({ type: 'state', playing: state.playing, volume: state.volume }), 1000);
    } else if (!state.playing) {
      stopHeartbeat();
    }
  }

  window.addEventListener('message', (event) => {
    const data = event.source === window && event.data;
    const reported = data && typeof data === 'object' ? data.sonavistaMediaState : undefined;
    if (!reported || typeof reported !== 'object') return;
    const playing = reported.playing === true;
    const volume = Math.min(Math.max(Number(reported.volume) || 0, 0), 1);
    if (playing === state.playing && volume === state.volume) return;
    state = { playing, volume };
    report();
  });

  window.addEventListener('pagehide', () => {
    stopHeartbeat();
    send({ type: 'gone' });
  });
  // Back from the back-forward cache: the page is the same, its state still holds.
  window.addEventListener('pageshow', (event) => {
    if (event.persisted) report();
  });
})();
