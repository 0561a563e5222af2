// The page around the game. It checks that the browser can run it, then
// defines the Module that veldrath.js (the game, built with Emscripten)
// starts with and loads that script; it shows the game's start-up failure
// and its end on the page, and registers the service worker that keeps the
// files for playing offline.
"use strict";

var Module;

(function () {
    var canvas = document.getElementById("screen");
    var message = document.getElementById("message");

    // A line under the others in the message box over the canvas.
    function say(line) {
        message.appendChild(document.createTextNode(line + "\n"));
    }

    // The game is over, or never started: the canvas gives way to the
    // message and a button that loads the page, and so the game, again.
    function stop(line) {
        if (line)
            say(line);
        var again = document.createElement("button");
        again.type = "button";
        again.textContent = "Start again";
        again.addEventListener("click", function () {
            location.reload();
        });
        message.appendChild(again);
        document.body.classList.add("stopped");
        again.focus();
    }

    function missing() {
        if (typeof WebAssembly !== "object")
            return "veldrath: cannot start: this browser has no WebAssembly";
        if (!canvas.getContext || !canvas.getContext("2d"))
            return "veldrath: cannot start: this browser cannot draw into a canvas";
        return null;
    }

    var reason = missing();
    if (reason) {
        stop(reason);
        return;
    }

    Module = {
        canvas: canvas,
        printErr: function (line) {
            console.error(line);
            say(line);
        },
        // Escape ends the game with status 0. An app window then closes;
        // a tab stays open, as scripts may not close it, and says so.
        onExit: function (status) {
            if (status === 0) {
                window.close();
                stop("The game has ended.");
            } else {
                stop();
            }
        }
    };

    var game = document.createElement("script");
    game.src = "veldrath.js";
    game.addEventListener("error", function () {
        stop("veldrath: cannot load veldrath.js");
    });
    document.body.appendChild(game);

    // Only secure origins (https, or the machine's own address) have
    // service workers; elsewhere the game still runs, online only.
    if ("serviceWorker" in navigator)
        window.addEventListener("load", function () {
            navigator.serviceWorker.register("sw.js").catch(function (error) {
                console.warn("veldrath: no offline copy: " + error);
            });
        });
})();
