"""One case's world: its folders and files, how the launcher is started in
it, what is expected, and the checks of what happened.

A case is a function that receives a Sandbox and lays the case out through
it. Names inside the sandbox are written with "/" and are relative to the
case's own folder, which Windows sees as T:\\<case>\\; a name that begins with
a drive letter ("R:/demo.exe") lies on a drive that the case maps for
itself. s.win(name) gives the bytes that Windows programs see for a name, in
the case's ANSI code page.
"""

import os
import re
import shutil
import struct

# The product's fixed interface.
RUNTIME_SWITCH = b'" -runtime "'
DOWNLOAD_PAGE = b'http://www.sorvanti.example/download/download.htm'

CODE_PAGES = {
    # code page, codec, Unix locale that gives it to Wine
    932: ('cp932', 'ja_JP.UTF-8'),
    1252: ('cp1252', 'C.UTF-8'),
}

SANDBOX_DRIVE = 'T'  # the folder of every case's sandbox
BENCH_DRIVE = 'W'    # the bench's own files: the URL recorder, the start files
RESERVED_DRIVES = {'C', SANDBOX_DRIVE, BENCH_DRIVE, 'Z'}

_DRIVE_NAME = re.compile(r'^([A-Z]):/')


def is_lead_932(byte):
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def show(data, code_page=932):
    """Bytes as readable text: printable ASCII as it is, every other byte as
    \\xNN, both bytes of a double-byte character escaped (ソ is \\x83\\x5c),
    and a backslash written \\x5c where an escape or an "x" follows it, so
    that \\xNN always means one byte."""
    pieces = []
    i = 0
    while i < len(data):
        byte = data[i]
        if code_page == 932 and is_lead_932(byte) and i + 1 < len(data):
            pieces.append('\\x%02x\\x%02x' % (byte, data[i + 1]))
            i += 2
        elif 0x20 <= byte < 0x7F:
            pieces.append(chr(byte))
            i += 1
        else:
            pieces.append('\\x%02x' % byte)
            i += 1
    for k in range(len(pieces) - 1):
        if pieces[k] == '\\' and (pieces[k + 1] == 'x' or len(pieces[k + 1]) > 1):
            pieces[k] = '\\x5c'
    return ''.join(pieces)


def compare(what, expected, received, code_page):
    """Lines that describe a difference between two byte strings, or []."""
    if expected == received:
        return []
    first = next((i for i, (a, b) in enumerate(zip(expected, received)) if a != b),
                 min(len(expected), len(received)))
    lines = ['%s differs at byte %d (expected %d bytes, received %d):'
             % (what, first, len(expected), len(received))]
    if max(len(expected), len(received)) <= 160:
        lines.append('  expected: ' + show(expected, code_page))
        lines.append('  received: ' + show(received, code_page))
    else:
        start = max(0, first - 60)
        for label, data in (('expected', expected), ('received', received)):
            piece = show(data[start:first + 60], code_page)
            lines.append('  %s, bytes %d on: %s%s%s' % (label, start, '...' if start else '', piece,
                                                    '...' if first + 60 < len(data) else ''))
    return lines


class Sandbox:
    def __init__(self, name, folder, tools, system_modules):
        self.name = name
        self.folder = folder          # Unix path of T:\<name>\
        self.tools = tools            # Unix paths of the programs under test
        # The System folder's real name, which a program started from there
        # sees as its module's folder: SysWOW64 in a 64-bit prefix.
        self.system_modules = system_modules
        self.code_page = 932
        self.drives = {}              # letter: Unix folder
        self.launcher_name = None
        self.cwd_name = 'cwd'
        self.command = None
        self.tail = b''
        self.env = []
        self.association = None       # (type, value bytes)
        self.places = set()           # 'windows', 'system': copies outside the sandbox
        self.traced = False
        self.outcome = None
        self.probes = None
        self.reads = {}
        self.query_status = None
        self.platform_refusal = None
        os.makedirs(folder)
        os.makedirs(self.unix(self.cwd_name), exist_ok=True)

    # -- names --------------------------------------------------------------

    @property
    def codec(self):
        return CODE_PAGES[self.code_page][0]

    def unix(self, name):
        match = _DRIVE_NAME.match(name)
        if match:
            return os.path.join(self.drives[match.group(1)], name[3:])
        return os.path.join(self.folder, name)

    def win(self, name):
        match = _DRIVE_NAME.match(name)
        if match:
            text = match.group(1) + ':\\' + name[3:].replace('/', '\\')
        else:
            text = '%s:\\%s\\%s' % (SANDBOX_DRIVE, self.name, name.replace('/', '\\'))
        return text.encode(self.codec)

    @property
    def record(self):
        return os.path.join(self.folder, 'runtime-record.bin')

    @property
    def url_record(self):
        return os.path.join(self.folder, 'url-record.bin')

    # -- layout -------------------------------------------------------------

    def locale_1252(self):
        """Run this case in a Western locale, ANSI code page 1252."""
        self.code_page = 1252

    def drive(self, letter):
        """Map a drive letter of the prefix to a fresh folder of this case."""
        assert letter not in RESERVED_DRIVES, letter
        self.drives[letter] = os.path.join(self.folder, 'drive-' + letter)
        os.makedirs(self.drives[letter])

    def _copy(self, program, name):
        target = self.unix(name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(program, target)

    def launcher(self, name):
        self.launcher_name = name
        self._copy(self.tools['launcher'], name)

    def runtime(self, *names):
        """Copies of the recording runtime, under any name."""
        for name in names:
            self._copy(self.tools['runtime'], name)

    def folder_named(self, *names):
        for name in names:
            os.makedirs(self.unix(name), exist_ok=True)

    def cwd(self, name):
        self.cwd_name = name
        os.makedirs(self.unix(name), exist_ok=True)

    def arguments(self, written):
        """What follows the launcher's quoted path on its command line, after a space."""
        self.tail = b' ' + written

    def command_line(self, line):
        """The launcher's whole command line, program name included."""
        self.command = line

    def path(self, value):
        self.variable(b'PATH', value)

    def variable(self, name, value):
        self.env.append(name + b'=' + value)

    def associate(self, value, kind='REG_SZ'):
        """The default value of HKCR\\svtFile\\shell\\open\\command during this case."""
        self.association = (kind, value)

    def system_copy(self, place):
        """A runtime in the prefix's Windows ('windows') or System ('system') folder."""
        assert place in ('windows', 'system')
        self.places.add(place)

    # -- expectations -------------------------------------------------------

    def own_path(self):
        return self.win(self.launcher_name)

    def launch_line(self, runtime, passed=b'', own=None):
        """The runtime's command line for a start of the copy `runtime`."""
        return b'"' + runtime + RUNTIME_SWITCH + (self.own_path() if own is None else own) + b'"' + passed

    def expect_start(self, copy, passed=b'', line=None, own=None):
        """Exactly one start, of this copy (a sandbox name, or Windows bytes),
        with the full command line: `passed` is what follows the own path."""
        module = copy if isinstance(copy, bytes) else self.win(copy)
        self.outcome = ('start', module, line if line is not None else self.launch_line(module, passed, own))

    def expect_quiet_end(self):
        """No runtime started and no dialogue held."""
        self.outcome = ('quiet',)

    def expect_dialogue(self):
        """No runtime started; the dialogue ran and opened the download page."""
        self.outcome = ('dialogue',)

    # The checks below read the launcher's platform calls from Wine's relay
    # trace, which costs the case about a second.

    def expect_probes(self, *names):
        """The runtime's paths that the launcher tests, in order."""
        self.traced = True
        self.probes = [n if isinstance(n, bytes) else self.win(n) for n in names]

    def expect_reads(self, registry=None, path=None):
        """How often the association key is opened and `path` is read."""
        self.traced = True
        if registry is not None:
            self.reads['RegOpenKeyExA'] = registry
        if path is not None:
            self.reads['GetEnvironmentVariableA'] = path

    def expect_query_status(self, status):
        """The status of the launcher's query of the association value."""
        self.traced = True
        self.query_status = status

    def may_be_refused_by_platform(self, why, error):
        """Wine may refuse to start the launcher at all here, with this error
        of CreateProcess; then the case checks that refusal and says so,
        instead of the outcome."""
        self.platform_refusal = (why, error)

    # -- the start ----------------------------------------------------------

    def start_file(self):
        """The starter's start file: application, command line, directory, environment."""
        application = self.win(self.launcher_name)
        line = self.command if self.command is not None else b'"' + application + b'"' + self.tail
        env = [b'SORVANTI_RECORD=' + self.win('runtime-record.bin'),
               b'URL_RECORD=' + self.win('url-record.bin')] + self.env
        if self.traced:
            env.append(b'WINEDEBUG=-all,+timestamp,+relay')
        fields = [application, line, self.win(self.cwd_name)] + env + [b'']
        for field in fields[:-1]:
            assert b'\0' not in field, field
        return b''.join(f + b'\0' for f in fields)

    # -- checks -------------------------------------------------------------

    def refused(self, status, stderr):
        return status == 250 and \
            'starter: CreateProcess failed with error %d\n' % self.platform_refusal[1] in stderr

    def check(self, status, stderr, recorder_line):
        """Problems found after the run, as lines of text; [] when it passed."""
        cp = self.code_page
        if self.platform_refusal and self.refused(status, stderr):
            if os.path.exists(self.record) or os.path.exists(self.url_record):
                return ['the start was refused, yet something ran']
            return []
        problems = []
        if status != 0:
            meaning = {250: 'the starter could not start the launcher',
                       251: 'the starter could not read its start file',
                       252: 'processes were still running after a minute'}.get(status, 'the launcher\'s exit code')
            problems.append('exit code %d (%s), expected 0' % (status, meaning))
            problems += ['  ' + line for line in stderr.splitlines() if line.startswith('starter:')]
        starts = read_records(self.record)
        urls = read_records(self.url_record)
        kind = self.outcome[0]
        if kind == 'start':
            _, module, line = self.outcome
            if len(starts) != 2:
                problems.append('the runtime was started %s, expected once' % times(len(starts) // 2))
            if starts:
                problems += compare('the started copy (its module path)', module, starts[0], cp)
                problems += compare('the runtime\'s command line', line, starts[1], cp)
        elif starts:
            problems.append('the runtime was started %s, expected never' % times(len(starts) // 2))
            for i in range(0, len(starts), 2):
                problems.append('  started: ' + show(starts[i], cp))
                problems.append('  with:    ' + show(starts[i + 1], cp))
        if kind == 'dialogue':
            if len(urls) == 1:
                problems += compare('what the shell opened', recorder_line, urls[0], cp)
            else:
                problems.append('the shell opened the download page %s, expected once' % times(len(urls)))
        elif urls:
            problems.append('the dialogue ran (the shell opened %s), expected none'
                            % ', '.join(show(u, cp) for u in urls))
        if self.traced:
            problems += self._check_trace(parse_relay(stderr, image_range(self.tools['launcher'])))
        return problems

    def _check_trace(self, calls):
        cp = self.code_page
        if not calls:
            return ['the relay trace holds no call of the launcher']
        problems = []
        if self.probes is not None:
            probed = [c.text for c in calls if c.function == 'PathFileExistsA']
            if probed != self.probes:
                first = next((i for i, (a, b) in enumerate(zip(self.probes, probed)) if a != b),
                             min(len(self.probes), len(probed)))
                problems.append('the tested paths differ from the %d. on (expected %d, received %d):'
                                % (first + 1, len(self.probes), len(probed)))
                for label, paths in (('expected', self.probes), ('received', probed)):
                    problems += ['  %s %2d. %s' % (label, i + 1, show(p, cp)) for i, p in enumerate(paths)] \
                        or ['  %s none' % label]
        for function, count in self.reads.items():
            seen = [c for c in calls if c.function == function
                    and (function != 'GetEnvironmentVariableA' or c.text.lower() == b'path')]
            if len(seen) != count:
                problems.append('%s called %s, expected %s' % (function, times(len(seen)), times(count)))
        if self.query_status is not None:
            statuses = [c.result for c in calls if c.function == 'RegQueryValueExA']
            if statuses != [self.query_status]:
                problems.append('RegQueryValueExA answered %s, expected [%d]' % (statuses, self.query_status))
        return problems


def times(count):
    return {0: 'never', 1: 'once', 2: 'twice'}.get(count, '%d times' % count)


def read_records(path):
    """The NUL-terminated fields of a recorder's file, [] when it is absent."""
    try:
        with open(path, 'rb') as f:
            data = f.read()
    except FileNotFoundError:
        return []
    return data.split(b'\0')[:-1] if data.endswith(b'\0') else data.split(b'\0')


# -- Wine's relay trace -------------------------------------------------------

# The DLL through which the launcher imports each traced function; Wine also
# logs the inner calls that these forward to, under other DLL names.
IMPORTS = {
    'PathFileExistsA': 'shlwapi',
    'RegOpenKeyExA': 'advapi32',
    'RegQueryValueExA': 'advapi32',
    'RegCloseKey': 'advapi32',
    'GetEnvironmentVariableA': 'kernel32',
    'WinExec': 'kernel32',
    'MessageBoxA': 'user32',
    'ShellExecuteA': 'shell32',
}
RELAY_INCLUDE = ';'.join(IMPORTS)

# Lines of the relay trace, with the timestamp that +timestamp puts first.
_CALL = re.compile(r'^(?:[\d.]+:)?([0-9a-f]+):Call ([\w.]+)\.(\w+)\((.*)\) ret=([0-9a-f]+)$')
_RET = re.compile(r'^(?:[\d.]+:)?([0-9a-f]+):Ret  ([\w.]+)\.(\w+)\(\) retval=([0-9a-f]+) ret=([0-9a-f]+)$')
_ESCAPES = {'n': 0x0A, 'r': 0x0D, 't': 0x09, '\\': 0x5C, '"': 0x22}


class Call:
    def __init__(self, function, text):
        self.function = function
        self.text = text      # the first string argument, as bytes, or None
        self.result = None


def _first_string(arguments):
    """The bytes of the first quoted string in a relay line's arguments."""
    start = arguments.find('"')
    if start < 0:
        return None
    out = bytearray()
    i = start + 1
    while i < len(arguments) and arguments[i] != '"':
        c = arguments[i]
        if c == '\\' and arguments[i + 1] == 'x':
            out.append(int(arguments[i + 2:i + 4], 16))
            i += 4
        elif c == '\\':
            out.append(_ESCAPES.get(arguments[i + 1], ord(arguments[i + 1])))
            i += 2
        else:
            out += c.encode('latin-1')
            i += 1
    if arguments[i + 1:i + 4] == '...':
        out += b'<cut by the trace>'
    return bytes(out)


def image_range(path):
    """The addresses that a PE32 executable takes when loaded at its
    preferred base, as Wine loads a program's own image."""
    with open(path, 'rb') as f:
        header = f.read(4096)
    pe = struct.unpack_from('<I', header, 0x3C)[0]
    base = struct.unpack_from('<I', header, pe + 24 + 28)[0]
    size = struct.unpack_from('<I', header, pe + 24 + 56)[0]
    return base, base + size


def parse_relay(stderr, image):
    """The launcher's own traced calls, in order: those whose return address
    lies in its image (the DLLs that it loads make such calls too), from the
    thread that made the first of them (the runtime and the URL recorder
    inherit WINEDEBUG and may load at the same address, but start later and
    log from threads of their own)."""
    calls = []
    thread = None
    for line in stderr.splitlines():
        match = _CALL.match(line) or _RET.match(line)
        if not match:
            continue
        tid, dll, function, detail, caller = match.groups()
        if IMPORTS.get(function) != dll.lower() or not image[0] <= int(caller, 16) < image[1]:
            continue
        if thread is None:
            thread = tid
        if tid != thread:
            continue
        if match.re is _CALL:
            calls.append(Call(function, _first_string(detail)))
        else:
            for call in reversed(calls):
                if call.function == function and call.result is None:
                    call.result = int(detail, 16)
                    break
    return calls
