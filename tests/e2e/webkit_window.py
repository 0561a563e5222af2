#!/usr/bin/python3
"""One WebKitGTK window of 800 x 600 with no browser controls around the
page, titled with the page's title, that ends with status 0 when the game
on the page has ended (the page then says so, in its title too; a tab
never closes itself) or when the page closes it. WebKitGTK's own
MiniBrowser has no way to set its window's size and always shows a
toolbar.

    tests/e2e/webkit_window.py URL
"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("WebKit2", "4.1")
from gi.repository import Gtk, WebKit2  # noqa: E402

# The page's title once the game has ended.
ENDED = "Veldrath: the game has ended"


def follow_title(view, window):
    title = view.get_title() or ""
    window.set_title(title)
    if title.startswith(ENDED):
        Gtk.main_quit()


def main(url):
    # Nothing kept between runs: every start is a new visitor's.
    context = WebKit2.WebContext.new_ephemeral()
    view = WebKit2.WebView.new_with_context(context)
    window = Gtk.Window(title="")
    window.set_decorated(False)
    window.set_default_size(800, 600)
    window.move(0, 0)
    window.add(view)
    view.connect("notify::title", lambda *_: follow_title(view, window))
    view.connect("close", lambda *_: Gtk.main_quit())
    window.connect("delete-event", lambda *_: Gtk.main_quit())
    view.load_uri(url)
    window.show_all()
    Gtk.main()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
