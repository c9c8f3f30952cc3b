'''python-dbusmock's logind template with the scheduled shutdown and sleep.

Adds ScheduleShutdown(st), CancelScheduledShutdown() -> b and the
ScheduledShutdown (st) property as logind keeps them (a new schedule replaces
the old one; a "dry-" type reads as its plain type and never acts), and calls
on the mock interface for the tests: SetScheduleError(s) makes
ScheduleShutdown answer with that D-Bus error ("" for none), AddInhibitor(ssss)
adds an inhibitor (what, who, why, mode) that ListInhibitors reports until the
mock ends; a block inhibitor of "shutdown" makes ScheduleShutdown answer
AccessDenied, as logind does for a caller that may not override it.

Sleep as logind does it: Inhibit() hands out a lock that lasts while its fd
is open. A sleep emits PrepareForSleep(true), waits for every "sleep" delay
lock to be released (at most InhibitDelayMaxUSec), then sleeps until the test
calls Wake(), which emits PrepareForSleep(false); a new sleep lock is refused
meanwhile. Suspend() (and the other sleep methods) first resets the scheduled
shutdown, SleepByLid() does not. SetVersion(u) chooses the rule of
CancelScheduledShutdown while a sleep waits for delay locks: from 257 it
cancels that sleep too, in 252 it does not. Sleeps() tells, for each sleep,
how it began, whether it happened ("slept") or was cancelled, and what was
armed when it began to sleep: type ("dry-" prefixed for a dry run, "" for
none) and time; Fired() counts armed shutdowns that were expired on waking;
SleepState() is "awake", "delaying" or "asleep"; Inhibitors() names each
lock as "what who mode", without a trace in the call log.
'''

import os

import dbus
from gi.repository import GLib

from dbusmock import MOCK_IFACE, mockobject
from dbusmock.templates.logind import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import
from dbusmock.templates import logind as _base

BUS_NAME = _base.BUS_NAME
MAIN_OBJ = _base.MAIN_OBJ
MAIN_IFACE = _base.MAIN_IFACE
SYSTEM_BUS = True

SHUTDOWN_TYPES = ('poweroff', 'reboot', 'halt', 'kexec')


def _none():
    return dbus.Struct(('', dbus.UInt64(0)), signature='st')


def _inhibitors():
    if not hasattr(mockobject, 'inhibitors'):
        mockobject.inhibitors = []
    return mockobject.inhibitors


# UpdateProperties cannot wrap a structure; logind's own change signal is not needed here.
def _set_scheduled(mock, kind, usec, dry=False):
    mock.props[MAIN_IFACE]['ScheduledShutdown'] = dbus.Struct((kind, dbus.UInt64(usec)), signature='st')
    mock.dry = dry


def _reset_scheduled(mock):
    kind = mock.props[MAIN_IFACE]['ScheduledShutdown'][0]
    _set_scheduled(mock, '', 0)
    return bool(kind)


def _now_usec():
    return int(GLib.get_real_time())


def load(mock, parameters):
    _base.load(mock, parameters)
    mock.schedule_error = ''
    mock.dry = False
    mock.version = 252
    mock.sleep_state = 'awake'
    mock.sleep_how = ''
    mock.sleep_timeout = 0
    mock.sleeps = []
    mock.fired = 0
    mock.AddProperty(MAIN_IFACE, 'ScheduledShutdown', _none())
    mock.AddProperty(MAIN_IFACE, 'InhibitDelayMaxUSec', dbus.UInt64(parameters.get('InhibitDelayMaxUSec', 5000000)))
    # Every sleep asked over D-Bus resets a scheduled shutdown first.
    for name in ('Suspend', 'Hibernate', 'HybridSleep', 'SuspendThenHibernate'):
        mock.AddMethod(MAIN_IFACE, name, 'b', '', lambda self, _interactive, how=name: _begin_sleep(self, how, True))


def _sleep_locks():
    return [i for i in _inhibitors() if i[3] == 'delay' and 'sleep' in i[0].split(':')]


def _begin_sleep(mock, how, reset):
    if mock.sleep_state != 'awake':
        raise dbus.exceptions.DBusException('a sleep is under way', name='org.freedesktop.login1.OperationInProgress')
    if reset:
        _reset_scheduled(mock)
    mock.sleep_state = 'delaying'
    mock.sleep_how = how
    mock.props[MAIN_IFACE]['PreparingForSleep'] = True
    mock.EmitSignal(MAIN_IFACE, 'PrepareForSleep', 'b', [True])
    if _sleep_locks():
        delay_ms = int(mock.props[MAIN_IFACE]['InhibitDelayMaxUSec'] // 1000)
        def waited_enough():
            mock.sleep_timeout = 0
            return _fall_asleep(mock)

        mock.sleep_timeout = GLib.timeout_add(delay_ms, waited_enough)
    else:
        _fall_asleep(mock)


def _fall_asleep(mock):
    if mock.sleep_state != 'delaying':
        return False
    if mock.sleep_timeout:
        GLib.source_remove(mock.sleep_timeout)
        mock.sleep_timeout = 0
    mock.sleep_state = 'asleep'
    kind, usec = mock.props[MAIN_IFACE]['ScheduledShutdown']
    armed = ('dry-' + kind if mock.dry else kind) if kind else ''
    mock.sleeps.append((mock.sleep_how, 'slept', armed, dbus.UInt64(usec)))
    return False


def _end_sleep(mock):
    mock.sleep_state = 'awake'
    mock.props[MAIN_IFACE]['PreparingForSleep'] = False
    mock.EmitSignal(MAIN_IFACE, 'PrepareForSleep', 'b', [False])


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h')
def Inhibit(self, what, who, why, mode):
    # As logind: no new lock for what is already under way.
    if self.sleep_state != 'awake' and 'sleep' in what.split(':'):
        raise dbus.exceptions.DBusException('The operation inhibition has been requested for is already running',
                                            name='org.freedesktop.login1.OperationInProgress')
    fd_r, fd_w = os.pipe()
    inhibitor = (what, who, why, mode, dbus.UInt32(os.getuid()), dbus.UInt32(4243))
    _inhibitors().append(inhibitor)

    def dropped(fd, _cond):
        os.close(fd)
        _inhibitors().remove(inhibitor)
        if self.sleep_state == 'delaying' and not _sleep_locks():
            _fall_asleep(self)
        return False

    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, fd_r, GLib.IO_HUP, dropped)
    GLib.idle_add(os.close, fd_w)
    return fd_w


@dbus.service.method(MAIN_IFACE, in_signature='st', out_signature='')
def ScheduleShutdown(self, kind, usec):
    if self.schedule_error:
        raise dbus.exceptions.DBusException('refused by the test', name=self.schedule_error)
    dry = kind.startswith('dry-')
    plain = kind[4:] if dry else kind
    if plain not in SHUTDOWN_TYPES:
        raise dbus.exceptions.DBusException('Unsupported shutdown type', name='org.freedesktop.DBus.Error.InvalidArgs')
    # As logind: a block inhibitor of another user refuses the caller that may not override it.
    for what, _who, _why, mode, _uid, _pid in _inhibitors():
        if mode == 'block' and 'shutdown' in what.split(':'):
            raise dbus.exceptions.DBusException('Access denied', name='org.freedesktop.DBus.Error.AccessDenied')
    _set_scheduled(self, plain, usec, dry)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='b')
def CancelScheduledShutdown(self):
    # From 257 the call also cancels an action that waits for delay locks,
    # and while a sleep waits, that action is the sleep.
    if self.version >= 257 and self.sleep_state == 'delaying':
        if self.sleep_timeout:
            GLib.source_remove(self.sleep_timeout)
            self.sleep_timeout = 0
        kind, usec = self.props[MAIN_IFACE]['ScheduledShutdown']
        self.sleeps.append((self.sleep_how, 'cancelled', kind, dbus.UInt64(usec)))
        _end_sleep(self)
    return _reset_scheduled(self)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetScheduleError(self, name):
    self.schedule_error = name


@dbus.service.method(MOCK_IFACE, in_signature='ssss', out_signature='')
def AddInhibitor(_, what, who, why, mode):
    _inhibitors().append((what, who, why, mode, dbus.UInt32(0), dbus.UInt32(4242)))


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetVersion(self, version):
    self.version = int(version)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def SleepByLid(self):
    _begin_sleep(self, 'lid', False)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Wake(self):
    if self.sleep_state != 'asleep':
        raise dbus.exceptions.DBusException('not asleep', name='org.freedesktop.DBus.Error.Failed')
    # Expired timers run on waking: a dry run only resets, a real one would act.
    kind, usec = self.props[MAIN_IFACE]['ScheduledShutdown']
    if kind and usec <= _now_usec():
        if not self.dry:
            self.fired += 1
        _reset_scheduled(self)
    _end_sleep(self)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(ssst)')
def Sleeps(self):
    return dbus.Array(self.sleeps, signature='(ssst)')


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='u')
def Fired(self):
    return dbus.UInt32(self.fired)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='s')
def SleepState(self):
    return self.sleep_state


# "what who mode" of each lock, without a trace in the calls of the program under test.
@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Inhibitors(_):
    return dbus.Array([f'{i[0]} {i[1]} {i[3]}' for i in _inhibitors()], signature='s')
