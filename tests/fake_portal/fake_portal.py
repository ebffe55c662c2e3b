"""A stand-in for the desktop portal's Screenshot and GlobalShortcuts interfaces, for Vexmor's tests.

It owns org.freedesktop.portal.Desktop on the bus in DBUS_SESSION_BUS_ADDRESS (a private one the test
started) and behaves as the command line says. Through /control (interface net.tolvane.FakePortal) a
test reads every call made to it, as JSON, and makes it emit Activated or close a session. With --kwin
it also owns org.kde.KWin and serves ScreenShot2's CaptureWorkspace: a 4x3 picture (pixel i in
ARGB32 0xFFC832ii with ii = 10 * i) through the caller's pipe, or one of the faults a caller must
survive.
"""
import argparse
import itertools
import json
import os
import shutil
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL = 'org.freedesktop.portal.Desktop'
PATH = '/org/freedesktop/portal/desktop'
SCREENSHOT = 'org.freedesktop.portal.Screenshot'
SHORTCUTS = 'org.freedesktop.portal.GlobalShortcuts'
REQUEST = 'org.freedesktop.portal.Request'
SESSION = 'org.freedesktop.portal.Session'
PROPERTIES = 'org.freedesktop.DBus.Properties'
CONTROL = 'net.tolvane.FakePortal'

calls = []  # every call, in order: {"method": ..., "args": [...]}
numbers = itertools.count(1)


def plain(value):
    """A D-Bus value as JSON takes it; booleans stay booleans so a test can tell false from 0."""
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, dict):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (int, float)):
        return value
    return str(value)


def log(method, *args):
    calls.append({'method': method, 'args': [plain(a) for a in args]})


def object_path(kind, sender, token):
    return '%s/%s/%s/%s' % (PATH, kind, sender.lstrip(':').replace('.', '_'), token)


class Request(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.path = path

    @dbus.service.method(REQUEST, in_signature='', out_signature='')
    def Close(self):
        log('Request.Close', self.path)
        self.remove_from_connection()

    @dbus.service.signal(REQUEST, signature='ua{sv}')
    def Response(self, response, results):
        pass

    def answer(self, response, results):
        self.Response(dbus.UInt32(response), dbus.Dictionary(results, signature='sv'))
        self.remove_from_connection()


class Session(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.path = path

    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        log('Session.Close', self.path)
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature='a{sv}')
    def Closed(self, details):
        pass


class Portal(dbus.service.Object):
    def __init__(self, bus, args):
        super().__init__(bus, PATH)
        self.bus = bus
        self.args = args
        self.sessions = {}
        self.bound_session = ''

    # ---- properties -------------------------------------------------------------------------
    @dbus.service.method(PROPERTIES, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        log('Get', interface, name)
        versions = {}
        if self.args.screenshot != 'absent':
            versions[SCREENSHOT] = dbus.UInt32(2)
        if self.args.shortcuts != 'absent':
            versions[SHORTCUTS] = dbus.UInt32(1)
        if interface not in versions or name != 'version':
            raise dbus.exceptions.DBusException('no such property',
                                                name='org.freedesktop.DBus.Error.UnknownInterface')
        return versions[interface]

    # ---- screenshot -------------------------------------------------------------------------
    @dbus.service.method(SCREENSHOT, in_signature='sa{sv}', out_signature='o', sender_keyword='sender',
                         async_callbacks=('reply', 'error'))
    def Screenshot(self, parent_window, options, sender, reply, error):
        log('Screenshot', parent_window, options)
        mode = self.args.screenshot
        if mode == 'absent':
            error(dbus.exceptions.DBusException('no screenshot here',
                                                name='org.freedesktop.DBus.Error.UnknownMethod'))
            return
        expected = object_path('request', sender, str(options.get('handle_token', 'none')))
        handle = expected if mode != 'legacy' else '%s/request/legacy/%d' % (PATH, next(numbers))
        request = Request(self.bus, handle)
        if mode == 'silent':
            reply(dbus.ObjectPath(handle))
            return
        if mode == 'lose-once':
            # The first request is answered "cancelled", as KDE's portal does when it loses a picture.
            mode = 'cancel' if not getattr(self, 'lost', False) else 'ok'
            self.lost = True
        if mode in ('cancel', 'fail'):
            results = {}
            code = 1 if mode == 'cancel' else 2
        else:
            code = 0
            if self.args.uri is not None:
                uri = self.args.uri
            else:
                target = os.path.join(self.args.folder, 'Screenshot-%d.png' % next(numbers))
                shutil.copyfile(self.args.picture, target)
                uri = 'file://' + target
            results = {'uri': dbus.String(uri)}
        if mode == 'early':
            # The answer before the handle: only a caller already listening at the expected path gets it.
            request.answer(code, results)
            reply(dbus.ObjectPath(handle))
        elif mode == 'legacy':
            reply(dbus.ObjectPath(handle))
            GLib.timeout_add(100, lambda: request.answer(code, results) and False)
        else:
            reply(dbus.ObjectPath(handle))
            GLib.idle_add(lambda: request.answer(code, results) and False)

    # ---- global shortcuts -------------------------------------------------------------------
    @dbus.service.method(SHORTCUTS, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
    def CreateSession(self, options, sender):
        # The shortcuts' D-Bus type beside them: the KDE portal takes only a(sa{sv}) there.
        log('CreateSession', options, 'a' + getattr(options.get('shortcuts'), 'signature', ''))
        if self.args.shortcuts == 'absent':
            raise dbus.exceptions.DBusException('no shortcuts here',
                                                name='org.freedesktop.DBus.Error.UnknownMethod')
        handle = object_path('request', sender, str(options['handle_token']))
        session = object_path('session', sender, str(options['session_handle_token']))
        self.sessions[session] = Session(self.bus, session)
        request = Request(self.bus, handle)
        GLib.idle_add(lambda: request.answer(0, {'session_handle': dbus.String(session)}) and False)
        return dbus.ObjectPath(handle)

    @dbus.service.method(SHORTCUTS, in_signature='oa(sa{sv})sa{sv}', out_signature='o', sender_keyword='sender')
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender):
        log('BindShortcuts', session, shortcuts, parent_window, options)
        handle = object_path('request', sender, str(options['handle_token']))
        request = Request(self.bus, handle)
        mode = self.args.shortcuts
        if mode == 'silent-bind':
            return dbus.ObjectPath(handle)
        if mode == 'refuse':
            GLib.idle_add(lambda: request.answer(1, {}) and False)
            return dbus.ObjectPath(handle)
        bound = dbus.Array([dbus.Struct((sid, dbus.Dictionary(
            {'description': props.get('description', ''),
             'trigger_description': props.get('preferred_trigger', '')}, signature='sv')))
            for sid, props in shortcuts if sid not in self.args.drop], signature='(sa{sv})')
        self.bound_session = str(session)
        GLib.idle_add(lambda: request.answer(0, {'shortcuts': bound}) and False)
        return dbus.ObjectPath(handle)

    @dbus.service.signal(SHORTCUTS, signature='osta{sv}')
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass


class Control(dbus.service.Object):
    def __init__(self, bus, portal):
        super().__init__(bus, '/control')
        self.portal = portal

    @dbus.service.method(CONTROL, in_signature='', out_signature='s')
    def Calls(self):
        return json.dumps(calls)

    @dbus.service.method(CONTROL, in_signature='ss', out_signature='')
    def Activate(self, session, shortcut_id):
        """Fires a shortcut of `session`, or of the last bound one when it is empty."""
        self.portal.Activated(dbus.ObjectPath(session or self.portal.bound_session), shortcut_id,
                              dbus.UInt64(1234), dbus.Dictionary({}, signature='sv'))

    @dbus.service.method(CONTROL, in_signature='', out_signature='')
    def CloseBoundSession(self):
        session = self.portal.sessions.get(self.portal.bound_session)
        if session:
            session.Closed(dbus.Dictionary({}, signature='sv'))
            session.remove_from_connection()


class KWin(dbus.service.Object):
    def __init__(self, bus, mode):
        super().__init__(bus, '/org/kde/KWin/ScreenShot2')
        self.mode = mode
        self.held = []  # write ends a stalled answer keeps open

    @dbus.service.method('org.kde.KWin.ScreenShot2', in_signature='a{sv}h', out_signature='a{sv}',
                         async_callbacks=('reply', 'error'))
    def CaptureWorkspace(self, options, pipe, reply, error):
        log('CaptureWorkspace', options)
        fd = pipe.take()
        if self.mode == 'refuse':
            os.close(fd)
            error(dbus.exceptions.DBusException('The process is not authorized to take a screenshot',
                                                name='org.kde.KWin.ScreenShot2.Error.NoAuthorized'))
            return
        width = 100000 if self.mode == 'lie' else 4
        # 'padded': each row of four pixels carries eight bytes more, as a GPU's aligned rows do.
        pad = 8 if self.mode == 'padded' else 0
        reply(dbus.Dictionary({'type': 'raw', 'width': dbus.UInt32(width), 'height': dbus.UInt32(3),
                               'stride': dbus.UInt32(16 + pad), 'format': dbus.UInt32(6)}, signature='sv'))
        data = b''.join(b''.join(bytes((10 * i, 50, 200, 255)) for i in range(4 * y, 4 * y + 4)) + b'\xee' * pad
                        for y in range(3))
        if self.mode in ('short', 'stall'):
            data = data[:20]
        os.write(fd, data)  # after the answer, as KWin does
        if self.mode == 'stall':
            self.held.append(fd)
        else:
            os.close(fd)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--screenshot', default='ok',
                        choices=['ok', 'early', 'legacy', 'cancel', 'lose-once', 'fail', 'silent', 'absent'])
    parser.add_argument('--picture', help='the picture every screenshot answers with')
    parser.add_argument('--folder', help='where the portal writes its pictures')
    parser.add_argument('--uri', help='answer with this URI instead of writing a picture')
    parser.add_argument('--shortcuts', default='ok', choices=['ok', 'refuse', 'silent-bind', 'absent'])
    parser.add_argument('--drop', action='append', default=[], help='a shortcut left out of what is bound')
    parser.add_argument('--kwin', choices=['ok', 'padded', 'short', 'stall', 'lie', 'refuse'])
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    if args.kwin:
        KWin(bus, args.kwin)
        kwin_name = dbus.service.BusName('org.kde.KWin', bus, do_not_queue=True)
    portal = Portal(bus, args)
    Control(bus, portal)
    name = dbus.service.BusName(PORTAL, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del name


if __name__ == '__main__':
    sys.exit(main())
