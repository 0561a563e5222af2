// The page's side of Allegro in the browser (see web.h, which also lists
// what it gives the page on Module): the canvas (Module.canvas) and how the
// screen is shown on it (WebGL2, or else a 2D context), the title,
// the program's sleep, and the key and pointer events, which go to the
// drivers in input.c. Linked with --js-library.
mergeInto(LibraryManager.library, {
  // All that the port takes from emscripten's runtime beyond the library
  // interface it documents, written for emscripten 3.1.6 (Debian 12's).
  // With another version, check these against its src/library_async.js
  // (Asyncify's fields and handleSleep), src/postamble.js (how main's
  // return reaches exit) and src/runtime_strings_extra.js
  // (allocateUTF8OnStack, which later versions call stringToUTF8OnStack),
  // then run the browser suite, which starts, plays and ends the game.
  $internals__deps: ['$Asyncify'],
  $internals__postset: 'addOnPostRun(internals.exitWhenMainReturns);',
  $internals: {
    // Pauses the program: START(wakeUp) begins the wait, and wakeUp(value)
    // resumes it with value as the sleeping import's result.
    sleep: function (start) {
      return Asyncify.handleSleep(start);
    },
    // F(pointer) with TEXT as a C string on the stack, for the length of F.
    withString: function (text, f) {
      var stack = stackSave();
      var result = f(allocateUTF8OnStack(text));
      stackRestore(stack);
      return result;
    },
    // Under ASYNCIFY main returns to the runtime at its first rest(), and
    // the runtime ends when main returns for good, but with the status of
    // that first return. Asyncify hands the last return to these handlers,
    // which end the runtime with it at once (Module.onExit follows).
    exitWhenMainReturns: function () {
      if (Asyncify.currData)
        Asyncify.asyncPromiseHandlers = { resolve: exit, reject: function (e) { throw e; } };
    },
  },

  $web__deps: ['$internals'],
  $web__postset: 'Module.veldrathPress = web.press;' +
                 'Module.veldrathTap = web.tap;' +
                 'Module.veldrathSelection = web.selected;',
  $web: {
    context: null,
    image: null,
    // The screen through WebGL2: its 8-bit pixels and its palette as they
    // are in the program's memory (given by web_show and web_set_palette,
    // kept to draw all again when a lost context comes back), the context,
    // the box around what web_show gave since the last draw ([left, top,
    // right, bottom] or null) and whether the palette changed meanwhile.
    pixels: 0,
    palette: 0,
    gl: null,
    box: null,
    paletteChanged: false,
    selection: null,
    keysOn: false,
    pointerOn: false,
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
    // Whether the program takes the key with that KeyboardEvent.code.
    keyCode: function (code, down, character) {
      return internals.withString(code, function (name) { return _web_key(name, down, character); });
    },
    key: function (e, down) {
      // Keys with Ctrl, Alt or Meta stay the browser's shortcuts.
      var character = e.key.length === 1 ? e.key.codePointAt(0) : 0;
      if (web.keyCode(e.code, down, character) && !(e.ctrlKey || e.altKey || e.metaKey))
        e.preventDefault();
    },
    press: function (code) {
      if (!web.keysOn) return;
      web.keyCode(code, 1, 0);
      web.keyCode(code, 0, 0);
    },
    // The position in canvas pixels through the canvas's scale on the page,
    // kept inside the canvas while a drag goes beyond it; a finger or a pen
    // in contact holds the first button.
    pointer: function (e) {
      if (!e.isPrimary) return;
      var canvas = Module.canvas;
      var box = canvas.getBoundingClientRect();
      var buttons = e.type === 'pointercancel' ? 0 : e.buttons & 7;
      web.pointAt((e.clientX - box.left) * canvas.width / box.width,
                  (e.clientY - box.top) * canvas.height / box.height,
                  buttons, e.pointerType === 'mouse');
      e.preventDefault();
    },
    pointAt: function (x, y, buttons, hovers) {
      var canvas = Module.canvas;
      _web_pointer(Math.min(Math.max(Math.floor(x), 0), canvas.width - 1),
                   Math.min(Math.max(Math.floor(y), 0), canvas.height - 1), buttons, hovers);
    },
    tap: function (x, y) {
      if (!web.pointerOn) return;
      web.pointAt(x, y, 1, 0);
      web.pointAt(x, y, 0, 0);
    },
    selected: function () {
      return web.selection && { element: web.selection.element, size: web.selection.size };
    },
    listen: function (target, handlers, on) {
      for (var type in handlers) {
        if (on) target.addEventListener(type, handlers[type]);
        else target.removeEventListener(type, handlers[type]);
      }
    },
    // The sleep under way: ends it early (true) or at its end (false).
    wakeUp: null,
    // Timers may wait long after a touch (Chromium holds them back for
    // about 100 ms), animation frames do not, but stop in a hidden page: the
    // sleep ends at the first of its timer and an animation frame past its
    // end. A finger's landing ends it at once, through a message, which the
    // browser hands over at once, timers or not.
    sleep: function (ms, done) {
      var end = performance.now() + ms;
      var timer = setTimeout(function () { wake(false); }, ms);
      function wake(early) {
        if (web.wakeUp !== wake) return;
        web.wakeUp = null;
        clearTimeout(timer);
        done(early);
      }
      function frame() {
        if (web.wakeUp !== wake) return;
        if (performance.now() >= end) wake(false);
        else requestAnimationFrame(frame);
      }
      web.wakeUp = wake;
      requestAnimationFrame(frame);
    },
    // The MessageChannel of web_wake, made at its first call.
    channel: null,
  },

  web_sleep__deps: ['$web'],
  web_sleep: function (ms) {
    return internals.sleep(function (wakeUp) {
      web.sleep(ms, function (early) { wakeUp(early ? 1 : 0); });
    });
  },

  web_wake__deps: ['$web'],
  web_wake: function () {
    if (!web.channel) {
      web.channel = new MessageChannel();
      web.channel.port1.onmessage = function () {
        if (web.wakeUp) web.wakeUp(true);
      };
    }
    web.channel.port2.postMessage(0);
  },

  // WebGL2 shows the 8-bit screen as it is and looks each pixel up in the
  // palette as it draws: the processor neither converts pixels nor hands
  // their colours to the canvas. The lookup is exact: integer texel
  // fetches, no filtering, opaque, no blending and no antialiasing.
  $webgl__deps: ['$web'],
  $webgl: {
    vertices: '#version 300 es\n' +
      // One triangle over the whole canvas.
      'void main() {\n' +
      '  gl_Position = vec4(vec2((gl_VertexID << 1) & 2, gl_VertexID & 2) * 2.0 - 1.0, 0, 1);\n' +
      '}\n',
    fragments: '#version 300 es\n' +
      'precision highp float;\n' +
      'uniform highp usampler2D screen;\n' +
      'uniform highp sampler2D palette;\n' +
      'out vec4 colour;\n' +
      'void main() {\n' +
      // The screen's rows go down, the canvas's up.
      '  ivec2 at = ivec2(gl_FragCoord.xy);\n' +
      '  at.y = textureSize(screen, 0).y - 1 - at.y;\n' +
      '  colour = texelFetch(palette, ivec2(texelFetch(screen, at, 0).r, 0), 0);\n' +
      '}\n',
    // The context on CANVAS, or null where WebGL2 is missing.
    open: function (canvas) {
      // A kept drawing buffer leaves the canvas readable between frames
      // (drawImage, toDataURL), as a 2D one is; it costs the graphics
      // processor a copy of each frame drawn.
      var context = canvas.getContext('webgl2', {
        alpha: false, depth: false, stencil: false, antialias: false,
        premultipliedAlpha: false, preserveDrawingBuffer: true,
      });
      if (!context) return null;
      canvas.addEventListener('webglcontextlost', function (e) { e.preventDefault(); });
      canvas.addEventListener('webglcontextrestored', function () {
        webgl.prepare(context, canvas.width, canvas.height);
        if (web.pixels) webgl.upload(web.pixels, 0, 0, canvas.width, canvas.height);
        if (web.palette) webgl.setPalette(web.palette);
        webgl.draw();
      });
      webgl.prepare(context, canvas.width, canvas.height);
      return context;
    },
    // The program, the screen's texture (one unsigned byte a pixel) and
    // the palette's (256 x 1 RGBA), bound for good: nothing else is drawn.
    prepare: function (context, width, height) {
      var program = context.createProgram();
      [[context.VERTEX_SHADER, webgl.vertices], [context.FRAGMENT_SHADER, webgl.fragments]]
        .forEach(function (stage) {
          var shader = context.createShader(stage[0]);
          context.shaderSource(shader, stage[1]);
          context.compileShader(shader);
          context.attachShader(program, shader);
        });
      context.linkProgram(program);
      context.useProgram(program);
      ['screen', 'palette'].forEach(function (name, unit) {
        context.activeTexture(context.TEXTURE0 + unit);
        context.bindTexture(context.TEXTURE_2D, context.createTexture());
        context.texParameteri(context.TEXTURE_2D, context.TEXTURE_MIN_FILTER, context.NEAREST);
        context.texParameteri(context.TEXTURE_2D, context.TEXTURE_MAG_FILTER, context.NEAREST);
        context.uniform1i(context.getUniformLocation(program, name), unit);
      });
      context.activeTexture(context.TEXTURE0);
      context.texStorage2D(context.TEXTURE_2D, 1, context.R8UI, width, height);
      // Rows of the screen's width, whatever a box's.
      context.pixelStorei(context.UNPACK_ALIGNMENT, 1);
      context.pixelStorei(context.UNPACK_ROW_LENGTH, width);
      web.gl = context;
    },
    upload: function (pixels, left, top, right, bottom) {
      var context = web.gl;
      context.texSubImage2D(context.TEXTURE_2D, 0, left, top, right - left, bottom - top,
                            context.RED_INTEGER, context.UNSIGNED_BYTE, HEAPU8,
                            pixels + top * Module.canvas.width + left);
    },
    setPalette: function (palette) {
      var context = web.gl;
      context.activeTexture(context.TEXTURE1);
      context.texImage2D(context.TEXTURE_2D, 0, context.RGBA8, 256, 1, 0, context.RGBA,
                         context.UNSIGNED_BYTE, HEAPU8, palette);
      context.activeTexture(context.TEXTURE0);
    },
    draw: function () {
      web.gl.drawArrays(web.gl.TRIANGLES, 0, 3);
    },
  },

  // How the screen is shown on the canvas: 2 through WebGL2 (web_show takes
  // the 8-bit screen, web_set_palette its palette), 1 through a 2D context
  // (web_show takes the screen as RGBA), 0 without a canvas.
  web_open_canvas__deps: ['$web', '$webgl'],
  web_open_canvas: function (width, height) {
    var canvas = Module.canvas;
    if (!canvas || !canvas.getContext) return 0;
    canvas.width = width;
    canvas.height = height;
    canvas.style.touchAction = 'none';
    if (webgl.open(canvas)) return 2;
    web.context = canvas.getContext('2d', { alpha: false });
    return web.context ? 1 : 0;
  },

  // Gives the canvas the box from (LEFT, TOP) to (RIGHT, BOTTOM) (excluded)
  // of the SCREEN, shown at the next web_present(). A 2D context draws it at
  // once, through one ImageData over the program's memory. WebGL2 takes the
  // box around a frame's boxes in one upload: each costs the processor
  // more for the call than for its rows.
  web_show__deps: ['$web', '$webgl'],
  web_show: function (screen, left, top, right, bottom) {
    var canvas = Module.canvas, box = web.box;
    if (web.gl) {
      web.pixels = screen;
      web.box = box ? [Math.min(box[0], left), Math.min(box[1], top),
                       Math.max(box[2], right), Math.max(box[3], bottom)]
                    : [left, top, right, bottom];
      return;
    }
    if (!web.image || web.image.data.buffer !== HEAPU8.buffer) {
      var bytes = new Uint8ClampedArray(HEAPU8.buffer, screen, canvas.width * canvas.height * 4);
      web.image = new ImageData(bytes, canvas.width, canvas.height);
    }
    web.context.putImageData(web.image, 0, 0, left, top, right - left, bottom - top);
  },

  web_set_palette__deps: ['$web', '$webgl'],
  web_set_palette: function (palette) {
    if (!web.gl) return;
    web.palette = palette;
    web.paletteChanged = true;
    webgl.setPalette(palette);
  },

  web_present__deps: ['$web', '$webgl'],
  web_present: function () {
    var box = web.box;
    if (box) webgl.upload(web.pixels, box[0], box[1], box[2], box[3]);
    if (box || web.paletteChanged) webgl.draw();
    web.box = null;
    web.paletteChanged = false;
  },

  web_frame_done__deps: ['$web'],
  web_frame_done: function (work, element, size) {
    if (Module.onFrame) Module.onFrame(work);
    var last = web.selection;
    if (last && last.element === element && last.size === size) return;
    web.selection = { element: element, size: size };
    if (Module.onSelection) Module.onSelection(element, size);
  },

  web_set_title: function (title) {
    document.title = UTF8ToString(title);
  },

  web_listen_keys__deps: ['$web'],
  web_listen_keys: function (on) {
    web.keysOn = !!on;
    web.listen(window, web.keyHandlers, on);
  },

  web_listen_pointer__deps: ['$web'],
  web_listen_pointer: function (on) {
    // Without a canvas the graphics driver reports the failure.
    web.pointerOn = !!(on && Module.canvas);
    if (Module.canvas) web.listen(Module.canvas, web.pointerHandlers, on);
  },
});
