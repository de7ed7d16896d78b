"""The missing-runtime dialogue end to end: the real launcher.exe under Wine
with the runtime nowhere, its message boxes shown on a private X server, read
back byte for byte by the box reader (tests/win32/box_reader.cpp), found by
caption and answered with the keyboard; our own http handler records the URL
that the shell was asked to open.

  tests/e2e/dialogs/run.sh [--list] [CASE ...]

LAUNCHER_EXE names the executable under test (default
build/win32/launcher.exe); DIALOGS_TRACE=1 prints when each step of a case
happened. A PNG of every box is kept under build/screenshots/
(question.png, apology.png and notice.png, and one folder a case).

A run makes a fresh prefix (build/e2e-dialogs/prefix). The cases without a
display run first, in a wineserver session that never had one; then the
session is restarted with the private display, because Wine's desktop keeps
the display of the session's first windowed program.
"""

import os
import shutil
import signal
import sys
import time
from dataclasses import dataclass
from pathlib import Path

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
from winebench import (NO_HTTP_HANDLER, RECORDER_COMMAND, ROOT, SETTINGS, TOOLS,  # noqa: E402
                       XVFB_SETTINGS, BenchError, BoxReader, Layout, Screen, Wine, Xvfb)

LAUNCHER_EXE = Path(os.environ.get('LAUNCHER_EXE') or ROOT / 'build' / 'win32' / 'launcher.exe')
SCREENSHOTS = ROOT / 'build' / 'screenshots'
TRACE = os.environ.get('DIALOGS_TRACE') == '1'
BOX_TIMEOUT = 40    # s: the first box of a session waits for Wine's desktop to start
END_TIMEOUT = 40    # s: from the last answer to the end of the launcher and what it started


def sjis(text):
    return text.encode('cp932')


# What the user must see, written here from the Japanese and encoded
# independently of the product's byte constants, so that a wrong byte there
# shows up as a difference here.
RUNTIME_HOST = b'www.sorvanti.example'
MAKER_HOST = b'www.sorvanti-maker.example'
DOWNLOAD_URL = b'http://' + RUNTIME_HOST + b'/download/download.htm'
HOME_URL = b'http://' + RUNTIME_HOST + b'/'
MAKER_URL = b'http://' + MAKER_HOST

QUESTION_CAPTION = sjis('ランタイムがありません。')
QUESTION_BEFORE_URL = sjis('このプログラムの実行に必要な "sorvantiランタイム" がありません。\r\n\r\n'
                           '0.8 MB 程度ですが、ランタイムをダウンロードしますか？\r\n\r\n'
                           'ダウンロード先 :\r\n')
APOLOGY_CAPTION = sjis('お詫び')
APOLOGY_BEFORE_URL = sjis('申し訳ありませんが、ランタイムがないので、このプログラムを実行できません。\r\n'
                          'sorvantiランタイムについては、')
APOLOGY_AFTER_URL = sjis(' に詳しい情報があります。')
NOTICE_CAPTION = sjis('ランタイムのダウンロード')
NOTICE_BEFORE_URL = sjis('ランタイムのインストールが終了したら再びこのプログラムを実行してください。\r\n\r\n'
                         'もし、インターネットにアクセスできないできない場合は、手動にてお願いします。\r\n'
                         'sorvantiランタイムについては、')
NOTICE_AFTER_URL = sjis(' にてお尋ねください。')

# A typing slip in the expectations above would make every case fail for the
# wrong reason; the byte counts of the pieces are known.
for _piece, _count in [(QUESTION_CAPTION, 24), (QUESTION_BEFORE_URL, 143), (APOLOGY_CAPTION, 6),
                       (APOLOGY_BEFORE_URL, 106), (APOLOGY_AFTER_URL, 25), (NOTICE_CAPTION, 24),
                       (NOTICE_BEFORE_URL, 186), (NOTICE_AFTER_URL, 21),
                       (b'/download/download.htm', 22)]:
    if len(_piece) != _count:
        raise SystemExit(f'dialogs.py: an expected text has {len(_piece)} bytes, not {_count}')

IDOK, IDYES, IDNO = 1, 6, 7
WS_EX_TOPMOST = 0x8


@dataclass
class Box:
    name: str
    caption: bytes
    text: bytes
    buttons: list   # (id, is the default button)
    icon: str


QUESTION = Box('question', QUESTION_CAPTION, QUESTION_BEFORE_URL + DOWNLOAD_URL + b'\r\n',
               [(IDYES, True), (IDNO, False)], 'question')
APOLOGY = Box('apology', APOLOGY_CAPTION, APOLOGY_BEFORE_URL + HOME_URL + APOLOGY_AFTER_URL,
              [(IDOK, True)], 'exclamation')
NOTICE = Box('notice', NOTICE_CAPTION, NOTICE_BEFORE_URL + MAKER_URL + NOTICE_AFTER_URL,
             [(IDOK, True)], 'none')
# What our recorder finds on its command line when the shell opens the page.
OPENED_DOWNLOAD_PAGE = RECORDER_COMMAND.replace(b'%1', DOWNLOAD_URL)


def escaped(data):
    """Bytes as a reader can compare them: ASCII as is, the rest \\x83\\x5c."""
    out = []
    for byte in data:
        if byte == 0x5C:
            out.append('\\\\')
        elif byte == 0x0D:
            out.append('\\r')
        elif byte == 0x0A:
            out.append('\\n')
        elif 0x20 <= byte < 0x7F:
            out.append(chr(byte))
        else:
            out.append(f'\\x{byte:02x}')
    return ''.join(out)


def as_shown(data, code_page):
    """The text that a process of that code page makes of the bytes, as Wine
    converts them: in code page 1252 the five unassigned bytes stand for the
    control characters of the same number."""
    if code_page == 'cp932':
        return data.decode('cp932', errors='replace')
    return ''.join(bytes([b]).decode('cp1252', errors='ignore') or chr(b) for b in data)


def escaped_list(items):
    return '[' + ', '.join(escaped(item) for item in items) + ']'


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b))


class CaseFailed(Exception):
    pass


@dataclass
class Case:
    name: str
    summary: str
    run: object
    display: bool = True


class Launch:
    """One run of the launcher, in a layout of its own where the runtime is
    nowhere, with the box reader watching and the checks' failures."""

    def __init__(self, bench, case, path_value, extra_environment=(), lang=None, runtime_folder=None):
        self.case = case
        self.code_page = 'cp1252' if lang == 'C.UTF-8' else 'cp932'
        self.failures = []
        wine = bench.wine
        self.layout = Layout(wine, wine.drive_c / 'cases' / case.name, LAUNCHER_EXE, path_value,
                             extra_environment)
        self.root = self.layout.root
        if runtime_folder:
            (self.root / runtime_folder).mkdir()
            shutil.copy(TOOLS / 'demo-runtime.exe', self.root / runtime_folder / 'sorvanti.exe')
        self.screen = Screen(wine.display) if wine.display else None
        self.reader = BoxReader(wine, self.root / 'boxes', lang=lang)
        self.starter = self.layout.start(wine, lang=lang)
        self.boxes_seen = 0
        self.started = time.monotonic()

    def trace(self, step):
        if TRACE:
            print(f'    {time.monotonic() - self.started:6.2f} s  {step}', flush=True)

    def fail(self, message):
        self.failures.append(message)

    def same_bytes(self, what, expected, received):
        if expected == received:
            return
        at = first_difference(expected, received)
        near = slice(max(at - 4, 0), at + 8)
        self.fail(f'{what} differs from byte {at} on ({len(expected)} bytes expected, {len(received)} received): '
                  f'expected {escaped(expected[near])}, received {escaped(received[near])}\n'
                  f'    expected: {escaped(expected)}\n'
                  f'    received: {escaped(received)}\n'
                  f'    received as text: {as_shown(received, self.code_page)}')

    def ended(self):
        return self.starter.poll() is not None

    def urls_opened(self):
        return self.layout.urls_opened()

    def nothing_opened_yet(self, fields, box):
        # The reader lists the running processes as the box shows: the
        # handler counts as started from the moment the shell created it.
        if self.urls_opened() or b'url-recorder.exe' in fields['running']:
            self.fail(f'the page was opened while the {box.name} was still showing: '
                      f'handler running: {b"url-recorder.exe" in fields["running"]}, '
                      f'recorded: {escaped_list(self.urls_opened())}')

    def expect_box(self, box, key):
        """Waits for the next box, compares it with box, photographs it and
        answers it with key. Gives the reader's fields."""
        n = self.boxes_seen + 1
        fields = self.reader.wait_box(n, BOX_TIMEOUT, give_up=self.ended)
        if fields is None:
            status = f'; the launcher had ended with exit code {self.starter.returncode}' if self.ended() else ''
            raise CaseFailed(f'box {n}, the {box.name} ({box.caption.decode("cp932")}), did not appear{status}')
        self.boxes_seen = n
        self.trace(f'box {n} read')
        if fields.get('process') != b'launcher.exe':
            self.fail(f'box {n} belongs to {fields.get("process")!r}, not to launcher.exe')
        self.same_bytes(f'the {box.name}\'s caption', box.caption, fields['caption'])
        self.same_bytes(f'the {box.name}\'s text', box.text, fields['text'])
        buttons = []
        for button in fields['button']:
            ident, default, _ = button.split(b' ', 2)
            buttons.append((int(ident), default == b'1'))
        if sorted(buttons) != sorted(box.buttons):
            self.fail(f'the {box.name}\'s buttons (id, default): expected {box.buttons}, received {buttons}')
        if fields['icon'].decode() != box.icon:
            self.fail(f'the {box.name}\'s icon: expected {box.icon}, received {fields["icon"].decode()} '
                      f'(differing pixels: {fields["icondiff"].decode()})')
        if fields['owner'] != b'0':
            self.fail(f'the {box.name} has an owner window ({fields["owner"].decode()}); expected none')
        exstyle = int(fields['style'].split()[1], 16)
        if exstyle & WS_EX_TOPMOST:
            self.fail(f'the {box.name} is topmost (system modal); expected application modal')
        self.nothing_opened_yet(fields, box)

        title = as_shown(box.caption, self.code_page)
        window = self.screen.find(title)
        if window is None:
            self.fail(f'no X window is titled {title!r}')
            window = self.screen.find(as_shown(fields['caption'], self.code_page), timeout=0)
            if window is None:
                raise CaseFailed(f'box {n} has no X window to answer')
        self.trace(f'box {n} found by caption')
        self.photograph(window, box.name)
        self.screen.press(window, key)
        if not self.reader.wait_gone(n, 10):
            raise CaseFailed(f'the {box.name} stayed open after the key {key}')
        self.trace(f'box {n} answered with {key} and gone')
        return fields

    def photograph(self, window, name):
        shot = self.screen.photograph(window, SCREENSHOTS / self.case.name / f'{name}.png')
        if self.code_page == 'cp932':
            shutil.copy(shot, SCREENSHOTS / f'{name}.png')

    def finish(self):
        """Waits for the launcher and everything it started to end, and fails
        on any box beyond those expected. Gives the launcher's exit code."""
        deadline = time.monotonic() + END_TIMEOUT
        while not self.ended() and time.monotonic() < deadline:
            extra = self.reader.wait_box(self.boxes_seen + 1, 0.2)
            if extra is not None:
                self.boxes_seen += 1
                self.fail(f'an unexpected box {self.boxes_seen}: caption {escaped(extra["caption"])}, '
                          f'text {escaped(extra["text"])}')
                window = self.screen and self.screen.find(as_shown(extra['caption'], self.code_page))
                if window:
                    self.screen.press(window, 'Return')
        if not self.ended():
            raise CaseFailed(f'the launcher had not ended {END_TIMEOUT} s after the last box')
        self.trace('launcher ended')
        self.reader.stop()
        extra = self.reader.wait_box(self.boxes_seen + 1, 0)
        if extra is not None:
            self.fail(f'an unexpected box {self.boxes_seen + 1}: caption {escaped(extra["caption"])}')
        code = self.starter.returncode
        if code in (250, 251, 252):
            raise CaseFailed(f'the starter failed ({code}): {(self.root / "starter.log").read_bytes()!r}')
        if code != 0:
            self.fail(f'exit code {code}, expected 0')
        return code

    def close(self):
        """Leaves nothing running; true when something had to be stopped."""
        left = self.starter.poll() is None
        if left:
            self.starter.kill()
            self.starter.wait()
        if self.reader.process.poll() is None:
            self.reader.stop()
        return left


def expect_download_page_opened(launch, question):
    opened = launch.urls_opened()
    if opened != [OPENED_DOWNLOAD_PAGE]:
        launch.fail(f'the shell opened {escaped_list(opened)}, expected {escaped_list([OPENED_DOWNLOAD_PAGE])}')
    if question is not None and len(opened) == 1:
        # The line after "ダウンロード先 :" and the URL that was opened: one string.
        shown = question['text'].split(b'\r\n')[-2]
        url = opened[0].rsplit(b' ', 1)[-1].strip(b'"')
        if shown != url:
            launch.fail(f'the question shows {escaped(shown)} but the shell opened {escaped(url)}')


def expect_nothing_opened(launch):
    if launch.urls_opened():
        launch.fail(f'the shell opened {escaped_list(launch.urls_opened())}, expected nothing')


def answer_no(bench, case):
    launch = bench.launch(case, b'C:\\windows;C:\\cases\\answer-no\\empty')
    launch.expect_box(QUESTION, 'n')
    launch.expect_box(APOLOGY, 'Return')
    launch.finish()
    expect_nothing_opened(launch)
    return launch


def answer_yes(bench, case):
    launch = bench.launch(case, b'C:\\cases\\answer-yes\\empty;C:\\windows\\system32')
    question = launch.expect_box(QUESTION, 'Return')
    launch.expect_box(NOTICE, 'Return')
    launch.finish()
    expect_download_page_opened(launch, question)
    return launch


def no_display(bench, case):
    launch = bench.launch(case, b'')
    launch.finish()
    expect_download_page_opened(launch, None)
    return launch


def no_http_handler(bench, case):
    bench.wine.regedit(NO_HTTP_HANDLER)
    try:
        launch = bench.launch(case, b'')
        launch.expect_box(QUESTION, 'Return')
        launch.expect_box(NOTICE, 'Return')
        launch.finish()
        expect_nothing_opened(launch)
    finally:
        bench.wine.regedit(SETTINGS)
    return launch


def code_page_1252(bench, case):
    launch = bench.launch(case, b'C:\\cases\\code-page-1252\\empty', lang='C.UTF-8')
    launch.expect_box(QUESTION, 'n')
    launch.expect_box(APOLOGY, 'Return')
    launch.finish()
    expect_nothing_opened(launch)
    return launch


def runtime_found(bench, case):
    root = b'C:\\cases\\runtime-found\\'
    record = bench.wine.drive_c / 'cases' / case.name / 'runtime-record'
    launch = bench.launch(case, root + b'empty;' + root + b'rt',
                          extra_environment=[b'SORVANTI_RECORD=' + bench.wine.winpath(record).encode()],
                          runtime_folder='rt')
    launch.finish()
    # The demo runtime's record: its own path, NUL, its command line, NUL.
    started = record.read_bytes().split(b'\0')[0::2][:-1] if record.exists() else []
    expected = [root + b'rt\\sorvanti.exe']
    if started != expected:
        launch.fail(f'runtimes started: {escaped_list(started)}, expected {escaped_list(expected)}')
    expect_nothing_opened(launch)
    return launch


CASES = [
    Case('no-display', 'no X display: MessageBoxA fails at once and the Yes road is taken, the page opened',
         no_display, display=False),
    Case('answer-no', 'the question answered No (n): the apology follows, nothing is opened', answer_no),
    Case('answer-yes', 'the question answered Yes (Return, the default): the notice, then the page', answer_yes),
    Case('no-http-handler', 'no program for http URLs: after the notice nothing more, exit code 0',
         no_http_handler),
    Case('code-page-1252', 'ANSI code page 1252: the boxes get the same Shift_JIS bytes', code_page_1252),
    Case('runtime-found', 'the runtime in the last path element: it starts, no box, nothing opened',
         runtime_found),
]


class Bench:
    def __init__(self):
        self.xvfb = Xvfb()
        self.wine = Wine()
        self.launches = []

    def launch(self, case, path_value, **options):
        launch = Launch(self, case, path_value, **options)
        self.launches.append(launch)
        return launch

    def run_case(self, case):
        start = time.monotonic()
        failures = []
        launch = None
        try:
            launch = case.run(self, case)
            failures = launch.failures
        except CaseFailed as error:
            launch = self.launches[-1] if self.launches else None
            failures = (launch.failures if launch else []) + [str(error)]
        except (BenchError, OSError) as error:
            failures = [f'bench error: {error}']
        finally:
            left_running = [launch.close() for launch in self.launches]
            self.launches = []
            if any(left_running):
                # A box left open would be taken for the next case's.
                self.wine.restart(self.wine.display)
        seconds = time.monotonic() - start
        print(f'{"FAIL" if failures else "PASS"} {case.name} ({seconds:.1f} s)', flush=True)
        for failure in failures:
            print('    ' + failure.replace('\n', '\n    '), flush=True)
        return not failures


def main(arguments):
    if arguments[:1] == ['--list']:
        for case in CASES:
            print(f'{case.name:18} {case.summary}')
        return 0
    chosen = [case for case in CASES if not arguments or case.name in arguments]
    unknown = set(arguments) - {case.name for case in CASES}
    if unknown:
        print(f'unknown case: {" ".join(sorted(unknown))} (see --list)', file=sys.stderr)
        return 2
    if not LAUNCHER_EXE.is_file():
        print(f'{LAUNCHER_EXE} does not exist (make win32 builds it)', file=sys.stderr)
        return 2

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    start = time.monotonic()
    bench = Bench()
    passed = failed = 0
    try:
        display = bench.xvfb.start()
        bench.wine.prepare()
        bench.wine.regedit(XVFB_SETTINGS)
        setup = time.monotonic() - start
        print(f'launcher under test: {LAUNCHER_EXE}; display {display}; prefix ready in {setup:.1f} s', flush=True)
        SCREENSHOTS.mkdir(parents=True, exist_ok=True)
        for with_display in (False, True):
            group = [case for case in chosen if case.display == with_display]
            if not group:
                continue
            if with_display:
                bench.wine.restart(display)
            for case in group:
                if bench.run_case(case):
                    passed += 1
                else:
                    failed += 1
    except BenchError as error:
        print(f'bench error: {error}', flush=True)
        failed = failed or 1
    finally:
        bench.wine.server_down()
        bench.xvfb.stop()
    print(f'time: {time.monotonic() - start:.1f} s in all; screenshots in {SCREENSHOTS}')
    print(f'dialogs: {passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
