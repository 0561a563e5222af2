/* The browser's keyboard and mouse drivers. library.js listens for the
 * page's key and pointer events and hands them to the functions below, which
 * update Allegro's key[] and mouse state as its other ports do.
 */
#include <string.h>

#include <emscripten.h>

#include "web.h"

/* KeyboardEvent.code, which names the key's place on the keyboard whatever
 * its layout, as Allegro's scancode. */
static const struct
{
   const char *code;
   int scancode;
} keys[] = {
   {"KeyA", KEY_A}, {"KeyB", KEY_B}, {"KeyC", KEY_C}, {"KeyD", KEY_D}, {"KeyE", KEY_E},
   {"KeyF", KEY_F}, {"KeyG", KEY_G}, {"KeyH", KEY_H}, {"KeyI", KEY_I}, {"KeyJ", KEY_J},
   {"KeyK", KEY_K}, {"KeyL", KEY_L}, {"KeyM", KEY_M}, {"KeyN", KEY_N}, {"KeyO", KEY_O},
   {"KeyP", KEY_P}, {"KeyQ", KEY_Q}, {"KeyR", KEY_R}, {"KeyS", KEY_S}, {"KeyT", KEY_T},
   {"KeyU", KEY_U}, {"KeyV", KEY_V}, {"KeyW", KEY_W}, {"KeyX", KEY_X}, {"KeyY", KEY_Y},
   {"KeyZ", KEY_Z},
   {"Digit0", KEY_0}, {"Digit1", KEY_1}, {"Digit2", KEY_2}, {"Digit3", KEY_3},
   {"Digit4", KEY_4}, {"Digit5", KEY_5}, {"Digit6", KEY_6}, {"Digit7", KEY_7},
   {"Digit8", KEY_8}, {"Digit9", KEY_9},
   {"Numpad0", KEY_0_PAD}, {"Numpad1", KEY_1_PAD}, {"Numpad2", KEY_2_PAD},
   {"Numpad3", KEY_3_PAD}, {"Numpad4", KEY_4_PAD}, {"Numpad5", KEY_5_PAD},
   {"Numpad6", KEY_6_PAD}, {"Numpad7", KEY_7_PAD}, {"Numpad8", KEY_8_PAD},
   {"Numpad9", KEY_9_PAD}, {"NumpadDivide", KEY_SLASH_PAD}, {"NumpadMultiply", KEY_ASTERISK},
   {"NumpadSubtract", KEY_MINUS_PAD}, {"NumpadAdd", KEY_PLUS_PAD},
   {"NumpadDecimal", KEY_DEL_PAD}, {"NumpadEnter", KEY_ENTER_PAD},
   {"Escape", KEY_ESC}, {"Backquote", KEY_TILDE}, {"Minus", KEY_MINUS}, {"Equal", KEY_EQUALS},
   {"Backspace", KEY_BACKSPACE}, {"Tab", KEY_TAB}, {"BracketLeft", KEY_OPENBRACE},
   {"BracketRight", KEY_CLOSEBRACE}, {"Enter", KEY_ENTER}, {"Semicolon", KEY_COLON},
   {"Quote", KEY_QUOTE}, {"Backslash", KEY_BACKSLASH}, {"IntlBackslash", KEY_BACKSLASH2},
   {"Comma", KEY_COMMA}, {"Period", KEY_STOP}, {"Slash", KEY_SLASH}, {"Space", KEY_SPACE},
   {"Insert", KEY_INSERT}, {"Delete", KEY_DEL}, {"Home", KEY_HOME}, {"End", KEY_END},
   {"PageUp", KEY_PGUP}, {"PageDown", KEY_PGDN}, {"ArrowLeft", KEY_LEFT},
   {"ArrowRight", KEY_RIGHT}, {"ArrowUp", KEY_UP}, {"ArrowDown", KEY_DOWN},
   {"ShiftLeft", KEY_LSHIFT}, {"ShiftRight", KEY_RSHIFT}, {"ControlLeft", KEY_LCONTROL},
   {"ControlRight", KEY_RCONTROL}, {"AltLeft", KEY_ALT}, {"AltRight", KEY_ALTGR},
   {"MetaLeft", KEY_LWIN}, {"MetaRight", KEY_RWIN}, {"ContextMenu", KEY_MENU},
   {"CapsLock", KEY_CAPSLOCK}, {"NumLock", KEY_NUMLOCK}, {"ScrollLock", KEY_SCRLOCK},
};

/* A key pressed (DOWN) or released, with the character it types (0 for
 * none). Returns whether the key is Allegro's, so that the page leaves it to
 * the program. */
EMSCRIPTEN_KEEPALIVE int web_key(const char *code, int down, int character)
{
   size_t i;
   for (i = 0; i < sizeof keys / sizeof keys[0]; i++)
      if (strcmp(keys[i].code, code) == 0) {
         if (down)
            _handle_key_press(character, keys[i].scancode);
         else
            _handle_key_release(keys[i].scancode);
         return 1;
      }
   return 0;
}

/* The page lost the focus: the keys held now will not report their release. */
EMSCRIPTEN_KEEPALIVE void web_release_keys(void)
{
   int scancode;
   for (scancode = 1; scancode < KEY_MAX; scancode++)
      if (key[scancode])
         _handle_key_release(scancode);
}

/* The pointer at (X, Y) in canvas pixels, with BUTTONS held (bit 0 the
 * left, 1 the right, 2 the middle, as both Allegro and the browser count). */
EMSCRIPTEN_KEEPALIVE void web_pointer(int x, int y, int buttons)
{
   _mouse_x = x;
   _mouse_y = y;
   _mouse_b = buttons;
   _handle_mouse_input();
}

static int keyboard_init(void)
{
   web_listen_keys(TRUE);
   return 0;
}

static void keyboard_exit(void) { web_listen_keys(FALSE); }

KEYBOARD_DRIVER keyboard_web = {
   KEYBOARD_WEB, empty_string, empty_string, "Browser keyboard",
   FALSE, /* autorepeat: the browser repeats keys itself */
   keyboard_init, keyboard_exit,
   NULL, NULL, NULL, NULL, NULL, NULL, NULL,
};

static int mouse_init(void)
{
   web_listen_pointer(TRUE);
   return 3; /* buttons */
}

static void mouse_exit(void) { web_listen_pointer(FALSE); }

MOUSE_DRIVER mouse_web = {
   MOUSE_WEB, empty_string, empty_string, "Browser pointer",
   mouse_init, mouse_exit,
   NULL, NULL, /* poll, timer_poll */
   NULL,       /* position: Allegro sets the reported position itself */
   NULL, NULL, NULL, NULL, NULL, NULL,
};
