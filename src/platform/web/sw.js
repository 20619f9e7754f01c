// The page's service worker: after one visit the page opens with no
// network. Each build has a cache of its own, named after what it holds;
// a new build's worker waits, as browsers have them wait, until the pages
// of the old one are closed, and then drops the old cache.
const CACHE = 'starlume-@STARLUME_PAGE_VERSION@';
// The page, kept when the worker is installed.
const PAGE = ['./', 'index.js', 'index.wasm', 'makevideo.js', 'manifest.webmanifest', 'icon.svg'];
// Loaded only when used (live sound, a module, a video): kept once they
// have been.
const LATER = ['capture.js', 'tracker.js', 'libopenmpt.worklet.js', 'mediabunny.js',
               'mediabunny-aac-encoder.js'];

// Past the browser's HTTP cache, which may still hold the last build's files.
const fresh = (name) => new Request(name, { cache: 'no-cache' });

self.addEventListener('install', (e) => {
  e.waitUntil(caches.open(CACHE).then((cache) => cache.addAll(PAGE.map(fresh))));
});

// The first visit's page is taken over at once, so that what it loads
// later (a module's player) is kept too; a later build's worker activates
// only once the old pages are gone, and has nothing left to take over.
self.addEventListener('activate', (e) => {
  e.waitUntil(caches.keys().then((keys) => Promise.all(
    keys.filter((k) => k.startsWith('starlume-') && k !== CACHE).map((k) => caches.delete(k))))
    .then(() => self.clients.claim()));
});

// Only the page's own files: music named in the URL goes to the network,
// and the file the page opens is never fetched at all.
self.addEventListener('fetch', (e) => {
  const request = e.request, url = new URL(request.url), scope = new URL(self.registration.scope);
  if (request.method !== 'GET' || url.origin !== scope.origin) return;
  const name = url.pathname.startsWith(scope.pathname) ? url.pathname.slice(scope.pathname.length) : null;
  const page = request.mode === 'navigate' && (name === '' || name === 'index.html');
  if (!page && !PAGE.includes(name) && !LATER.includes(name)) return;
  const key = page ? './' : name;
  const later = LATER.includes(name);
  e.respondWith(caches.open(CACHE).then((cache) => cache.match(key).then((kept) => {
    if (kept) return kept;
    if (!later) return fetch(request);
    return fetch(fresh(name)).then((response) => {
      if (response.ok) cache.put(key, response.clone());
      return response;
    });
  })));
});
