// The page's side of Allegro in the browser (see web.h): the canvas
// (Module.canvas), the title, and the key and pointer events, which go to
// the drivers in input.c. Linked with --js-library.
mergeInto(LibraryManager.library, {
  $web__postset: 'addOnPostRun(web.exitWhenMainReturns);',
  $web: {
    context: null,
    // Under ASYNCIFY main returns to the runtime at its first rest(), and
    // the runtime ends when main returns for good, but with the status of
    // that first return. Asyncify hands the last return to these handlers,
    // which end the runtime with it at once (Module.onExit follows).
    exitWhenMainReturns: function () {
      if (Asyncify.currData)
        Asyncify.asyncPromiseHandlers = { resolve: exit, reject: function (e) { throw e; } };
    },
    // One handler for each kind of event, added and removed together.
    keyHandlers: {
      keydown: function (e) { web.key(e, 1); },
      keyup: function (e) { web.key(e, 0); },
      blur: function () { _web_release_keys(); },
    },
    pointerHandlers: {
      pointerdown: function (e) {
        Module.canvas.setPointerCapture(e.pointerId);
        web.pointer(e);
      },
      pointermove: function (e) { web.pointer(e); },
      pointerup: function (e) { web.pointer(e); },
      pointercancel: function (e) { web.pointer(e); },
      contextmenu: function (e) { e.preventDefault(); },
    },
    key: function (e, down) {
      // Keys with Ctrl, Alt or Meta stay the browser's shortcuts.
      var character = e.key.length === 1 ? e.key.codePointAt(0) : 0;
      var stack = stackSave();
      var taken = _web_key(allocateUTF8OnStack(e.code), down, character);
      stackRestore(stack);
      if (taken && !(e.ctrlKey || e.altKey || e.metaKey)) e.preventDefault();
    },
    // The position in canvas pixels through the canvas's scale on the page,
    // kept inside the canvas while a drag goes beyond it; a finger or a pen
    // in contact holds the first button.
    pointer: function (e) {
      if (!e.isPrimary) return;
      var canvas = Module.canvas;
      var box = canvas.getBoundingClientRect();
      var x = Math.floor((e.clientX - box.left) * canvas.width / box.width);
      var y = Math.floor((e.clientY - box.top) * canvas.height / box.height);
      var buttons = e.type === 'pointercancel' ? 0 : e.buttons;
      _web_pointer(Math.min(Math.max(x, 0), canvas.width - 1),
                   Math.min(Math.max(y, 0), canvas.height - 1), buttons & 7);
      e.preventDefault();
    },
    listen: function (target, handlers, on) {
      for (var type in handlers) {
        if (on) target.addEventListener(type, handlers[type]);
        else target.removeEventListener(type, handlers[type]);
      }
    },
  },

  web_open_canvas__deps: ['$web'],
  web_open_canvas: function (width, height) {
    var canvas = Module.canvas;
    if (!canvas || !canvas.getContext) return 0;
    canvas.width = width;
    canvas.height = height;
    canvas.style.touchAction = 'none';
    web.context = canvas.getContext('2d');
    return web.context ? 1 : 0;
  },

  // Module.veldrathFrames keeps the last 1000 frames' work in ms (from the
  // end of one rest() to the end of the next one's drawing), and
  // Module.veldrathFirstFrame the time at which the first frame was shown.
  web_show__deps: ['$web'],
  web_show: function (rgba, woke) {
    var canvas = Module.canvas;
    var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, canvas.width * canvas.height * 4);
    web.context.putImageData(new ImageData(bytes, canvas.width, canvas.height), 0, 0);
    var now = performance.now();
    if (Module.veldrathFirstFrame === undefined) {
      Module.veldrathFirstFrame = now;
      Module.veldrathFrames = [];
    } else {
      Module.veldrathFrames.push(now - woke);
      if (Module.veldrathFrames.length > 1000) Module.veldrathFrames.shift();
    }
  },

  web_set_title: function (title) {
    document.title = UTF8ToString(title);
  },

  web_listen_keys__deps: ['$web'],
  web_listen_keys: function (on) {
    web.listen(window, web.keyHandlers, on);
  },

  web_listen_pointer__deps: ['$web'],
  web_listen_pointer: function (on) {
    // Without a canvas the graphics driver reports the failure.
    if (Module.canvas) web.listen(Module.canvas, web.pointerHandlers, on);
  },
});
