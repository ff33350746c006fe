// Which web player a page belongs to, from its address. The background script decides this
// from the address the browser gives for the sending tab, never from what the page says.

const sources = [
  { source: 'youtube', matches: (host) => host === 'youtube.com' || host.endsWith('.youtube.com') },
  { source: 'spotifyWeb', matches: (host) => host === 'open.spotify.com' },
  { source: 'qqMusicWeb', matches: (host) => host === 'y.qq.com' },
];

// The bridge's source name for `url`, or null for any other page.
export function sourceForUrl(url) {
  let parsed;
  try {
    parsed = new URL(url);
  } catch {
    return null;
  }
  if (parsed.protocol !== 'https:' && parsed.protocol !== 'http:') return null;
  const host = parsed.hostname.toLowerCase();
  return sources.find((entry) => entry.matches(host))?.source ?? null;
}
