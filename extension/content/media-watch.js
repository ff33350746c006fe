// Runs in the page's own script world, before the page's scripts, so that it sees every media
// element the page plays: those in the document, and those the page creates and plays without
// ever attaching them (web players do that for their audio). It tells the relay script
// (extension world, relay.js) whether any element is audibly playing and the effective volume
// of the loudest one, by a window message on every change.
//
// Nothing here may disturb the page: every entry point catches its own errors, and the
// wrapped `play` returns exactly what the original returns.
(() => {
  'use strict';
  if (window.__sonavistaMediaWatch) return;
  Object.defineProperty(window, '__sonavistaMediaWatch', { value: true });

  const HAVE_CURRENT_DATA = 2;
  const events = ['play', 'playing', 'pause', 'ended', 'volumechange', 'emptied', 'waiting', 'stalled',
    'canplay', 'canplaythrough', 'loadeddata', 'seeking', 'seeked', 'abort', 'error'];
  const tracked = new Set();
  let lastSent = '';
  let scheduled = false;
  let poll = null;

  // How long an element that runs out of data (a seek, a loop back to the start, a short
  // stall) still counts as playing, so that the overlay does not flicker.
  const STALL_GRACE_MS = 1500;
  const lastAudible = new WeakMap();

  // Audibly playing: not paused, not ended, with data to play past the current frame (or had
  // it a moment ago), and neither muted nor at volume 0.
  function audible(element, now) {
    if (element.paused || element.ended || element.muted || !(element.volume > 0)) return false;
    if (element.readyState > HAVE_CURRENT_DATA) {
      lastAudible.set(element, now);
      return true;
    }
    return now - (lastAudible.get(element) ?? -Infinity) < STALL_GRACE_MS;
  }

  function evaluate() {
    scheduled = false;
    try {
      let playing = false;
      let volume = 0;
      const now = performance.now();
      for (const element of tracked) {
        if (audible(element, now)) {
          playing = true;
          volume = Math.max(volume, element.volume);
        } else if (!element.isConnected && (element.ended || (element.paused && !element.autoplay))) {
          // Let go of a detached element that stopped and will not start by itself; playing
          // it again brings it back.
          forget(element);
        }
      }
      const state = { playing, volume: playing ? volume : 0 };
      const text = JSON.stringify(state);
      if (text !== lastSent) {
        lastSent = text;
        window.postMessage({ sonavistaMediaState: state }, window.location.origin === 'null' ? '*' : window.location.origin);
      }
      // A slow look once a second catches what no event announces (an element removed while playing).
      if (tracked.size > 0 && poll === null) poll = setInterval(evaluate, 1000);
      if (tracked.size === 0 && poll !== null) {
        clearInterval(poll);
        poll = null;
      }
    } catch {
      // Never into the page.
    }
  }

  function schedule() {
    if (scheduled) return;
    scheduled = true;
    queueMicrotask(evaluate);
  }

  function track(element) {
    if (!(element instanceof HTMLMediaElement) || tracked.has(element)) return;
    tracked.add(element);
    // On the element itself: the events of a detached element reach no document or window.
    for (const type of events) element.addEventListener(type, schedule, { passive: true });
    schedule();
  }

  function forget(element) {
    tracked.delete(element);
    for (const type of events) element.removeEventListener(type, schedule);
  }

  const quietly = (action) => {
    try {
      action();
    } catch {
      // Never into the page.
    }
  };

  try {
    const originalPlay = HTMLMediaElement.prototype.play;
    HTMLMediaElement.prototype.play = function play(...args) {
      quietly(() => track(this));
      return originalPlay.apply(this, args);
    };
    // A detached element may also start by its autoplay flag once it has a source: watch
    // every element that gets one, whether by `src` or by the Audio constructor.
    const src = Object.getOwnPropertyDescriptor(HTMLMediaElement.prototype, 'src');
    Object.defineProperty(HTMLMediaElement.prototype, 'src', {
      ...src,
      set(value) {
        quietly(() => track(this));
        src.set.call(this, value);
      },
    });
    const OriginalAudio = window.Audio;
    window.Audio = function Audio(...args) {
      const element = new OriginalAudio(...args);
      quietly(() => track(element));
      return element;
    };
    window.Audio.prototype = OriginalAudio.prototype;
    // Elements of the document, including those that play by the autoplay attribute.
    for (const type of events) {
      window.addEventListener(type, (event) => quietly(() => track(event.target)), { capture: true, passive: true });
    }
    const scan = () => quietly(() => document.querySelectorAll('audio, video').forEach(track));
    document.addEventListener('DOMContentLoaded', scan, { once: true });
    scan();
  } catch {
    // Never into the page.
  }
})();
