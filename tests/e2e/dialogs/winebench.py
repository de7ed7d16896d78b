"""What the dialog tests and `make demo-missing` share: a private X server,
a Wine prefix of their own with its wineserver, the layout of one launch
where the runtime is nowhere, the box reader, and the X side of a message
box (found by caption, answered with the keyboard, photographed).

The caller sources tools/wine-env.sh first, so WINEPREFIX, WINEDEBUG,
WINEDLLOVERRIDES and LANG come from the environment.
"""

import os
import shutil
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]
TOOLS = ROOT / 'build' / 'win32' / 'tools'

# The bench's programs live inside the prefix, so that their paths are short
# and ASCII wherever the checkout is.
BENCH_DIR = 'e2e'
RECORDER = 'C:\\e2e\\url-recorder.exe'
RECORDER_COMMAND = b'"' + RECORDER.encode() + b'" "%1"'

# Every prefix of ours: the recorder opens http URLs, so that no browser
# starts and the URL can be read back; no association for the runtime; and
# the Japanese system font, which Wine does not have, is the proportional IPA
# Gothic (fonts-ipafont-gothic), as close a match as that package has.
SETTINGS = r'''REGEDIT4

[-HKEY_CLASSES_ROOT\svtFile]

[HKEY_CLASSES_ROOT\http\shell\open\command]
@="\"C:\\e2e\\url-recorder.exe\" \"%1\""

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAPGothic"
'''

# On a private X server, which runs no window manager: Wine draws the frames
# itself, so that a screenshot shows each box's caption; and no window is
# managed, since Wine waits two seconds for a window manager to withdraw
# every managed window that closes.
XVFB_SETTINGS = r'''REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
"Managed"="N"
'''

NO_HTTP_HANDLER = r'''REGEDIT4

[-HKEY_CLASSES_ROOT\http]
'''


class BenchError(Exception):
    pass


class Xvfb:
    """An X server of our own on a display number that it picks itself."""

    def __init__(self):
        self.process = None
        self.display = None

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, 'rb') as pipe:
            number = pipe.readline().strip()
        if not number.isdigit():
            self.stop()
            raise BenchError('Xvfb did not start')
        self.display = ':' + number.decode()
        return self.display

    def stop(self):
        if self.process is None:
            return
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process = None


def display_works(display):
    if not display:
        return False
    try:
        return subprocess.run(['xdotool', 'getdisplaygeometry'], env=dict(os.environ, DISPLAY=display),
                              capture_output=True, timeout=10).returncode == 0
    except subprocess.TimeoutExpired:
        return False


class Wine:
    """The prefix named by WINEPREFIX and its wineserver. A session's X
    display is fixed by its first windowed program (Wine's desktop keeps it),
    so a session is either with one display or without one throughout."""

    def __init__(self):
        self.prefix = Path(os.environ['WINEPREFIX'])
        self.drive_c = self.prefix / 'drive_c'
        self.display = None

    def environment(self, display=None, lang=None):
        env = dict(os.environ)
        env.pop('DISPLAY', None)
        if display:
            env['DISPLAY'] = display
        if lang:
            env['LANG'] = lang
        return env

    def prepare(self, fresh=True):
        """The prefix with the bench's programs and settings, made anew
        unless fresh is false and it exists; leaves a session without a
        display running."""
        if fresh and self.prefix.exists():
            self.server_down()
            shutil.rmtree(self.prefix)
        if not (self.prefix / 'system.reg').exists():
            self.prefix.mkdir(parents=True, exist_ok=True)
            subprocess.run(['wineboot', '-i'], env=self.environment(), check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server_up(None)
        bench = self.drive_c / BENCH_DIR
        bench.mkdir(exist_ok=True)
        for name in ('starter.exe', 'url-recorder.exe', 'box-reader.exe', 'demo-runtime.exe'):
            shutil.copy(TOOLS / name, bench / name)
        self.regedit(SETTINGS)

    def server_up(self, display):
        self.display = display
        subprocess.run(['wineserver', '-p'], env=self.environment(display), check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def server_down(self):
        """Ends the session: every Windows program of the prefix ends."""
        env = self.environment()
        subprocess.run(['wineserver', '-k'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(['wineserver', '-w'], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def restart(self, display):
        self.server_down()
        self.server_up(display)

    def regedit(self, text):
        path = self.drive_c / BENCH_DIR / 'settings.reg'
        path.write_bytes(text.replace('\n', '\r\n').encode('ascii'))
        subprocess.run(['wine', 'regedit', '/S', self.winpath(path)], env=self.environment(self.display),
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def winpath(self, path):
        """The Windows spelling of a path: C: inside the prefix, Z: elsewhere."""
        path = Path(path).resolve()
        try:
            return 'C:\\' + '\\'.join(path.relative_to(self.drive_c.resolve()).parts)
        except ValueError:
            return 'Z:' + str(path).replace('/', '\\')

    def start(self, program, *arguments, lang=None, log=None):
        """Starts a Windows program in the current session; `wine` returns
        when the program has ended. Its output goes to the file log."""
        output = open(log, 'ab') if log else subprocess.DEVNULL
        try:
            return subprocess.Popen(['wine', program, *arguments], env=self.environment(self.display, lang),
                                    stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.STDOUT)
        finally:
            if log:
                output.close()


def start_file_bytes(application, command_line, directory, environment):
    """The starter's file of NUL-terminated fields (see tests/win32/starter.cpp):
    all arguments are bytes, environment a list of b'NAME=value'."""
    fields = [application, command_line, directory, *environment, b'']
    return b''.join(field + b'\0' for field in fields)


class Layout:
    """The folders of one launch, under root inside the prefix, where the
    runtime is nowhere: not beside the launcher (app), not in app\\bin or in
    app's parent, not in the current directory (work); with no association
    and `path` as given (its elements are the caller's to choose).

    The starter gives the launcher exactly this environment: `path`,
    URL_RECORD (where our http handler writes the URL it was asked to open),
    DISPLAY when the session has one, and the extra entries."""

    def __init__(self, wine, root, launcher_exe, path_value, extra_environment=()):
        self.root = Path(root)
        if self.root.exists():
            shutil.rmtree(self.root)
        for folder in ('app', 'work', 'empty'):
            (self.root / folder).mkdir(parents=True)
        shutil.copy(launcher_exe, self.root / 'app' / 'launcher.exe')
        self.url_record = self.root / 'url-record'
        self.exe = wine.winpath(self.root / 'app' / 'launcher.exe').encode()
        environment = [b'path=' + path_value, b'URL_RECORD=' + wine.winpath(self.url_record).encode()]
        if wine.display:
            environment.append(b'DISPLAY=' + wine.display.encode())
        environment += list(extra_environment)
        self.start_file = self.root / 'launch.start'
        self.start_file.write_bytes(start_file_bytes(self.exe, b'"' + self.exe + b'"',
                                                     wine.winpath(self.root / 'work').encode(), environment))

    def start(self, wine, lang=None):
        """Starts the launcher through the starter, which ends when the
        launcher and everything it started have ended."""
        return wine.start(str(wine.drive_c / BENCH_DIR / 'starter.exe'), wine.winpath(self.start_file),
                          lang=lang, log=self.root / 'starter.log')

    def urls_opened(self):
        """The command lines that our http handler was started with."""
        if not self.url_record.exists():
            return []
        return self.url_record.read_bytes().split(b'\0')[:-1]


def parse_box(record):
    """A box reader's record: pairs of NUL-terminated fields. Gives a dict of
    name to value, and to a list of values for the repeated fields."""
    parts = record.split(b'\0')[:-1]
    box = {'button': [], 'running': []}
    for name, value in zip(parts[0::2], parts[1::2]):
        name = name.decode()
        if isinstance(box.get(name), list):
            box[name].append(value)
        else:
            box[name] = value
    return box


class BoxReader:
    """tests/win32/box_reader.cpp run for one launch: it writes down each
    message box that appears, in the order of appearance."""

    def __init__(self, wine, directory, lang=None):
        self.directory = Path(directory)
        self.directory.mkdir(parents=True, exist_ok=True)
        self.process = wine.start(str(wine.drive_c / BENCH_DIR / 'box-reader.exe'),
                                  wine.winpath(self.directory), lang=lang,
                                  log=self.directory / 'box-reader.log')

    def box_path(self, n):
        return self.directory / f'box-{n}'

    def wait_box(self, n, timeout, give_up=None):
        """The n-th box's fields, or None when it did not appear in time or
        give_up() became true first."""
        deadline = time.monotonic() + timeout
        while True:
            if self.box_path(n).exists():
                return parse_box(self.box_path(n).read_bytes())
            if time.monotonic() >= deadline:
                return None
            if give_up is not None and give_up():
                # One last look: the box may have come just before.
                time.sleep(0.2)
                return parse_box(self.box_path(n).read_bytes()) if self.box_path(n).exists() else None
            time.sleep(0.05)

    def wait_gone(self, n, timeout):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if (self.directory / f'box-{n}.gone').exists():
                return True
            time.sleep(0.05)
        return False

    def stop(self):
        (self.directory / 'stop').write_bytes(b'')
        try:
            self.process.wait(15)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Screen:
    """The X side of the boxes on one display."""

    def __init__(self, display):
        self.display = display
        self.env = dict(os.environ, DISPLAY=display)

    def windows_named(self, caption):
        """The X windows whose title is exactly the caption (text). Compared
        here rather than by xdotool's pattern, which cannot match every
        character (the C1 controls of a caption shown in code page 1252)."""
        listed = subprocess.run(['xdotool', 'search', '--name', ''], env=self.env,
                                capture_output=True, text=True).stdout.split()
        wanted = caption.encode('utf-8')
        return [window for window in listed if window.isdigit() and self.title(window) == wanted]

    def title(self, window):
        named = subprocess.run(['xdotool', 'getwindowname', window], env=self.env, capture_output=True)
        return named.stdout[:-1] if named.returncode == 0 else None

    def find(self, caption, timeout=5):
        deadline = time.monotonic() + timeout
        while True:
            windows = self.windows_named(caption)
            if windows or time.monotonic() >= deadline:
                return windows[0] if windows else None
            time.sleep(0.1)

    def press(self, window, key):
        subprocess.run(['xdotool', 'windowfocus', '--sync', window, 'key', key], env=self.env,
                       check=True, capture_output=True, timeout=10)

    def photograph(self, window, path):
        """A PNG of the window, or of the whole screen when window is None."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        what = ['-id', window] if window else ['-root']
        shot = subprocess.run(['xwd', *what, '-silent'], env=self.env, capture_output=True, timeout=20)
        if shot.returncode != 0:
            raise BenchError('xwd failed: ' + shot.stderr.decode(errors='replace'))
        subprocess.run(['convert', 'xwd:-', str(path)], input=shot.stdout, check=True,
                       capture_output=True, timeout=20)
        return path
