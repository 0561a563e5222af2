// The page around the game. It checks that the browser can run it, then
// defines the Module that veldrath.js (the game, built with Emscripten)
// starts with and loads that script; it sizes the canvas to the window,
// builds the touch bar, shows a failed start or the game's end in place of
// the game, and registers the service worker that keeps the files for
// playing offline.
"use strict";

var Module;

(function () {
    // The build's version, stamped by the packaging into the addresses of
    // the game's files, so that a page only ever loads files of its own.
    var version = "@stamp@";
    var canvas = document.getElementById("screen");
    var message = document.getElementById("message");
    var game = document.getElementById("game");
    var bar = document.getElementById("bar");

    // The touch bar acts through the game's own inputs: the element keys,
    // the panel's Fire label (no key picks fire) and the size keys.
    var elements = [
        {name: "Empty", colour: "#000", ink: "#fff", key: "Numpad0"},
        {name: "Wall", colour: "rgb(90, 90, 90)", ink: "#fff", key: "Numpad1"},
        {name: "Sand", colour: "rgb(255, 210, 128)", ink: "#000", key: "Numpad2"},
        {name: "Water", colour: "rgb(0, 0, 255)", ink: "#fff", key: "Numpad3"},
        {name: "Fire", colour: "rgb(255, 0, 0)", ink: "#fff", label: [700, 50]}
    ];
    var sizes = [1, 2, 5, 10, 15, 25, 50]; // on the keys Digit1 to Digit7

    // A line under the others in the message box.
    function say(line) {
        message.appendChild(document.createTextNode(line + "\n"));
    }

    // The game is over, or never started: the message takes its place,
    // with a button that loads the page, and so the game, again where that
    // can help. Only the first reason counts.
    function stop(line, again) {
        if (document.body.classList.contains("stopped"))
            return;
        say(line);
        document.body.classList.add("stopped");
        if (!again)
            return;
        var button = document.createElement("button");
        button.type = "button";
        button.textContent = "Start again";
        button.addEventListener("click", function () {
            location.reload();
        });
        message.appendChild(button);
        button.focus();
    }

    // Whether the game has shown its first frame, which the page marks on
    // the performance timeline for tools that time the start.
    var started = false;

    function first_frame() {
        if (started)
            return;
        started = true;
        performance.mark("veldrath-first-frame");
    }

    function failed() {
        stop(started ? "The game stopped after an error." : "The game could not start.", true);
    }

    // Only an app window closes itself when the game ends; a tab stays.
    // (Chromium reports a tab in fullscreen as display mode fullscreen.)
    function app_window() {
        return matchMedia("(display-mode: standalone)").matches ||
            matchMedia("(display-mode: minimal-ui)").matches;
    }

    function missing() {
        if (location.protocol === "file:")
            return "Veldrath must be served over HTTP: in its folder run " +
                "python3 -m http.server 8000 --bind 127.0.0.1 and open http://127.0.0.1:8000/";
        if (typeof WebAssembly !== "object")
            return "This browser cannot run Veldrath: it has no WebAssembly.";
        // Asked of a canvas of its own: the game's takes WebGL2 where it
        // can, which a canvas that gave a 2D context never gives.
        var probe = document.createElement("canvas");
        if (!probe.getContext || !probe.getContext("2d"))
            return "This browser cannot run Veldrath: it cannot draw into a canvas.";
        return null;
    }

    // The canvas as large as the room beside the bar allows: whole
    // multiples of its size from 1 up, any smaller fraction below.
    function fit() {
        var beside = getComputedStyle(game).flexDirection === "row";
        var room = bar.getBoundingClientRect();
        var page = document.documentElement;
        var width = page.clientWidth - (beside ? room.width : 0);
        var height = page.clientHeight - (beside ? 0 : room.height);
        var scale = Math.min(width / canvas.width, height / canvas.height);
        if (scale >= 1)
            scale = Math.floor(scale);
        canvas.style.width = canvas.width * scale + "px";
        canvas.style.height = canvas.height * scale + "px";
        canvas.classList.toggle("smooth", scale < 1);
    }

    function button(group, text, name, act) {
        var made = document.createElement("button");
        made.type = "button";
        made.textContent = text;
        if (name !== text)
            made.setAttribute("aria-label", name);
        made.setAttribute("aria-pressed", "false");
        made.addEventListener("click", act);
        group.appendChild(made);
        return made;
    }

    function group(id) {
        var made = document.createElement("div");
        made.className = "group";
        made.id = id;
        bar.appendChild(made);
        return made;
    }

    function press(key) {
        if (Module.veldrathPress)
            Module.veldrathPress(key);
    }

    function build_bar() {
        var column = group("elements");
        var element_buttons = elements.map(function (element) {
            var made = button(column, element.name, element.name, function () {
                if (element.key)
                    press(element.key);
                else if (Module.veldrathTap)
                    Module.veldrathTap(element.label[0], element.label[1]);
            });
            made.style.background = element.colour;
            made.style.color = element.ink;
            return made;
        });
        column = group("sizes");
        var size_buttons = sizes.map(function (size, i) {
            return button(column, String(size), "Size " + size, function () {
                press("Digit" + (i + 1));
            });
        });
        // The game's selection, however it changed: a size from the
        // panel's slider that has no button leaves none pressed.
        return function (element, size) {
            element_buttons.forEach(function (made, i) {
                made.setAttribute("aria-pressed", String(i === element));
            });
            size_buttons.forEach(function (made, i) {
                made.setAttribute("aria-pressed", String(sizes[i] === size));
            });
        };
    }

    ["contextmenu", "gesturestart"].forEach(function (type) {
        document.addEventListener(type, function (event) {
            event.preventDefault();
        });
    });

    var reason = missing();
    if (reason) {
        stop(reason, false);
        return;
    }

    var show_selection = build_bar();
    // Whenever the page or the bar changes size, after layout: a window
    // that opens small and then grows (as WebKitGTK's does) may send no
    // resize event that comes after its final size.
    var sizes_watched = new ResizeObserver(fit);
    sizes_watched.observe(document.documentElement);
    sizes_watched.observe(bar);

    Module = {
        canvas: canvas,
        locateFile: function (name) {
            return name + "?v=" + version;
        },
        // The runtime's warnings (such as its fallback when the server
        // sends veldrath.wasm with the wrong type) are no player's business.
        printErr: function (line) {
            console.error(line);
        },
        onSelection: show_selection,
        onFrame: first_frame,
        // The game's first rest(): its selection is set by then.
        postRun: [function () {
            if (Module.veldrathSelection) {
                var selection = Module.veldrathSelection();
                show_selection(selection.element, selection.size);
            }
        }],
        onAbort: failed,
        // Escape ends the game with status 0.
        onExit: function (status) {
            if (status !== 0) {
                failed();
                return;
            }
            if (app_window())
                window.close();
            stop("The game has ended.", true);
            document.body.classList.add("ended");
            document.title = "Veldrath: the game has ended";
        }
    };

    var script = document.createElement("script");
    script.src = "veldrath.js?v=" + version;
    script.addEventListener("error", function () {
        stop("The game could not be loaded: check the connection, then start again.", true);
    });
    document.body.appendChild(script);

    // Only secure origins (https, or the machine's own address) have
    // service workers; elsewhere the game still runs, online only.
    if ("serviceWorker" in navigator)
        window.addEventListener("load", function () {
            navigator.serviceWorker.register("sw.js").catch(function (error) {
                console.warn("Veldrath keeps no copy for playing offline: " + error);
            });
        });
})();
