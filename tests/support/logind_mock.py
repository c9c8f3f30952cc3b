'''python-dbusmock's logind template, made to act as systemd-logind does.

Read from src/login/logind-dbus.c, logind-action.c, logind-inhibit.c and
logind-utmp.c of systemd 252 (Debian 12) and 257 (Debian 13); each behaviour
names the function it follows. SetVersion(u) picks the release where they
differ. Nothing here acts on the machine: what logind would do is recorded
instead. An action carried out (a power-off, a reboot, a sleep) goes to
Actions(); the file logind makes at /run/nologin is the file named by the
template parameter NologinPath; a wall message goes to WallMessages().

The caller is taken for an unprivileged user with one active local session,
whatever uid the test runs under, so that polkit decides; SetPolkit(s) says
what polkit answers for the action itself: "yes" (the default for an active
session), "challenge" (auth_admin) or "no". Asking to ignore another user's
block lock is "challenge", as Debian's policy has it. Locks taken over D-Bus
carry the test's own uid; AddInhibitor(ssssu) adds another program's lock
with the uid given.

The machine's own side, for the tests: SleepByLid() is the lid switch
(manager_handle_action), Wake() ends a sleep that is under way, and the
wall-clock timers of a scheduled shutdown run only while the machine is
awake, all that expired in a sleep at once on waking, after the sleep job
has finished.
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

USEC_INFINITY = 2**64 - 1
USEC_PER_MINUTE = 60 * 1000000

SHUTDOWNS = ('poweroff', 'reboot', 'halt', 'kexec')
SLEEPS = ('suspend', 'hibernate', 'hybrid-sleep', 'suspend-then-hibernate')
# handle_action_verb_to_string()
VERBS = {'poweroff': 'power off', 'reboot': 'reboot', 'halt': 'halt', 'kexec': 'kexec reboot'}

ERR_IN_PROGRESS = 'org.freedesktop.login1.OperationInProgress'
ERR_ACCESS_DENIED = 'org.freedesktop.DBus.Error.AccessDenied'
ERR_INTERACTIVE = 'org.freedesktop.DBus.Error.InteractiveAuthorizationRequired'
ERR_INVALID_ARGS = 'org.freedesktop.DBus.Error.InvalidArgs'


def _error(name, text):
    return dbus.exceptions.DBusException(text, name=name)


def _now_usec():
    return int(GLib.get_real_time())


def _what_of(handle):
    return 'sleep' if handle in SLEEPS else 'shutdown'


class _Lock:
    def __init__(self, what, who, why, mode, uid, pid):
        self.what, self.who, self.why, self.mode, self.uid, self.pid = what, who, why, mode, uid, pid

    def row(self):
        return (self.what, self.who, self.why, self.mode, dbus.UInt32(self.uid), dbus.UInt32(self.pid))


def _locks():
    if not hasattr(mockobject, 'locks'):
        mockobject.locks = []
    return mockobject.locks


def _is_inhibited(mock, what, block, uid=None):
    '''manager_is_inhibited(): 252 passes over every lock of the caller's uid,
    257 only its "block-weak" ones; "block" asks for both block modes on 257.'''
    for lock in _locks():
        if what not in lock.what.split(':'):
            continue
        modes = ('block', 'block-weak') if block else ('delay',)
        if lock.mode not in modes:
            continue
        if uid is not None and lock.uid == uid and (mock.version < 257 or lock.mode == 'block-weak'):
            continue
        return lock
    return None


def _polkit(mock, answer, interactive):
    '''bus_verify_polkit_async(): authorized, or an error for a non-interactive call.'''
    if answer == 'yes' or (answer == 'challenge' and interactive):
        return
    if answer == 'challenge':
        raise _error(ERR_INTERACTIVE, 'Interactive authentication required.')
    raise _error(ERR_ACCESS_DENIED, 'Access denied')


def _verify_shutdown_creds(mock, handle, interactive):
    '''verify_shutdown_creds(): another user's block lock needs the
    ignore-inhibit action; on 257 a strong "block" refuses at once.'''
    offending = _is_inhibited(mock, _what_of(handle), True, os.getuid())
    if offending:
        if mock.version >= 257 and offending.mode == 'block':
            raise _error(ERR_ACCESS_DENIED, 'Access denied due to active block inhibitor')
        _polkit(mock, 'challenge', interactive)
        return
    _polkit(mock, mock.polkit, interactive)


def _update_properties(mock):
    '''property_get_scheduled_shutdown(): on 257 a delayed action shows in
    place of the schedule, with the inhibit timeout's time.'''
    props = mock.props[MAIN_IFACE]
    if mock.version >= 257 and mock.delayed:
        shown = (mock.delayed, mock.inhibit_deadline)
    else:
        shown = (mock.sched_action, mock.sched_usec)
    props['ScheduledShutdown'] = dbus.Struct((shown[0], dbus.UInt64(shown[1])), signature='st')
    props['PreparingForSleep'] = bool(mock.delayed in SLEEPS)
    props['PreparingForShutdown'] = bool(mock.delayed in SHUTDOWNS)


def _reset_scheduled_shutdown(mock):
    '''reset_scheduled_shutdown(): /run/nologin goes only when logind made it
    and nobody cleared unlink_nologin since.'''
    for source in ('shutdown_timer', 'nologin_timer'):
        setattr(mock, source, None)
    mock.sched_action = ''
    mock.sched_usec = USEC_INFINITY
    mock.dry_run = False
    if mock.unlink_nologin:
        if os.path.exists(mock.nologin_path):
            os.unlink(mock.nologin_path)
        mock.unlink_nologin = False
    _update_properties(mock)


def _warn_wall(mock, elapse, now):
    '''warn_wall() through logind_wall_tty_filter(): a sleep is not told to local terminals.'''
    if mock.sched_action in SLEEPS or not mock.sched_action:
        return
    verb = VERBS[mock.sched_action]
    if elapse > now:
        mock.walls.append(f'The system will {verb} at {elapse}!')
    else:
        mock.walls.append(f'The system will {verb} now!')


def _setup_wall_message_timer(mock):
    '''manager_setup_wall_message_timer(): at once when less than 15 minutes are left.'''
    now = _now_usec()
    elapse = mock.sched_usec
    if elapse > 0 and elapse < now:
        return
    if elapse == 0 or elapse - now < 15 * USEC_PER_MINUTE:
        _warn_wall(mock, elapse, now)


def _send_prepare_for(mock, handle, active):
    '''send_prepare_for()'''
    name = 'PrepareForSleep' if handle in SLEEPS else 'PrepareForShutdown'
    mock.EmitSignal(MAIN_IFACE, name, 'b', [active])


def _execute(mock, handle):
    '''execute_shutdown_or_sleep(): the job starts, delayed_action stays set
    until it is removed (match_job_removed); a shutdown never returns.'''
    if mock.inhibit_timeout:
        GLib.source_remove(mock.inhibit_timeout)
        mock.inhibit_timeout = 0
    mock.delayed = handle
    mock.action_job = True
    mock.actions.append((handle, mock.action_how, dbus.UInt64(_now_usec())))
    if handle in SLEEPS:
        mock.asleep = True
    _update_properties(mock)


def _dispatch_delayed(mock, timeout):
    '''manager_dispatch_delayed(): when the last delay lock goes, or at the timeout.'''
    if not mock.delayed or mock.action_job:
        return False
    if not timeout and _is_inhibited(mock, _what_of(mock.delayed), False):
        return False
    mock.inhibit_timeout = 0
    _execute(mock, mock.delayed)
    return False


def _now_or_later(mock, handle, how):
    '''bus_manager_shutdown_or_sleep_now_or_later()'''
    mock.action_how = how
    _send_prepare_for(mock, handle, True)
    delay_max = int(mock.props[MAIN_IFACE]['InhibitDelayMaxUSec'])
    if delay_max > 0 and _is_inhibited(mock, _what_of(handle), False):
        # delay_shutdown_or_sleep(): a CLOCK_MONOTONIC timeout of InhibitDelayMaxUSec
        mock.delayed = handle
        mock.inhibit_deadline = int(GLib.get_monotonic_time()) + delay_max
        mock.inhibit_timeout = GLib.timeout_add(delay_max // 1000, lambda: _dispatch_delayed(mock, True))
        _update_properties(mock)
    else:
        _execute(mock, handle)


def _do_shutdown_or_sleep(mock, handle, interactive):
    '''method_do_shutdown_or_sleep(): 252 refuses while an action is in
    progress before it checks the caller, 257 after. Both reset a scheduled
    shutdown and leave the action with time 0 as the schedule, keeping
    /run/nologin (unlink_nologin = false).'''
    in_progress = (_error(ERR_IN_PROGRESS, "There's already a shutdown or sleep operation in progress")
                   if mock.version < 257 else
                   _error(ERR_IN_PROGRESS, f'Action {mock.delayed} already in progress, refusing requested {handle} operation.'))
    if mock.delayed and mock.version < 257:
        raise in_progress
    _verify_shutdown_creds(mock, handle, bool(interactive))
    if mock.delayed:
        raise in_progress
    mock.unlink_nologin = False
    _reset_scheduled_shutdown(mock)
    mock.sched_usec = 0
    mock.sched_action = handle
    _update_properties(mock)
    _setup_wall_message_timer(mock)
    _now_or_later(mock, handle, 'call')


def _scheduled_shutdown_handler(mock):
    '''manager_scheduled_shutdown_handler(): no block lock is consulted.'''
    handle = mock.sched_action
    if mock.delayed:
        # "shutdown or sleep operation already in progress"
        _reset_scheduled_shutdown(mock)
        return
    if mock.dry_run:
        # "Running in dry run, suppressing action."
        _reset_scheduled_shutdown(mock)
        return
    _now_or_later(mock, handle, 'timer')


def _run_timers(mock):
    '''The CLOCK_REALTIME sources of manager_setup_shutdown_timers(), run while awake.'''
    if mock.asleep:
        return True
    now = _now_usec()
    if mock.nologin_timer is not None and mock.nologin_timer <= now:
        # nologin_timeout_handler()
        mock.nologin_timer = None
        with open(mock.nologin_path, 'w', encoding='utf-8') as f:
            f.write('System is going down.\n')
        mock.nologin_made = True
        mock.unlink_nologin = True
    if mock.shutdown_timer is not None and mock.shutdown_timer <= now:
        mock.shutdown_timer = None
        _scheduled_shutdown_handler(mock)
    return True


def load(mock, parameters):
    _base.load(mock, parameters)
    mock.version = 252
    mock.polkit = 'yes'
    mock.nologin_path = parameters['NologinPath']
    mock.nologin_made = False
    mock.unlink_nologin = False
    mock.delayed = ''
    mock.action_job = False
    mock.action_how = ''
    mock.asleep = False
    mock.inhibit_timeout = 0
    mock.inhibit_deadline = 0
    mock.actions = []
    mock.walls = []
    mock.shutdown_timer = None
    mock.nologin_timer = None
    mock.AddProperty(MAIN_IFACE, 'ScheduledShutdown', dbus.Struct(('', dbus.UInt64(0)), signature='st'))
    mock.AddProperty(MAIN_IFACE, 'InhibitDelayMaxUSec', dbus.UInt64(parameters.get('InhibitDelayMaxUSec', 5000000)))
    # manager_load_scheduled_shutdown() at start resets: ("", USEC_INFINITY).
    _reset_scheduled_shutdown(mock)
    for handle, method in (('poweroff', 'PowerOff'), ('reboot', 'Reboot'), ('halt', 'Halt'),
                           ('suspend', 'Suspend'), ('hibernate', 'Hibernate'), ('hybrid-sleep', 'HybridSleep'),
                           ('suspend-then-hibernate', 'SuspendThenHibernate')):
        mock.AddMethod(MAIN_IFACE, method, 'b', '',
                       lambda self, interactive, h=handle: _do_shutdown_or_sleep(self, h, interactive))
    GLib.timeout_add(50, lambda: _run_timers(mock))


@dbus.service.method(MAIN_IFACE, in_signature='ssss', out_signature='h')
def Inhibit(self, what, who, why, mode):
    '''method_inhibit(): no new lock for what is already under way; the
    lock lasts while its fd is open.'''
    if mode not in ('block', 'delay') + (('block-weak',) if self.version >= 257 else ()):
        raise _error(ERR_INVALID_ARGS, 'Invalid mode')
    if mode == 'delay' and any(w not in ('sleep', 'shutdown') for w in what.split(':')):
        raise _error(ERR_INVALID_ARGS, 'Delay inhibitors only supported for shutdown and sleep')
    if self.delayed and _what_of(self.delayed) in what.split(':'):
        raise _error(ERR_IN_PROGRESS, 'The operation inhibition has been requested for is already running')
    fd_r, fd_w = os.pipe()
    lock = _Lock(what, who, why, mode, os.getuid(), 4243)
    _locks().append(lock)

    def dropped(fd, _cond):
        os.close(fd)
        _locks().remove(lock)
        _dispatch_delayed(self, False)
        return False

    GLib.unix_fd_add_full(GLib.PRIORITY_HIGH, fd_r, GLib.IO_HUP, dropped)
    GLib.idle_add(os.close, fd_w)
    return fd_w


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='a(ssssuu)')
def ListInhibitors(_):
    return dbus.Array([lock.row() for lock in _locks()], signature='(ssssuu)')


@dbus.service.method(MAIN_IFACE, in_signature='st', out_signature='')
def ScheduleShutdown(self, kind, usec):
    '''method_schedule_shutdown() with manager_setup_shutdown_timers(): both
    timers on CLOCK_REALTIME, /run/nologin five minutes ahead
    (nologin_timeout_usec), at once for a time closer than that.'''
    dry = kind.startswith('dry-')
    plain = kind[4:] if dry else kind
    if plain not in SHUTDOWNS:
        raise _error(ERR_INVALID_ARGS, 'Unsupported shutdown type')
    _verify_shutdown_creds(self, plain, False)
    if usec == USEC_INFINITY and self.version >= 257:
        usec = _now_usec() + USEC_PER_MINUTE
    self.sched_action = plain
    self.dry_run = dry
    self.sched_usec = int(usec)
    self.shutdown_timer = int(usec)
    self.nologin_timer = max(int(usec) - 5 * USEC_PER_MINUTE, 0)
    _update_properties(self)
    _setup_wall_message_timer(self)
    _run_timers(self)


@dbus.service.method(MAIN_IFACE, in_signature='', out_signature='b')
def CancelScheduledShutdown(self):
    '''method_cancel_scheduled_shutdown(): from 257 it calls
    cancel_delayed_action() as well, which drops a sleep still waiting for
    its delay locks, without a PrepareForSleep(false).'''
    if not self.sched_action:
        return False
    if self.sched_action in SHUTDOWNS:
        self.walls.append('System shutdown has been cancelled')
    if self.version >= 257:
        if self.inhibit_timeout:
            GLib.source_remove(self.inhibit_timeout)
            self.inhibit_timeout = 0
        if not self.action_job:
            self.delayed = ''
    _reset_scheduled_shutdown(self)
    return True


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetVersion(self, version):
    self.version = int(version)
    _update_properties(self)


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def SetPolkit(self, answer):
    self.polkit = answer


@dbus.service.method(MOCK_IFACE, in_signature='ssssu', out_signature='')
def AddInhibitor(_, what, who, why, mode, uid):
    _locks().append(_Lock(what, who, why, mode, int(uid), 4242))


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='b')
def SleepByLid(self):
    '''manager_handle_action() for the lid: refused by any block lock of
    sleep, ignored while an action is in progress, and the schedule is
    left as it is.'''
    if self.delayed or _is_inhibited(self, 'sleep', True):
        return False
    _now_or_later(self, 'suspend', 'lid')
    return True


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='')
def Wake(self):
    '''The machine resumes: the sleep job is removed (match_job_removed:
    PrepareForSleep(false), delayed_action cleared), then the wall-clock
    timers that expired in the sleep run.'''
    if not self.asleep:
        raise _error('org.freedesktop.DBus.Error.Failed', 'not asleep')
    handle = self.delayed
    self.asleep = False
    self.action_job = False
    self.delayed = ''
    _update_properties(self)
    _send_prepare_for(self, handle, False)
    _run_timers(self)


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='a(sst)')
def Actions(self):
    return dbus.Array(self.actions, signature='(sst)')


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def WallMessages(self):
    return dbus.Array(self.walls, signature='s')


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='b')
def NologinMade(self):
    return self.nologin_made


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='s')
def SleepState(self):
    if self.asleep:
        return 'asleep'
    return 'delaying' if self.delayed in SLEEPS else 'awake'


# "what who mode" of each lock, without a trace in the calls of the program under test.
@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Inhibitors(_):
    return dbus.Array([f'{lock.what} {lock.who} {lock.mode}' for lock in _locks()], signature='s')
