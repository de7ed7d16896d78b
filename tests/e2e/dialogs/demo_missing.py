"""make demo-missing: the missing-runtime dialogue for a person to try. The
launcher runs under Wine with the runtime nowhere, in the prefix
build/wine-demo-missing (kept between tries), where a recorder stands in for
the web browser.

With a working DISPLAY the boxes appear there and the person answers them.
Otherwise a private X server shows them, both roads are taken automatically
(No, then Yes), and a PNG of every box is kept under build/demo-missing/.
"""

import os
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True   # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
from winebench import (ROOT, XVFB_SETTINGS, BoxReader, Layout, Screen, Wine, Xvfb,  # noqa: E402
                       display_works)

LAUNCHER_EXE = Path(os.environ.get('LAUNCHER_EXE') or ROOT / 'build' / 'win32' / 'launcher.exe')
SHOTS = ROOT / 'build' / 'demo-missing'
# A window manager frames and withdraws the windows on a person's display.
MANAGED_SETTINGS = r'''REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"=-
"Managed"=-
'''
NOWHERE = b'C:\\windows;C:\\demo\\empty'   # the search path: no runtime there


def show_text(data):
    return data.decode('cp932', errors='backslashreplace').replace('\r\n', '\n')


def report_end(layout, process):
    print(f'The launcher ended with exit code {process.returncode}.')
    opened = layout.urls_opened()
    if opened:
        for command in opened:
            url = command.rsplit(b' ', 1)[-1].strip(b'"')
            print(f'The shell was asked to open {url.decode("ascii", errors="backslashreplace")} '
                  '(a recorder took it in place of the browser).')
    else:
        print('No web page was opened.')


def interactive(wine, display):
    wine.regedit(MANAGED_SETTINGS)
    wine.restart(display)
    layout = Layout(wine, wine.drive_c / 'demo', LAUNCHER_EXE, NOWHERE)
    print(f'Starting the launcher on {display}, with the runtime nowhere. Answer its boxes:')
    print('  No (いいえ) shows an apology; Yes (はい, the default) shows a notice, and after its OK')
    print('  the download page is opened.')
    process = layout.start(wine)
    process.wait()
    report_end(layout, process)


def automatic(wine):
    xvfb = Xvfb()
    try:
        display = xvfb.start()
        print(f'No usable DISPLAY: the boxes go to a private X server ({display}), answered automatically.')
        wine.regedit(XVFB_SETTINGS)
        wine.restart(display)
        screen = Screen(display)
        SHOTS.mkdir(parents=True, exist_ok=True)
        for old in SHOTS.glob('*.png'):
            old.unlink()
        for road, first_key in (('no', 'n'), ('yes', 'Return')):
            print(f'\n== Answering {road.capitalize()} ({first_key}) to the first box')
            layout = Layout(wine, wine.drive_c / 'demo', LAUNCHER_EXE, NOWHERE)
            reader = BoxReader(wine, layout.root / 'boxes')
            process = layout.start(wine)
            n = 0
            while True:
                fields = reader.wait_box(n + 1, 60, give_up=lambda: process.poll() is not None)
                if fields is None:
                    break
                n += 1
                caption = fields['caption'].decode('cp932', errors='replace')
                print(f'Box {n}: 「{caption}」')
                for line in show_text(fields['text']).split('\n'):
                    print(f'    {line}')
                window = screen.find(caption)
                shot = screen.photograph(window, SHOTS / f'{road}-{n}.png')
                key = first_key if n == 1 else 'Return'
                print(f'  screenshot: {shot.relative_to(ROOT)}; pressing {key}')
                screen.press(window, key)
                reader.wait_gone(n, 10)
            process.wait(60)
            reader.stop()
            report_end(layout, process)
        print(f'\nScreenshots of every box: {SHOTS.relative_to(ROOT)}/')
    finally:
        wine.server_down()
        xvfb.stop()


def main():
    if not LAUNCHER_EXE.is_file():
        print(f'{LAUNCHER_EXE} does not exist (make win32 builds it)', file=sys.stderr)
        return 2
    wine = Wine()
    print(f'Preparing the Wine prefix {wine.prefix.relative_to(ROOT)} (the first time takes a while)...')
    started = time.monotonic()
    wine.prepare(fresh=False)
    print(f'Ready in {time.monotonic() - started:.0f} s.')
    display = os.environ.get('DEMO_DISPLAY')
    try:
        if display_works(display):
            interactive(wine, display)
        else:
            automatic(wine)
    finally:
        wine.server_down()
    return 0


if __name__ == '__main__':
    sys.exit(main())
