'''python-dbusmock's logind template with the scheduled shutdown.

Adds ScheduleShutdown(st), CancelScheduledShutdown() -> b and the
ScheduledShutdown (st) property as logind keeps them (a new schedule replaces
the old one), and two calls on the mock interface for the tests:
SetScheduleError(s) makes ScheduleShutdown answer with that D-Bus error ("" for
none), AddInhibitor(ssss) adds an inhibitor (what, who, why, mode) that
ListInhibitors reports until the mock ends; a block inhibitor of "shutdown"
makes ScheduleShutdown answer AccessDenied, as logind does for a caller that
may not override it.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject
from dbusmock.templates.logind import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import
from dbusmock.templates import logind as _base

BUS_NAME = _base.BUS_NAME
MAIN_OBJ = _base.MAIN_OBJ
MAIN_IFACE = _base.MAIN_IFACE
SYSTEM_BUS = True


def _none():
    return dbus.Struct(('', dbus.UInt64(0)), signature='st')


# UpdateProperties cannot wrap a structure; logind's own change signal is not needed here.
def _set_scheduled(mock, value):
    mock.props[MAIN_IFACE]['ScheduledShutdown'] = value


def load(mock, parameters):
    _base.load(mock, parameters)
    mock.schedule_error = ''
    mock.AddProperty(MAIN_IFACE, 'ScheduledShutdown', _none())


@dbus.service.method(MAIN_IFACE, in_signature='st', out_signature='')
def ScheduleShutdown(self, kind, usec):
    if self.schedule_error:
        raise dbus.exceptions.DBusException('refused by the test', name=self.schedule_error)
    # As logind: a block inhibitor of another user refuses the caller that may not override it.
    for what, _who, _why, mode, _uid, _pid in getattr(mockobject, 'inhibitors', []):
        if mode == 'block' and 'shutdown' in what.split(':'):
            raise dbus.exceptions.DBusException('Access denied', name='org.freedesktop.DBus.Error.AccessDenied')
    _set_scheduled(self, dbus.Struct((kind, dbus.UInt64(usec)), signature='st'))


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='b')
def CancelScheduledShutdown(self):
    kind = self.Get(MAIN_IFACE, 'ScheduledShutdown')[0]
    _set_scheduled(self, _none())
    return bool(kind)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetScheduleError(self, name):
    self.schedule_error = name


@dbus.service.method(MOCK_IFACE, in_signature='ssss', out_signature='')
def AddInhibitor(_, what, who, why, mode):
    if not hasattr(mockobject, 'inhibitors'):
        mockobject.inhibitors = []
    mockobject.inhibitors.append((what, who, why, mode, dbus.UInt32(0), dbus.UInt32(4242)))
