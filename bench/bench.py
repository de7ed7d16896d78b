#!/usr/bin/env python3
"""The launcher's start-up cost under Wine, against a direct start of the
runtime and against a floor program of ours.

Usage: bench.py TREE ROUNDS   (run by bench/run.sh inside a Wine prefix
where the drive B: is TREE)

Variants, each started by the stopwatch with an exact command line, current
directory and environment, and timed up to the moment the runtime runs:
  a  the launcher, the runtime in its own folder, one argument
  b  the runtime started directly, with the command line that (a) gives it
  c  the launcher, the runtime in the 50th element of a 60-element path
  d  the floor: one module-path query, one walk over the command line, one
     probe and one WinExec, with the launcher's six DLLs
  e  as (a), with 2,000 arguments of 15 bytes
The stopwatch interleaves them (a, b, c, d, e, a, b, ...) and its first round
is a warm-up that is not counted. Every variant's runtime must receive the
command line that is expected of it, built here on its own; a variant that
starts the runtime wrongly fails the bench rather than give a figure.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(REPO, 'build', 'win32')
LAUNCHER = os.path.join(BUILD, 'launcher.exe')
TOOLS = os.path.join(BUILD, 'tools')

DRIVE = 'B:\\'
ARGUMENT_COUNT = 2000


def argument(i):
    """The i-th argument, 15 bytes: B:\\f\\file-00001 and so on."""
    text = 'B:\\f\\file-%05d' % i
    assert len(text) == 15
    return text


def runtime_command_line(directory, own, arguments):
    """What the runtime must receive from a launcher at own, with the
    runtime in directory, for arguments that hold no space or quote."""
    return '"%ssorvanti.exe" -runtime "%s"%s' % (directory, own, ''.join(' ' + a for a in arguments))


def imported_dlls(path):
    out = subprocess.run(['i686-w64-mingw32-objdump', '-p', path], check=True,
                         capture_output=True, text=True).stdout
    return sorted({m.lower() for m in re.findall(r'DLL Name: (\S+)', out)})


def write_start(path, command_line, directory, environment):
    # The starter's format: application (none here: the command line names
    # it), command line, current directory, environment entries, empty entry.
    fields = ['', command_line, directory] + environment + ['']
    with open(path, 'wb') as out:
        out.write(b''.join(f.encode('ascii') + b'\0' for f in fields))


def windows(path_in_tree):
    return DRIVE + path_in_tree.replace('/', '\\')


def lay_out(tree):
    """The folders, programs and start files of every variant; gives
    (name, start file in Windows form, record path, expected command line)."""
    shutil.rmtree(tree, ignore_errors=True)
    for d in ['a', 'c/rt', 'd', 'rec', 'starts']:
        os.makedirs(os.path.join(tree, d))
    runtime = os.path.join(TOOLS, 'bench-runtime.exe')
    shutil.copy(LAUNCHER, os.path.join(tree, 'a', 'launcher.exe'))
    shutil.copy(runtime, os.path.join(tree, 'a', 'sorvanti.exe'))
    shutil.copy(LAUNCHER, os.path.join(tree, 'c', 'launcher.exe'))
    shutil.copy(runtime, os.path.join(tree, 'c', 'rt', 'sorvanti.exe'))
    shutil.copy(os.path.join(TOOLS, 'floor.exe'), os.path.join(tree, 'd', 'floor.exe'))
    shutil.copy(runtime, os.path.join(tree, 'd', 'sorvanti.exe'))

    # Elements 1-49 and 51-60 are folders that exist and hold no runtime;
    # the 50th holds it. The value must stay within the 1,022 bytes that the
    # launcher reads of the variable.
    elements = []
    for i in range(1, 61):
        if i == 50:
            elements.append(windows('c/rt'))
        else:
            name = 'c/p%02d' % i
            os.makedirs(os.path.join(tree, name))
            elements.append(windows(name))
    long_path = ';'.join(elements)
    assert len(long_path) <= 1022, len(long_path)
    usual_path = 'C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem'

    one = [argument(1)]
    many = [argument(i) for i in range(1, ARGUMENT_COUNT + 1)]
    a_own = windows('a/launcher.exe')
    d_own = windows('d/floor.exe')
    variants = [
        ('a', '"%s" %s' % (a_own, ' '.join(one)), usual_path,
         runtime_command_line(windows('a/'), a_own, one)),
        ('b', runtime_command_line(windows('a/'), a_own, one), usual_path,
         runtime_command_line(windows('a/'), a_own, one)),
        ('c', '"%s" %s' % (windows('c/launcher.exe'), ' '.join(one)), long_path,
         runtime_command_line(windows('c/rt\\'), windows('c/launcher.exe'), one)),
        ('d', '"%s" %s' % (d_own, ' '.join(one)), usual_path,
         runtime_command_line(windows('d/'), d_own, one)),
        ('e', '"%s" %s' % (a_own, ' '.join(many)), usual_path,
         runtime_command_line(windows('a/'), a_own, many)),
    ]
    # Windows' limit for a command line is 32,767 characters.
    assert all(len(v[1]) < 32767 and len(v[3]) < 32767 for v in variants)

    result = []
    for name, command_line, path, expected in variants:
        record = 'rec/%s.txt' % name
        # The same small environment for every variant but for path, so
        # that only what is measured differs between them.
        environment = ['SystemRoot=C:\\windows', 'windir=C:\\windows', 'path=' + path,
                       'BENCH_RECORD=' + windows(record)]
        start = 'starts/%s.start' % name
        write_start(os.path.join(tree, start), command_line, DRIVE, environment)
        result.append((name, windows(start), os.path.join(tree, record), expected))
    return result


def percentile(values, p):
    ordered = sorted(values)
    k = (len(ordered) - 1) * p
    low = int(k)
    high = min(low + 1, len(ordered) - 1)
    return ordered[low] + (ordered[high] - ordered[low]) * (k - low)


def machine():
    model = 'unknown CPU'
    with open('/proc/cpuinfo') as cpuinfo:
        for line in cpuinfo:
            if line.startswith('model name'):
                model = line.split(':', 1)[1].strip()
                break
    wine = subprocess.run(['wine', '--version'], capture_output=True, text=True).stdout.strip()
    qemu = 'natively'
    try:
        with open('/proc/sys/fs/binfmt_misc/qemu-i386') as entry:
            lines = entry.read().splitlines()
        if lines and lines[0] == 'enabled':
            interpreter = next((l.split(None, 1)[1] for l in lines if l.startswith('interpreter')), '?')
            version = subprocess.run([interpreter, '--version'], capture_output=True,
                                     text=True).stdout.splitlines()
            qemu = 'through %s (%s), registered in binfmt_misc' % (
                interpreter, version[0] if version else '?')
    except OSError:
        pass
    return model, os.cpu_count(), wine, qemu


def load_average():
    with open('/proc/loadavg') as f:
        return ' '.join(f.read().split()[:3])


def main():
    tree, rounds = sys.argv[1], int(sys.argv[2])
    dlls, floor_dlls = imported_dlls(LAUNCHER), imported_dlls(os.path.join(TOOLS, 'floor.exe'))
    if dlls != floor_dlls:
        sys.exit('bench: the floor imports %s, the launcher %s: not a fair floor' % (floor_dlls, dlls))

    variants = lay_out(tree)
    load_before = load_average()
    print('Timing %d rounds (and one warm-up) of %s, interleaved...' % (
        rounds, ', '.join(v[0] for v in variants)), flush=True)
    started = time.monotonic()
    stopwatch = subprocess.Popen(['wine', os.path.join(TOOLS, 'stopwatch.exe'), str(rounds + 1)] +
                                 [v[1] for v in variants], stdout=subprocess.PIPE, text=True)
    times = {v[0]: [] for v in variants}
    for line in stopwatch.stdout:
        round_number, index, microseconds = (int(x) for x in line.split())
        if round_number > 0:
            times[variants[index][0]].append(microseconds / 1000.0)
        if index == len(variants) - 1:
            print('  round %d of %d done' % (round_number, rounds), flush=True)
    if stopwatch.wait() != 0:
        sys.exit('bench: the stopwatch failed (exit code %d)' % stopwatch.returncode)
    elapsed = time.monotonic() - started
    load_after = load_average()

    for name, _, record, expected in variants:
        with open(record, 'rb') as f:
            fields = f.read().split(b'\0')
        got = fields[1].decode('latin-1') if len(fields) > 1 else None
        if got != expected:
            sys.exit('bench: variant %s gave the runtime %r, expected %r' % (
                name, (got or '')[:200], expected[:200]))
        if len(times[name]) != rounds:
            sys.exit('bench: variant %s has %d timings, expected %d' % (name, len(times[name]), rounds))

    model, cores, wine, qemu = machine()
    labels = {
        'a': 'launcher, runtime in its own folder',
        'b': 'runtime started directly',
        'c': 'launcher, runtime in element 50 of 60 in path',
        'd': 'floor (same six DLLs)',
        'e': 'launcher, as (a) with %d arguments of 15 bytes' % ARGUMENT_COUNT,
    }
    print()
    print('Machine: %s, %d cores; %s; 32-bit Wine runs %s.' % (model, cores, wine, qemu))
    print('Load average before/after: %s / %s (other work on the machine adds noise).' % (
        load_before, load_after))
    print('launcher.exe: %d bytes' % os.path.getsize(LAUNCHER))
    print('DLLs imported by the launcher and by the floor alike: %s' % ', '.join(dlls))
    print('Time from CreateProcess to the runtime running, %d runs each, in ms:' % rounds)
    print('  %-52s %8s %8s %8s %8s %8s' % ('', 'median', 'p25', 'p75', 'min', 'max'))
    medians = {}
    for name, _, _, _ in variants:
        t = times[name]
        medians[name] = statistics.median(t)
        print('  (%s) %-48s %8.1f %8.1f %8.1f %8.1f %8.1f' % (
            name, labels[name], medians[name], percentile(t, 0.25), percentile(t, 0.75), min(t), max(t)))

    def ratio(top, bottom, goal=None):
        # The per-round ratios pair runs made seconds apart: their spread
        # shows how far the noise lets the ratio of the medians be trusted.
        # Load from other work only ever adds time, so the ratio of the
        # fastest runs is a second estimate, less shaken by it.
        per_round = [x / y for x, y in zip(times[top], times[bottom])]
        value = medians[top] / medians[bottom]
        verdict = '' if goal is None else '; goal within %.2f: %s' % (
            goal, 'met' if value <= goal else 'NOT met')
        print('  (%s)/(%s) = %.3f   (per-round ratios p25 %.3f, p75 %.3f; ratio of the minimums %.3f%s)' % (
            top, bottom, value, percentile(per_round, 0.25), percentile(per_round, 0.75),
            min(times[top]) / min(times[bottom]), verdict))

    print('Ratios of the medians:')
    ratio('a', 'd', 1.05)
    ratio('c', 'a', 1.05)
    ratio('a', 'b')
    ratio('e', 'a', 1.2)
    print('Whole timing run: %.0f s.' % elapsed)


if __name__ == '__main__':
    main()
