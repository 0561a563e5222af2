// The service worker keeps a copy of the page's files, so that once the
// page has been loaded the game starts without a network. Every request
// still goes to the network first and its answer replaces the kept copy:
// a new zip served in place of the old one takes over at the next load,
// and its veldrath.js and veldrath.wasm never mix with the old ones'. Only
// when the server cannot be reached do the kept copies answer.
"use strict";

// Raised whenever the list below or the way files are kept changes; the
// caches of other versions are deleted.
var cache_name = "veldrath-page-1";
var files = ["./", "index.html", "page.css", "page.js", "veldrath.js", "veldrath.wasm",
    "manifest.webmanifest", "icon-32.png", "icon-192.png", "icon-512.png"];

self.addEventListener("install", function (event) {
    event.waitUntil(caches.open(cache_name).then(function (cache) {
        return cache.addAll(files);
    }).then(function () {
        return self.skipWaiting();
    }));
});

self.addEventListener("activate", function (event) {
    event.waitUntil(caches.keys().then(function (names) {
        return Promise.all(names.filter(function (name) {
            return name !== cache_name;
        }).map(function (name) {
            return caches.delete(name);
        }));
    }).then(function () {
        return self.clients.claim();
    }));
});

self.addEventListener("fetch", function (event) {
    var request = event.request;
    if (request.method !== "GET" || new URL(request.url).origin !== location.origin)
        return;
    event.respondWith(fetch(request).then(function (response) {
        if (response.ok) {
            var copy = response.clone();
            event.waitUntil(caches.open(cache_name).then(function (cache) {
                return cache.put(request, copy);
            }));
        }
        return response;
    }, function () {
        return caches.match(request, {ignoreSearch: true}).then(function (kept) {
            return kept || Response.error();
        });
    }));
});
