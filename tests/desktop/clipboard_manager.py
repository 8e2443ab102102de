#!/usr/bin/env python3
"""A minimal X11 clipboard manager: keeps what a program leaves on the clipboard when it ends.

Usage: clipboard_manager.py OUTPUT-FILE   (DISPLAY names the server)

Owns the CLIPBOARD_MANAGER selection, as GNOME's, MATE's and Cinnamon's managers do on X11.
When a program that owns CLIPBOARD is about to end, it asks the manager to convert
CLIPBOARD_MANAGER to SAVE_TARGETS (the freedesktop clipboard manager protocol); the manager
then takes the clipboard's text as UTF8_STRING, writes it to OUTPUT-FILE, tells the program it
is saved and exits 0. It prints "ready" once it owns the selection. Through libX11 by ctypes,
so it needs nothing but Python.
"""
import ctypes
import ctypes.util
import sys

SELECTION_REQUEST = 30
SELECTION_NOTIFY = 31
CURRENT_TIME = 0
ANY_PROPERTY_TYPE = 0


class XSelectionRequestEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("owner", ctypes.c_ulong),
        ("requestor", ctypes.c_ulong),
        ("selection", ctypes.c_ulong),
        ("target", ctypes.c_ulong),
        ("property", ctypes.c_ulong),
        ("time", ctypes.c_ulong),
    ]


class XSelectionEvent(ctypes.Structure):
    _fields_ = [
        ("type", ctypes.c_int),
        ("serial", ctypes.c_ulong),
        ("send_event", ctypes.c_int),
        ("display", ctypes.c_void_p),
        ("requestor", ctypes.c_ulong),
        ("selection", ctypes.c_ulong),
        ("target", ctypes.c_ulong),
        ("property", ctypes.c_ulong),
        ("time", ctypes.c_ulong),
    ]


class XEvent(ctypes.Union):
    _fields_ = [
        ("type", ctypes.c_int),
        ("xselectionrequest", XSelectionRequestEvent),
        ("xselection", XSelectionEvent),
        ("pad", ctypes.c_long * 24),
    ]


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XCreateSimpleWindow.restype = ctypes.c_ulong
    x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
        [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                       ctypes.c_ulong]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XConvertSelection.argtypes = [ctypes.c_void_p] + [ctypes.c_ulong] * 5
    x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(XEvent)]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XGetWindowProperty.argtypes = [
        ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long,
        ctypes.c_int, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
        ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_ulong),
        ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]

    display = x11.XOpenDisplay(None)
    if not display:
        print("clipboard_manager: cannot open the display", file=sys.stderr)
        return 1

    def atom(name):
        return x11.XInternAtom(display, name.encode(), 0)

    manager, save_targets = atom("CLIPBOARD_MANAGER"), atom("SAVE_TARGETS")
    clipboard, utf8, kept = atom("CLIPBOARD"), atom("UTF8_STRING"), atom("LUMBRA_KEPT")
    window = x11.XCreateSimpleWindow(display, x11.XDefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0)
    x11.XSetSelectionOwner(display, manager, window, CURRENT_TIME)
    if x11.XGetSelectionOwner(display, manager) != window:
        print("clipboard_manager: could not own CLIPBOARD_MANAGER", file=sys.stderr)
        return 1
    print("ready", flush=True)

    event = XEvent()
    while True:
        x11.XNextEvent(display, ctypes.byref(event))
        if event.type != SELECTION_REQUEST:
            continue
        request = event.xselectionrequest
        if request.selection != manager or request.target != save_targets:
            continue
        requestor, reply_property, when = request.requestor, request.property, request.time
        # The program answers this while it waits for the reply below.
        x11.XConvertSelection(display, clipboard, utf8, kept, window, when)
        x11.XFlush(display)
        while True:
            x11.XNextEvent(display, ctypes.byref(event))
            if event.type == SELECTION_NOTIFY and event.xselection.requestor == window:
                break
        saved = b""
        if event.xselection.property:
            actual_type, actual_format = ctypes.c_ulong(), ctypes.c_int()
            items, after, data = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_void_p()
            x11.XGetWindowProperty(display, window, kept, 0, 1 << 24, 1, ANY_PROPERTY_TYPE,
                                   ctypes.byref(actual_type), ctypes.byref(actual_format),
                                   ctypes.byref(items), ctypes.byref(after), ctypes.byref(data))
            if data.value:
                saved = ctypes.string_at(data.value, items.value)
        with open(sys.argv[1], "wb") as out:
            out.write(saved)
        reply = XEvent()
        reply.xselection.type = SELECTION_NOTIFY
        reply.xselection.requestor = requestor
        reply.xselection.selection = manager
        reply.xselection.target = save_targets
        reply.xselection.property = reply_property
        reply.xselection.time = when
        x11.XSendEvent(display, requestor, 0, 0, ctypes.byref(reply))
        x11.XFlush(display)
        return 0


if __name__ == "__main__":
    sys.exit(main())
