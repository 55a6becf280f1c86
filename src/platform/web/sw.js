// The page's service worker: on the first visit it keeps the whole page (the program, its data and
// the icons) in a cache named after the page's contents, and from then on answers the page's own
// requests from that cache, so a visit without a network plays as well. A changed page comes with
// a changed cache name: the new worker keeps the new page, and the old cache goes when it takes
// over. Requests for anything else go to the network as usual.
const CACHE = 'kelvorine-@PAGE_VERSION@';
const PAGE = ['./', 'index.html', 'kelvorine.js', 'kelvorine.wasm', 'kelvorine.data',
              'manifest.webmanifest', 'icon-128.png', 'icon-256.png'];

self.addEventListener('install', (event) => {
  // The page is fetched afresh (not from the browser's HTTP cache) so that one version is kept whole.
  event.waitUntil(caches.open(CACHE)
    .then((cache) => cache.addAll(PAGE.map((url) => new Request(url, { cache: 'reload' }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((n) => n.startsWith('kelvorine-') && n !== CACHE)
      .map((n) => caches.delete(n))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(caches.open(CACHE).then((cache) =>
    cache.match(request, { ignoreSearch: request.mode === 'navigate' }).then((kept) => kept || fetch(request))));
});
