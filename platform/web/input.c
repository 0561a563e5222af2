/* The browser's keyboard and mouse drivers. library.js listens for the
 * page's key and pointer events and hands them to the functions below, which
 * update Allegro's key[] and mouse state as its other ports do, at the
 * frames' edges: the program reads them once a frame, so every press is
 * held for one frame at least, however short, and a finger or a pen, which
 * has no hover, is first seen where it lands, with no button, so that a
 * stroke starts there and not where the last one ended.
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
    {"KeyA", KEY_A},
    {"KeyB", KEY_B},
    {"KeyC", KEY_C},
    {"KeyD", KEY_D},
    {"KeyE", KEY_E},
    {"KeyF", KEY_F},
    {"KeyG", KEY_G},
    {"KeyH", KEY_H},
    {"KeyI", KEY_I},
    {"KeyJ", KEY_J},
    {"KeyK", KEY_K},
    {"KeyL", KEY_L},
    {"KeyM", KEY_M},
    {"KeyN", KEY_N},
    {"KeyO", KEY_O},
    {"KeyP", KEY_P},
    {"KeyQ", KEY_Q},
    {"KeyR", KEY_R},
    {"KeyS", KEY_S},
    {"KeyT", KEY_T},
    {"KeyU", KEY_U},
    {"KeyV", KEY_V},
    {"KeyW", KEY_W},
    {"KeyX", KEY_X},
    {"KeyY", KEY_Y},
    {"KeyZ", KEY_Z},
    {"Digit0", KEY_0},
    {"Digit1", KEY_1},
    {"Digit2", KEY_2},
    {"Digit3", KEY_3},
    {"Digit4", KEY_4},
    {"Digit5", KEY_5},
    {"Digit6", KEY_6},
    {"Digit7", KEY_7},
    {"Digit8", KEY_8},
    {"Digit9", KEY_9},
    {"Numpad0", KEY_0_PAD},
    {"Numpad1", KEY_1_PAD},
    {"Numpad2", KEY_2_PAD},
    {"Numpad3", KEY_3_PAD},
    {"Numpad4", KEY_4_PAD},
    {"Numpad5", KEY_5_PAD},
    {"Numpad6", KEY_6_PAD},
    {"Numpad7", KEY_7_PAD},
    {"Numpad8", KEY_8_PAD},
    {"Numpad9", KEY_9_PAD},
    {"NumpadDivide", KEY_SLASH_PAD},
    {"NumpadMultiply", KEY_ASTERISK},
    {"NumpadSubtract", KEY_MINUS_PAD},
    {"NumpadAdd", KEY_PLUS_PAD},
    {"NumpadDecimal", KEY_DEL_PAD},
    {"NumpadEnter", KEY_ENTER_PAD},
    {"Escape", KEY_ESC},
    {"Backquote", KEY_TILDE},
    {"Minus", KEY_MINUS},
    {"Equal", KEY_EQUALS},
    {"Backspace", KEY_BACKSPACE},
    {"Tab", KEY_TAB},
    {"BracketLeft", KEY_OPENBRACE},
    {"BracketRight", KEY_CLOSEBRACE},
    {"Enter", KEY_ENTER},
    {"Semicolon", KEY_COLON},
    {"Quote", KEY_QUOTE},
    {"Backslash", KEY_BACKSLASH},
    {"IntlBackslash", KEY_BACKSLASH2},
    {"Comma", KEY_COMMA},
    {"Period", KEY_STOP},
    {"Slash", KEY_SLASH},
    {"Space", KEY_SPACE},
    {"Insert", KEY_INSERT},
    {"Delete", KEY_DEL},
    {"Home", KEY_HOME},
    {"End", KEY_END},
    {"PageUp", KEY_PGUP},
    {"PageDown", KEY_PGDN},
    {"ArrowLeft", KEY_LEFT},
    {"ArrowRight", KEY_RIGHT},
    {"ArrowUp", KEY_UP},
    {"ArrowDown", KEY_DOWN},
    {"ShiftLeft", KEY_LSHIFT},
    {"ShiftRight", KEY_RSHIFT},
    {"ControlLeft", KEY_LCONTROL},
    {"ControlRight", KEY_RCONTROL},
    {"AltLeft", KEY_ALT},
    {"AltRight", KEY_ALTGR},
    {"MetaLeft", KEY_LWIN},
    {"MetaRight", KEY_RWIN},
    {"ContextMenu", KEY_MENU},
    {"CapsLock", KEY_CAPSLOCK},
    {"NumLock", KEY_NUMLOCK},
    {"ScrollLock", KEY_SCRLOCK},
};

/* Keys pressed since the last frame ended, and whether they were released
 * since: their release waits for the frame's end. */
#define UNSEEN 1
#define RELEASED 2
static unsigned char unseen[KEY_MAX];

/* A key pressed (DOWN) or released, with the character it types (0 for
 * none). Returns whether the key is Allegro's, so that the page leaves it to
 * the program. */
EMSCRIPTEN_KEEPALIVE int web_key(const char *code, int down, int character)
{
    size_t i;
    int scancode;
    for (i = 0; i < sizeof keys / sizeof keys[0] && strcmp(keys[i].code, code) != 0; i++)
        ;
    if (i == sizeof keys / sizeof keys[0])
        return 0;
    scancode = keys[i].scancode;
    if (down)
    {
        _handle_key_press(character, scancode);
        unseen[scancode] = UNSEEN;
    }
    else if (unseen[scancode])
        unseen[scancode] |= RELEASED;
    else
        _handle_key_release(scancode);
    return 1;
}

/* The page lost the focus: the keys held now will not report their release. */
EMSCRIPTEN_KEEPALIVE void web_release_keys(void)
{
    int scancode;
    for (scancode = 1; scancode < KEY_MAX; scancode++)
        if (key[scancode])
            _handle_key_release(scancode);
    memset(unseen, 0, sizeof unseen);
}

/* The game's play area, x < PLAY_WIDTH; the rest is its panel. */
#define PLAY_WIDTH 600

/* A state of the pointer for the program to see, in a frame of its own
 * unless the next state has the same buttons and it is not KEPT. TO_PLAY
 * puts the pointer back over the play area where the program last saw it. */
struct pointer_state
{
    int x, y, buttons;
    int kept, to_play;
};

static struct pointer_state queue[8];
static int queued;
static int last_buttons;   /* of the last state queued or seen */
static int play_x, play_y; /* where the program last saw the pointer over the play area */

static void queue_pointer(struct pointer_state state)
{
    struct pointer_state *last = queued > 0 ? &queue[queued - 1] : NULL;
    if (last && !last->kept && last->buttons == state.buttons)
        *last = state; /* a move */
    else if (queued < (int)(sizeof queue / sizeof queue[0]))
        queue[queued++] = state;
    else
        *last = state; /* the program lags far behind: it skips a state */
    last_buttons = state.buttons;
}

/* The pointer at (X, Y) in canvas pixels, with BUTTONS held (bit 0 the
 * left, 1 the right, 2 the middle, as both Allegro and the browser count);
 * HOVERS for a mouse, 0 for a finger or a pen. A finger that lands wakes
 * the program for the frame that sees it land. A finger lifted off the play
 * area leaves the panel seen for a frame, which shows what it chose, and
 * then goes back over the play area, which runs on. */
EMSCRIPTEN_KEEPALIVE void web_pointer(int x, int y, int buttons, int hovers)
{
    struct pointer_state state = {x, y, buttons, FALSE, FALSE};
    int lands = !hovers && buttons && !last_buttons;
    int lifts = !hovers && !buttons && last_buttons;
    if (lands)
    {
        struct pointer_state landing = {x, y, 0, FALSE, FALSE};
        queue_pointer(landing);
    }
    if (lifts && x >= PLAY_WIDTH)
    {
        struct pointer_state back = {x, y, 0, FALSE, TRUE};
        state.kept = TRUE;
        queue_pointer(state);
        queue_pointer(back);
    }
    else
        queue_pointer(state);
    if (lands)
        web_wake();
}

int web_input_waiting(void)
{
    return queued > 0;
}

void web_input_next(void)
{
    struct pointer_state next;
    if (mouse_x < PLAY_WIDTH)
    {
        play_x = mouse_x;
        play_y = mouse_y;
    }
    if (queued == 0)
        return;
    next = queue[0];
    memmove(queue, queue + 1, --queued * sizeof queue[0]);
    _mouse_x = next.to_play ? play_x : next.x;
    _mouse_y = next.to_play ? play_y : next.y;
    _mouse_b = next.buttons;
    _handle_mouse_input();
}

void web_input_seen(void)
{
    int scancode;
    for (scancode = 1; scancode < KEY_MAX; scancode++)
        if (unseen[scancode] & RELEASED)
            _handle_key_release(scancode);
    memset(unseen, 0, sizeof unseen);
}

static int keyboard_init(void)
{
    web_listen_keys(TRUE);
    return 0;
}

static void keyboard_exit(void)
{
    web_listen_keys(FALSE);
}

KEYBOARD_DRIVER keyboard_web = {
    KEYBOARD_WEB,  empty_string,  empty_string, "Browser keyboard",
    FALSE, /* autorepeat: the browser repeats keys itself */
    keyboard_init, keyboard_exit, NULL,         NULL,
    NULL,          NULL,          NULL,         NULL,
    NULL,
};

static int mouse_init(void)
{
    web_listen_pointer(TRUE);
    return 3; /* buttons */
}

static void mouse_exit(void)
{
    web_listen_pointer(FALSE);
}

MOUSE_DRIVER mouse_web = {
    MOUSE_WEB,  empty_string, empty_string, "Browser pointer",
    mouse_init, mouse_exit,   NULL,         NULL, /* poll, timer_poll */
    NULL, /* position: Allegro sets the reported position itself */
    NULL,       NULL,         NULL,         NULL,
    NULL,       NULL,
};
