"""The end-to-end bench: the real launcher.exe under Wine, one sandbox per
case, in a Wine prefix of its own that lives for one run.

  tests/e2e/run.sh [--list] [--jobs N] [CASE ...]

CASE is a case's name or a shell pattern ('args-*'). Environment:
LAUNCHER_EXE  the executable under test (default build/win32/launcher.exe)
E2E_KEEP=1    keep the run's folder (prefix and sandboxes) for a look after
E2E_JOBS      cases run at once (default 2)

A run makes build/e2e/run.PID/ with the prefix, the sandboxes (drive T:) and
the bench's own files (drive W:), starts the prefix's wineserver, runs the
cases world by world and removes it all again, on failure and on interrupt
too.

The ANSI code page of a Wine process follows the Unix locale of the `wine`
command that starts it, and its children inherit it; neither the locale the
prefix was made under nor LANG in the Windows environment block changes it.
Measured here: a starter run with LANG=C.UTF-8 in the prefix made under
ja_JP.UTF-8 gives the launcher code page 1252, and the next run with
ja_JP.UTF-8 gives 932 again. So one prefix serves both locales, which saves
a second wineboot (about 15 s); the code page 1252 cases run as a group of
their own all the same, so that no two locales share the prefix at once.
"""

import argparse
import concurrent.futures
import fnmatch
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cases  # noqa: E402
from sandbox import (BENCH_DRIVE, CODE_PAGES, DOWNLOAD_PAGE, RELAY_INCLUDE,  # noqa: E402
                     SANDBOX_DRIVE, Sandbox, show)

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
TOOLS = os.path.join(ROOT, 'build', 'win32', 'tools')
ASSOCIATION_KEY = r'HKCR\svtFile\shell\open\command'
RECORDER = BENCH_DRIVE + r':\url-recorder.exe'


class Interrupted(Exception):
    pass


def _interrupt(signum, frame):
    raise Interrupted('signal %d' % signum)


class Wine:
    """The run's own prefix and wineserver."""

    def __init__(self, run_folder):
        self.folder = run_folder
        self.prefix = os.path.join(run_folder, 'prefix')
        # As tools/wine-env.sh does for the demos: quiet, no Mono or Gecko
        # installers, no menu entries, no display (message boxes return at once).
        env = {k: v for k, v in os.environ.items() if not k.startswith('LC_')}
        for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'WINESERVER', 'WINELOADER'):
            env.pop(name, None)
        env.update(WINEPREFIX=self.prefix, WINEDEBUG='-all',
                   WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d')
        self.env = env
        self.server_started = False
        self.lock = threading.Lock()
        self.running = set()
        self.stopping = False

    def environment(self, code_page=932):
        return dict(self.env, LANG=CODE_PAGES[code_page][1])

    def run(self, *command, code_page=932, timeout=120, log=None):
        """Runs a command in the prefix; gives its exit status and its output.
        The output goes through a file, not a pipe: Wine's own background
        processes, when a command starts them, inherit the output and would
        keep a pipe open long after the command has ended. Each command runs
        in a process group of its own, with the Windows processes it starts,
        so that stop() can end them before their wineserver."""
        log = log or os.path.join(self.folder, 'wine-%d.log' % threading.get_ident())
        with open(log, 'w+b') as output:
            with self.lock:
                if self.stopping:
                    raise Interrupted('stopping')
                process = subprocess.Popen(command, env=self.environment(code_page), cwd=self.folder,
                                           stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                           start_new_session=True)
                self.running.add(process)
            try:
                status = process.wait(timeout)
            except subprocess.TimeoutExpired:
                self._kill(process)
                raise
            finally:
                with self.lock:
                    self.running.discard(process)
            output.seek(0)
            return status, output.read()

    @staticmethod
    def _kill(process):
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()

    def stop(self):
        """Ends every command still running; no new one starts."""
        with self.lock:
            self.stopping = True
            running = list(self.running)
        for process in running:
            self._kill(process)

    def up(self):
        os.makedirs(self.prefix)
        # Persistent from the start, so that processes do not pay for a new
        # server between cases; it ends by itself 60 s after a run that was
        # killed without its clean-up.
        subprocess.run(['wineserver', '-p60'], env=self.environment(), check=True)
        self.server_started = True
        self.run('wineboot', '-i', timeout=300)
        if not os.path.isdir(os.path.join(self.prefix, 'drive_c', 'windows')):
            raise RuntimeError('wineboot did not make the prefix')

    def map_drive(self, letter, folder):
        os.symlink(os.path.abspath(folder), os.path.join(self.prefix, 'dosdevices', letter.lower() + ':'))

    def reg(self, *arguments):
        status, output = self.run('wine', 'reg', *arguments)
        if status != 0:
            raise RuntimeError('wine reg %s failed: %s' % (' '.join(arguments), output.decode('cp932', 'replace')))
        return output.decode('cp932', 'replace')

    def system_folder(self):
        """Where a 32-bit program's System folder lies on the Unix side."""
        windows = os.path.join(self.prefix, 'drive_c', 'windows')
        wow = os.path.join(windows, 'syswow64')
        return wow if os.path.isdir(wow) else os.path.join(windows, 'system32')

    def down(self):
        self.stop()
        if self.server_started:
            subprocess.run(['wineserver', '-k'], env=self.environment(), stderr=subprocess.DEVNULL)
            subprocess.run(['wineserver', '-w'], env=self.environment(), stderr=subprocess.DEVNULL)
            self.server_started = False


class World:
    """What the cases of one group share in the prefix: the association key,
    runtimes in the Windows and System folders, and the locale."""

    def __init__(self, wine, runtime):
        self.wine = wine
        self.runtime = runtime
        self.association = None
        self.places = frozenset()

    def enter(self, key):
        association, places, _ = key
        if association != self.association:
            if association is None:
                self.wine.reg('delete', r'HKCR\svtFile', '/f')
            else:
                self._associate(*association)
            self.association = association
        for place in ('windows', 'system'):
            target = os.path.join(self._folder(place), 'sorvanti.exe')
            if place in places and place not in self.places:
                shutil.copyfile(self.runtime, target)
            elif place not in places and place in self.places:
                os.remove(target)
        self.places = places

    def _folder(self, place):
        if place == 'windows':
            return os.path.join(self.wine.prefix, 'drive_c', 'windows')
        return self.wine.system_folder()

    def _associate(self, kind, value):
        # reg.exe gets the value through Wine's Unix command line, as text;
        # reading it back proves that the bytes arrived as meant.
        text = value.decode('cp932')
        self.wine.reg('add', ASSOCIATION_KEY, '/ve', '/t', kind, '/d', text, '/f')
        shown = self.wine.reg('query', ASSOCIATION_KEY, '/ve')
        line = next((l for l in shown.splitlines() if '    %s    ' % kind in l), '')
        stored = line.split('    %s    ' % kind, 1)[-1].rstrip('\r\n')
        if stored != text:
            raise RuntimeError('the association value did not arrive: expected %s, the registry holds %s'
                               % (show(value), show(stored.encode('cp932', 'replace'))))


def world_key(s):
    return (s.association, frozenset(s.places), s.code_page)


def select(names):
    chosen = []
    for pattern in names:
        hits = [c for c in cases.ALL if fnmatch.fnmatchcase(c.name, pattern)]
        if not hits:
            sys.exit('no case is named %s (tests/e2e/run.sh --list shows them)' % pattern)
        chosen += [c for c in hits if c not in chosen]
    return chosen


def main():
    parser = argparse.ArgumentParser(description='The end-to-end bench under Wine.')
    parser.add_argument('--list', action='store_true', help='list the cases and stop')
    parser.add_argument('--jobs', type=int, default=int(os.environ.get('E2E_JOBS', '2')))
    parser.add_argument('--run-folder', default=os.path.join(ROOT, 'build', 'e2e', 'run.%d' % os.getpid()))
    parser.add_argument('cases', nargs='*')
    options = parser.parse_args()

    if options.list:
        width = max(len(c.name) for c in cases.ALL)
        for c in cases.ALL:
            print('%-*s  %s' % (width, c.name, c.summary))
        return 0
    chosen = select(options.cases) if options.cases else list(cases.ALL)

    tools = {'launcher': os.path.abspath(os.environ.get('LAUNCHER_EXE') or
                                         os.path.join(ROOT, 'build', 'win32', 'launcher.exe')),
             'runtime': os.path.join(TOOLS, 'demo-runtime.exe'),
             'starter': os.path.join(TOOLS, 'starter.exe'),
             'recorder': os.path.join(TOOLS, 'url-recorder.exe')}
    for path in tools.values():
        if not os.path.isfile(path):
            sys.exit('%s is missing: run make win32 first' % path)
    print('e2e: the launcher under test is %s' % tools['launcher'])

    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, _interrupt)
    wine = Wine(options.run_folder)
    started = time.monotonic()
    results = {}
    try:
        print('e2e: making the Wine prefix %s' % wine.prefix, flush=True)
        remove_stale_runs(os.path.dirname(options.run_folder))
        wine.up()
        prefix_time = time.monotonic() - started
        run_cases(wine, tools, chosen, max(1, options.jobs), results)
        total = time.monotonic() - started
        print('e2e: prefix ready in %.1f s; %d cases in %.1f s, %d at a time; %.1f s in all'
              % (prefix_time, len(chosen), total - prefix_time, options.jobs, total))
    except Interrupted as stop:
        print('e2e: interrupted (%s), cleaning up' % stop, flush=True)
    except Exception as error:  # the bench itself failed: every case not run counts as failed
        print('e2e: the bench failed: %s' % error, flush=True)
    finally:
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        wine.down()
        if os.environ.get('E2E_KEEP') == '1':
            open(os.path.join(options.run_folder, 'kept'), 'w').close()
            print('e2e: kept %s' % options.run_folder)
        else:
            shutil.rmtree(options.run_folder, ignore_errors=True)
    passed = sum(1 for ok in results.values() if ok)
    failed = len(chosen) - passed
    print('e2e: %d passed, %d failed' % (passed, failed))
    return 0 if failed == 0 else 1


def remove_stale_runs(parent):
    """Folders of earlier runs that were killed before their clean-up (not
    those kept on purpose)."""
    if not os.path.isdir(parent):
        return
    for name in os.listdir(parent):
        folder = os.path.join(parent, name)
        if name.startswith('run.') and name[4:].isdigit() and not pid_alive(int(name[4:])) \
                and not os.path.exists(os.path.join(folder, 'kept')):
            env = dict(os.environ, WINEPREFIX=os.path.join(folder, 'prefix'))
            if os.path.isdir(env['WINEPREFIX']):
                subprocess.run(['wineserver', '-k'], env=env, stderr=subprocess.DEVNULL)
            shutil.rmtree(folder, ignore_errors=True)


def pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        pass
    return True


def run_cases(wine, tools, chosen, jobs, results):
    sandboxes = os.path.join(wine.folder, 'sandboxes')
    bench = os.path.join(wine.folder, 'bench')
    os.makedirs(sandboxes)
    os.makedirs(bench)
    shutil.copyfile(tools['recorder'], os.path.join(bench, 'url-recorder.exe'))
    wine.map_drive(SANDBOX_DRIVE, sandboxes)
    wine.map_drive(BENCH_DRIVE, bench)
    wine.reg('add', r'HKCR\http\shell\open\command', '/ve', '/t', 'REG_SZ',
             '/d', '"%s" %%1' % RECORDER, '/f')
    wine.reg('add', r'HKCU\Software\Wine\Debug', '/v', 'RelayInclude', '/t', 'REG_SZ',
             '/d', RELAY_INCLUDE, '/f')

    # Lay every case out first; the drives that cases map must not collide.
    prepared = []
    drives = {}
    for case in chosen:
        s = Sandbox(case.name, os.path.join(sandboxes, case.name), tools,
                    ('C:\\windows\\%s\\' % os.path.basename(wine.system_folder())).encode())
        case.build(s)
        if s.outcome is None:
            raise RuntimeError('case %s says nothing of what must happen' % s.name)
        for letter, folder in s.drives.items():
            if letter in drives:
                raise RuntimeError('cases %s and %s both map %s:' % (drives[letter], s.name, letter))
            drives[letter] = s.name
            wine.map_drive(letter, folder)
        with open(os.path.join(bench, s.name + '.start'), 'wb') as f:
            f.write(s.start_file())
        prepared.append((s, '%s:\\%s.start' % (BENCH_DRIVE, s.name)))

    # Cases that share a world run together, the usual world first.
    order = []
    groups = {}
    for s, start in prepared:
        key = world_key(s)
        if key not in groups:
            groups[key] = []
            order.append(key)
        groups[key].append((s, start))
    order.sort(key=lambda k: (k[0] is not None, bool(k[1]), k[2] != 932))

    world = World(wine, tools['runtime'])
    lock = threading.Lock()

    def report(s, problems, seconds, note=None):
        with lock:
            results[s.name] = not problems
            tail = '  (%.1f s)' % seconds
            if note:
                tail += '  [%s]' % note
            print('%s %s%s' % ('PASS' if not problems else 'FAIL', s.name, tail))
            for line in problems:
                print('    ' + line)
            sys.stdout.flush()

    pool = concurrent.futures.ThreadPoolExecutor(jobs)
    try:
        for key in order:
            members = groups[key]
            try:
                world.enter(key)
            except Exception as error:
                for s, _ in members:
                    report(s, ['setting up the prefix for this case failed: %s' % error], 0)
                continue
            futures = {pool.submit(run_one, wine, tools, s, start): s for s, start in members}
            for future in concurrent.futures.as_completed(futures):
                report(futures[future], *future.result())
    finally:
        # On an interrupt, Wine.stop() ends the cases still running.
        pool.shutdown(wait=False, cancel_futures=True)


def run_one(wine, tools, s, start):
    began = time.monotonic()
    try:
        status, output = wine.run('wine', tools['starter'], start, code_page=s.code_page, timeout=150,
                                  log=os.path.join(wine.folder, 'bench', s.name + '.log'))
    except subprocess.TimeoutExpired:
        return ['the starter did not end within 150 s'], time.monotonic() - began, None
    recorder_line = b'"' + RECORDER.encode() + b'" ' + DOWNLOAD_PAGE
    stderr = output.decode('latin-1')
    problems = s.check(status, stderr, recorder_line)
    note = None
    if s.platform_refusal and s.refused(status, stderr) and not problems:
        note = 'not carried by Wine: ' + s.platform_refusal[0]
    return problems, time.monotonic() - began, note


if __name__ == '__main__':
    sys.exit(main())
