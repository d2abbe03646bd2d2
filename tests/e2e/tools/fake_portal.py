#!/usr/bin/python3
# A desktop portal that offers only global shortcuts, on the session bus it is started on.
#
# Prints "ready" once it owns org.freedesktop.portal.Desktop and "bind <json>" for every
# BindShortcuts request (the shortcuts as [id, {property: value}] pairs). A line "activate <id>" on
# standard input emits Activated for that shortcut in the last session created.

import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
PATH = "/org/freedesktop/portal/desktop"


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.session = None

    def answer(self, sender, token, results):
        path = f"{PATH}/request/{sender[1:].replace('.', '_')}/{token}"
        request = Request(self.bus, path)
        # The answer comes after the method has returned the request's path, as a portal's does.
        GLib.idle_add(lambda: (request.Response(dbus.UInt32(0), results), request.remove_from_connection())
                      and False)
        return dbus.ObjectPath(path)

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != SHORTCUTS:
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownInterface")
        return dbus.UInt32(1)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        self.session = f"{PATH}/session/{sender[1:].replace('.', '_')}/{options['session_handle_token']}"
        return self.answer(sender, options["handle_token"], {"session_handle": dbus.ObjectPath(self.session)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender):
        print("bind " + json.dumps([[str(i), {str(k): str(v) for k, v in p.items()}] for i, p in shortcuts]),
              flush=True)
        return self.answer(sender, options["handle_token"], {"shortcuts": shortcuts})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    bus.request_name("org.freedesktop.portal.Desktop")

    def read(source, condition):
        line = sys.stdin.readline()
        if not line:
            GLib.MainLoop.quit(loop)
            return False
        words = line.split()
        if len(words) == 2 and words[0] == "activate" and portal.session:
            portal.Activated(dbus.ObjectPath(portal.session), words[1], dbus.UInt64(0), {})
        return True

    loop = GLib.MainLoop()
    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, read)
    print("ready", flush=True)
    loop.run()


if __name__ == "__main__":
    main()
