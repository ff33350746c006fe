// Background script (a service worker in Chromium-family browsers, an event page in Firefox).
// The relay content script of each web-player tab sends the page's playback state here; this
// script alone talks to the desktop application, because a request from the page itself would
// carry the page's origin, which the application refuses, and browsers keep public pages from
// reaching loopback addresses.

import { PlaybackReporter } from './reporter.js';
import { sourceForUrl } from './sources.js';

const api = globalThis.browser ?? globalThis.chrome;

// Page identifiers are "<random prefix>-<tab id>": tab ids repeat across browser sessions and
// browsers, the prefix keeps two of them apart. (crypto.randomUUID is not used: not every
// context offers it.)
function randomPrefix() {
  const bytes = crypto.getRandomValues(new Uint8Array(8));
  return Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join('');
}

const reporter = new PlaybackReporter({ pageIdPrefix: randomPrefix() });

api.runtime.onMessage.addListener((message, sender) => {
  const tabId = sender.tab?.id;
  if (tabId === undefined || tabId < 0 || sender.frameId !== 0 || typeof message !== 'object' || !message) return;
  const source = sourceForUrl(sender.url ?? sender.tab.url ?? '');
  if (message.type === 'state' && source) {
    const volume = Number(message.volume);
    reporter.update(tabId, source, message.playing === true, Number.isFinite(volume) ? volume : 0);
  } else {
    reporter.end(tabId);
  }
});

api.tabs.onRemoved.addListener((tabId) => reporter.end(tabId));

// A tab that leaves the player's site. Without access to the new address (another site) the
// browser leaves it out, and the tab no longer shows a page of ours.
api.tabs.onUpdated.addListener((tabId, change, tab) => {
  if (!reporter.has(tabId) || (change.url === undefined && change.status !== 'loading')) return;
  if (sourceForUrl(change.url ?? tab?.url ?? '') !== reporter.sourceOf(tabId)) reporter.end(tabId);
});
