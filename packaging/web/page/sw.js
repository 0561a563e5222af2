// The service worker keeps one whole version of the page's files, so that
// once the page has been loaded the game starts without a network, and a
// new version replaces the old one whole, never file by file.
//
// The build stamps its version into this file and into the addresses of
// the files that make up the game (page.css?v=..., page.js?v=...,
// veldrath.js?v=..., veldrath.wasm?v=...): a new zip is a new sw.js, which
// the browser installs beside the old one, fetching all its files past the
// HTTP cache, and each page takes the files its own index.html names.
// Those addresses never change their content, so they are answered from
// the kept copy first. The page itself (and the manifest and icons) come
// from the network first, past the HTTP cache, so one reload online shows
// a new version; a server that does not answer within a moment gives way
// to the kept copy.
"use strict";

var version = "@stamp@";
var cache_name = "veldrath-" + version;
var game = ["page.css", "page.js", "veldrath.js", "veldrath.wasm"].map(function (name) {
    return name + "?v=" + version;
});
var files = game.concat(["./", "index.html", "manifest.webmanifest", "icon-32.png",
    "icon-192.png", "icon-512.png"]);
// Long enough for a server that answers at all, short enough that the kept
// copy still starts the game within a few seconds of a stalled one.
var patience_ms = 1500;

self.addEventListener("install", function (event) {
    event.waitUntil(caches.open(cache_name).then(function (cache) {
        return cache.addAll(files.map(function (name) {
            return new Request(name, {cache: "no-cache"});
        }));
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

function kept(request) {
    return caches.open(cache_name).then(function (cache) {
        return cache.match(request, {ignoreSearch: true});
    });
}

// The network's answer, revalidated past the HTTP cache, or the kept copy
// when the network fails or keeps the page waiting. A redirect of the page
// goes back to the browser, which follows it.
function network_first(request) {
    var answer = fetch(new Request(request.url, {cache: "no-cache", redirect: request.redirect}));
    var late = new Promise(function (resolve, reject) {
        setTimeout(reject, patience_ms);
    });
    return Promise.race([answer, late]).then(function (response) {
        var answered = response.ok || response.type === "opaqueredirect";
        return answered ? response : kept(request).then(function (copy) {
            return copy || response;
        });
    }, function () {
        return kept(request).then(function (copy) {
            return copy || answer;
        });
    });
}

function kept_first(request) {
    return caches.match(request).then(function (copy) {
        return copy || fetch(request);
    });
}

self.addEventListener("fetch", function (event) {
    var request = event.request;
    var url = new URL(request.url);
    if (request.method !== "GET" || url.origin !== location.origin)
        return;
    var stamped = url.search !== "" && request.mode !== "navigate";
    event.respondWith(stamped ? kept_first(request) : network_first(request));
});
