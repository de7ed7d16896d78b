"""The bench's cases. Each lays out its sandbox through `s` (see sandbox.py)
and says what must happen; every case also checks exit code 0.

Unless a case says otherwise: code page 932, the current folder is the
empty folder cwd\\, there is no variable `path`, no association key, and no
runtime in the Windows or System folder.
"""

from sandbox import RUNTIME_SWITCH

ALL = []


class Case:
    def __init__(self, name, build):
        self.name = name
        self.build = build
        self.summary = (build.__doc__ or '').strip().splitlines()[0]


def case(name):
    def register(build):
        assert all(c.name != name for c in ALL), name
        ALL.append(Case(name, build))
        return build
    return register


RUNTIME = b'sorvanti.exe'
WINDOWS = b'C:\\windows\\'
SYSTEM = b'C:\\windows\\system32\\'  # as a 32-bit program sees it
LIMIT = 32767  # characters in a command line or a variable, the NUL included


def stages_1_to_7(s, own='app/', cwd='cwd/', parent=''):
    """The runtime's paths that stages 1 to 7 test, for a launcher in
    `own` whose parent is `parent`, with no association key (so stage 7
    tests the bare name against the current folder)."""
    return [s.win(own + 'sorvanti.exe'), s.win(cwd + 'sorvanti.exe'), WINDOWS + RUNTIME,
            SYSTEM + RUNTIME, s.win(own + 'bin/sorvanti.exe'), s.win(parent + 'sorvanti.exe'), RUNTIME]


def sjis(text):
    return text.encode('cp932')


# -- the order of the search ---------------------------------------------------

@case('order-own-beats-current')
def _(s):
    """The copy in the own folder is started, not the one in the current folder."""
    s.launcher('app/demo.exe')
    s.runtime('app/sorvanti.exe', 'cwd/sorvanti.exe')
    s.expect_start('app/sorvanti.exe')


@case('order-current-beats-bin')
def _(s):
    """The current folder comes before bin\\: its copy is started."""
    s.launcher('app/demo.exe')
    s.runtime('cwd/sorvanti.exe', 'app/bin/sorvanti.exe')
    s.expect_start('cwd/sorvanti.exe')


@case('order-current-is-own')
def _(s):
    """Current folder = own folder: the copy there is started exactly once."""
    s.launcher('app/demo.exe')
    s.cwd('app')
    s.runtime('app/sorvanti.exe')
    s.expect_start('app/sorvanti.exe')


@case('order-current-is-own-probed-twice')
def _(s):
    """Current folder = own folder, runtime nowhere: that folder is tested twice."""
    s.launcher('app/demo.exe')
    s.cwd('app')
    s.expect_probes(*stages_1_to_7(s, cwd='app/'))
    s.expect_dialogue()


@case('order-runtime-nowhere')
def _(s):
    """Runtime nowhere: all eight stages in order, then the dialogue, exit code 0."""
    s.launcher('app/demo.exe')
    s.folder_named('p1', 'p2')
    s.path(s.win('p1') + b';' + s.win('p2'))
    s.expect_probes(*stages_1_to_7(s), s.win('p1/sorvanti.exe'), s.win('p2/sorvanti.exe'))
    s.expect_reads(registry=1, path=1)
    s.expect_dialogue()


@case('order-windows-folder')
def _(s):
    """A runtime in the Windows folder comes before bin\\."""
    s.launcher('app/demo.exe')
    s.system_copy('windows')
    s.runtime('app/bin/sorvanti.exe')
    s.expect_start(WINDOWS + RUNTIME)


@case('order-current-beats-windows')
def _(s):
    """The current folder comes before the Windows folder."""
    s.launcher('app/demo.exe')
    s.system_copy('windows')
    s.runtime('cwd/sorvanti.exe')
    s.expect_start('cwd/sorvanti.exe')


@case('order-system-folder')
def _(s):
    """A runtime in the System folder comes before bin\\."""
    s.launcher('app/demo.exe')
    s.system_copy('system')
    s.runtime('app/bin/sorvanti.exe')
    s.expect_start(s.system_modules + RUNTIME, line=s.launch_line(SYSTEM + RUNTIME))


@case('order-windows-beats-system')
def _(s):
    """The Windows folder comes before the System folder."""
    s.launcher('app/demo.exe')
    s.system_copy('windows')
    s.system_copy('system')
    s.expect_start(WINDOWS + RUNTIME)


@case('order-bin-only')
def _(s):
    """Only bin\\ beside the launcher holds the runtime: it is started from there."""
    s.launcher('app/demo.exe')
    s.runtime('app/bin/sorvanti.exe')
    s.expect_start('app/bin/sorvanti.exe')


@case('order-bin-beats-parent')
def _(s):
    """bin\\ comes before the parent folder."""
    s.launcher('app/demo.exe')
    s.runtime('app/bin/sorvanti.exe', 'sorvanti.exe')
    s.expect_start('app/bin/sorvanti.exe')


@case('order-parent-only')
def _(s):
    """Only the parent of the own folder holds the runtime."""
    s.launcher('app/demo.exe')
    s.runtime('sorvanti.exe')
    s.expect_start('sorvanti.exe')


@case('order-parent-beats-path')
def _(s):
    """The parent folder comes before `path`, which is not read."""
    s.launcher('app/demo.exe')
    s.runtime('sorvanti.exe', 'p1/sorvanti.exe')
    s.path(s.win('p1'))
    s.expect_reads(registry=0, path=0)
    s.expect_start('sorvanti.exe')


@case('root-of-drive-bin')
def _(s):
    """A launcher at R:\\demo.exe finds the runtime in R:\\bin\\."""
    s.drive('R')
    s.launcher('R:/demo.exe')
    s.runtime('R:/bin/sorvanti.exe')
    s.expect_start('R:/bin/sorvanti.exe')


@case('root-of-drive-probes')
def _(s):
    """At the root of a drive stage 6 has no parent and tests the bare name."""
    s.drive('S')
    s.launcher('S:/demo.exe')
    s.expect_probes(s.win('S:/sorvanti.exe'), s.win('cwd/sorvanti.exe'), WINDOWS + RUNTIME,
                    SYSTEM + RUNTIME, s.win('S:/bin/sorvanti.exe'), RUNTIME, RUNTIME)
    s.expect_dialogue()


@case('runtime-is-a-folder')
def _(s):
    """A folder named sorvanti.exe is found but cannot start: the search ends quietly."""
    s.launcher('app/demo.exe')
    s.folder_named('app/sorvanti.exe')
    s.runtime('cwd/sorvanti.exe', 'app/bin/sorvanti.exe')
    s.expect_probes(s.win('app/sorvanti.exe'))
    s.expect_reads(registry=0, path=0)
    s.expect_quiet_end()


# -- the launcher's arguments ----------------------------------------------------

# What is written after the launcher's quoted path, and what the runtime then
# receives after the quoted own path. The runtime lies in bin\.
ARGUMENTS = [
    ('args-none', None, b'',
     'No arguments: the line ends with the quote after the own path.'),
    ('args-worked-example', b'-x "my file.txt" "abc" a""b', b' -x "my file.txt" abc ab',
     'The worked example: -x, my file.txt quoted, abc quoted, a""b.'),
    ('args-plain', b'-x', b' -x',
     'A plain argument is passed as it is.'),
    ('args-quoted-with-space', b'"my file.txt"', b' "my file.txt"',
     'A quoted argument with a space stays quoted.'),
    ('args-quoted-without-space', b'"abc"', b' abc',
     'A quoted argument without a space loses its quotes.'),
    ('args-empty-pair-inside', b'a""b', b' ab',
     'Two quotes inside an argument vanish.'),
    ('args-quote-then-letter', b'"a b"c', b' "a bc"',
     'A quoted run goes on with the letter after it.'),
    ('args-empty-pair-alone', b'"" x ""', b' x',
     'Two quotes standing alone are skipped, and what follows still passes.'),
    ('args-backslash-before-quote', b'"D:\\My Dir\\"', b' "D:\\My Dir\\"',
     'A backslash before the closing quote stays as it is.'),
    ('args-unclosed-quote', b'"ab c', b' "ab c"',
     'An unclosed quote takes the rest of the line.'),
    ('args-unclosed-quote-takes-separators', b'"a b\tc  d', b' "a b\tc  d"',
     'An unclosed quote keeps the tabs and spaces after it.'),
    ('args-tab-in-quotes', b'"a\tb"', b' a\tb',
     'An argument with a tab but no space gets no quotes.'),
    ('args-control-bytes-separate', b'a\x01b\x1fc\td\r\ne  f', b' a b c d e f',
     'Every byte from 0x01 to 0x20 outside quotes separates arguments.'),
    ('args-lone-quote-at-end', b'a "', b' a',
     'A lone quote at the end of the line adds no argument.'),
    ('args-trailing-backslash', b'x\\ "y\\"', b' x\\ y\\',
     'Arguments ending in a backslash keep it, unescaped.'),
    # Code page 932 knows no trail byte 0x22 or below 0x20, and Wine's UTF-16
    # conversion of the command line drops such pairs: how the splitting steps
    # over a pair is shown in code page 1252 below, and on the unit tests.
    ('args-double-byte', sjis('ソ表 "ソ 表" 表"x" ーA'), sjis(' ソ表 "ソ 表" 表x ーA'),
     'Double-byte characters (trail byte 0x5C among them) pass byte for byte.'),
]


def argument_case(name, written, passed, summary):
    def build(s):
        s.launcher('app/demo.exe')
        s.runtime('app/bin/sorvanti.exe')
        if written is not None:
            s.arguments(written)
        s.expect_start('app/bin/sorvanti.exe', passed)
    build.__doc__ = summary
    case(name)(build)


for row in ARGUMENTS:
    argument_case(*row)


@case('args-unquoted-program-name')
def _(s):
    """An unquoted program name ends at its first space; the rest is arguments."""
    s.launcher('My Apps/demo.exe')
    s.runtime('My Apps/bin/sorvanti.exe')
    s.command_line(s.win('My Apps/demo.exe') + b' -x')
    s.expect_start('My Apps/bin/sorvanti.exe', b' Apps\\demo.exe -x')


@case('args-1252-high-bytes')
def _(s):
    """Code page 1252: bytes 0x80-0xFF are single characters; a quote after 0x83 is a quote."""
    s.locale_1252()
    s.launcher('app/demo.exe')
    s.runtime('app/bin/sorvanti.exe')
    s.arguments(b'caf\xe9 \x83"a b" \xf0\xfc')
    s.expect_start('app/bin/sorvanti.exe', b' caf\xe9 "\x83a b" \xf0\xfc')


# -- names: spaces, double-byte characters, trail byte 0x5C ------------------------

@case('names-spaces-and-double-byte')
def _(s):
    """A launcher in folders with spaces and Japanese names, arguments passed on."""
    own = 'Program Files/日本語 フォルダ/起動 デモ.exe'
    s.launcher(own)
    s.runtime('Program Files/日本語 フォルダ/bin/sorvanti.exe')
    s.arguments(b'-x "my file.txt"')
    s.expect_start('Program Files/日本語 フォルダ/bin/sorvanti.exe', b' -x "my file.txt"')


@case('names-trail-5c-inside-own-folder')
def _(s):
    """ソ inside the own folder's name (0x83 0x5C) is no backslash for the own folder."""
    s.launcher('ソフト/demo.exe')
    s.runtime('ソフト/sorvanti.exe')
    s.expect_start('ソフト/sorvanti.exe')


@case('names-trail-5c-ends-own-folder')
def _(s):
    """An own folder ending in 表 counts as ending in a backslash: データ表sorvanti.exe beside it is started."""
    s.launcher('データ表/demo.exe')
    s.runtime('データ表sorvanti.exe', 'データ表/sorvanti.exe')
    s.expect_probes('データ表sorvanti.exe')
    s.expect_start('データ表sorvanti.exe')


@case('names-trail-5c-ends-own-folder-probes')
def _(s):
    """Own folder ending in 表: stages 1, 5 and 6 test データ表sorvanti.exe, データ表bin\\ and the parent."""
    s.launcher('データ表/demo.exe')
    s.runtime('データ表/sorvanti.exe', 'データ表/bin/sorvanti.exe')
    s.expect_probes('データ表sorvanti.exe', 'cwd/sorvanti.exe', WINDOWS + RUNTIME, SYSTEM + RUNTIME,
                    'データ表bin/sorvanti.exe', 'sorvanti.exe', RUNTIME)
    s.expect_dialogue()


@case('names-trail-5c-parent')
def _(s):
    """The parent of ソフト\\ ends at ソ's trail byte: ソsorvanti.exe is started, not ..\\sorvanti.exe."""
    s.launcher('ソフト/demo.exe')
    s.runtime('ソsorvanti.exe', 'sorvanti.exe')
    s.expect_start('ソsorvanti.exe')


# -- the association -----------------------------------------------------------

@case('assoc-quoted')
def _(s):
    """A quoted registered command: its folder's runtime gets the full command line."""
    s.launcher('app/demo.exe')
    s.runtime('Sorvanti Runtime/sorvanti.exe')
    s.associate(b'"' + s.win('Sorvanti Runtime/sorvanti.exe') + b'" "%1"')
    s.arguments(b'-x "my file.txt" "abc" a""b')
    s.expect_start('Sorvanti Runtime/sorvanti.exe', b' -x "my file.txt" abc ab')


@case('assoc-unquoted')
def _(s):
    """An unquoted registered command: the folder before its last backslash."""
    s.launcher('app/demo.exe')
    s.runtime('rt/sorvanti.exe')
    s.associate(s.win('rt/sorvanti.exe') + b' %1')
    s.arguments(b'-x')
    s.expect_start('rt/sorvanti.exe', b' -x')


@case('assoc-expand-sz-unexpanded')
def _(s):
    """A REG_EXPAND_SZ command is used unexpanded: %SVT%\\ is a folder in the current folder."""
    s.launcher('app/demo.exe')
    s.runtime('cwd/%SVT%/sorvanti.exe', 'expanded/sorvanti.exe')
    s.variable(b'SVT', s.win('expanded'))
    s.associate(b'%SVT%\\sorvanti.exe', kind='REG_EXPAND_SZ')
    s.expect_start('cwd/%SVT%/sorvanti.exe', line=b'"%SVT%\\sorvanti.exe' + RUNTIME_SWITCH + s.win('app/demo.exe') + b'"')


@case('assoc-folder-without-runtime')
def _(s):
    """A registered folder without the runtime: `path` is searched next."""
    s.launcher('app/demo.exe')
    s.folder_named('empty')
    s.runtime('p1/sorvanti.exe')
    s.associate(b'"' + s.win('empty/sorvanti.exe') + b'" "%1"')
    s.path(s.win('p1'))
    s.expect_probes(*stages_1_to_7(s)[:6], s.win('empty/sorvanti.exe'), s.win('p1/sorvanti.exe'))
    s.expect_start('p1/sorvanti.exe')


@case('assoc-not-read-when-bin-has-runtime')
def _(s):
    """The runtime in bin\\ is started; the registry and `path` are never read."""
    s.launcher('app/demo.exe')
    s.runtime('app/bin/sorvanti.exe', 'registered/sorvanti.exe', 'p1/sorvanti.exe')
    s.associate(b'"' + s.win('registered/sorvanti.exe') + b'" "%1"')
    s.path(s.win('p1'))
    s.expect_probes(*stages_1_to_7(s)[:5])
    s.expect_reads(registry=0, path=0)
    s.expect_start('app/bin/sorvanti.exe')


def padded_command(s, folder, size):
    """A quoted registered command of exactly `size` bytes whose runtime lies in `folder`."""
    command = b'"' + s.win(folder + '/sorvanti.exe') + b'" '
    return command + b'x' * (size - len(command))


@case('assoc-value-1022-bytes')
def _(s):
    """A registered command of 1022 bytes, the longest that is read, is used."""
    s.launcher('app/demo.exe')
    s.runtime('rt/sorvanti.exe')
    s.associate(padded_command(s, 'rt', 1022))
    s.expect_start('rt/sorvanti.exe')


@case('assoc-value-1023-bytes')
def _(s):
    """A registered command of 1023 bytes is too long: stage 7 tests the bare name, then the dialogue."""
    s.launcher('app/demo.exe')
    s.runtime('rt/sorvanti.exe')
    s.associate(padded_command(s, 'rt', 1023))
    s.expect_query_status(234)  # ERROR_MORE_DATA
    s.expect_probes(*stages_1_to_7(s))
    s.expect_dialogue()


# -- the search path --------------------------------------------------------------

@case('path-later-element')
def _(s):
    """The runtime in the second element of `path`; the third is never tested."""
    s.launcher('app/demo.exe')
    s.folder_named('p1')
    s.runtime('p2/sorvanti.exe', 'p3/sorvanti.exe')
    s.path(b';'.join(s.win(p) for p in ('p1', 'p2', 'p3')))
    s.expect_probes(*stages_1_to_7(s), s.win('p1/sorvanti.exe'), s.win('p2/sorvanti.exe'))
    s.expect_start('p2/sorvanti.exe')


@case('path-empty-element-ends-search')
def _(s):
    """"A;;B": the empty element ends the search before B, which holds the runtime."""
    s.launcher('app/demo.exe')
    s.folder_named('p1')
    s.runtime('p2/sorvanti.exe')
    s.path(s.win('p1') + b';;' + s.win('p2'))
    s.expect_probes(*stages_1_to_7(s), s.win('p1/sorvanti.exe'))
    s.expect_dialogue()


@case('path-leading-semicolon')
def _(s):
    """A `path` that begins with ";" tests nothing."""
    s.launcher('app/demo.exe')
    s.runtime('p1/sorvanti.exe')
    s.path(b';' + s.win('p1'))
    s.expect_dialogue()


@case('path-trailing-semicolon')
def _(s):
    """A trailing ";" does not hide the last element."""
    s.launcher('app/demo.exe')
    s.folder_named('p1')
    s.runtime('p2/sorvanti.exe')
    s.path(s.win('p1') + b';' + s.win('p2') + b';')
    s.expect_start('p2/sorvanti.exe')


@case('path-quotes-and-blanks-kept')
def _(s):
    """Elements are tested as written: a quoted one is not found, " p2" is cwd\\ p2\\."""
    s.launcher('app/demo.exe')
    s.runtime('p1/sorvanti.exe', 'cwd/ p2/sorvanti.exe', 'p2/sorvanti.exe')
    s.path(b'"' + s.win('p1') + b'"; p2')
    s.expect_start('cwd/ p2/sorvanti.exe',
                   line=b'" p2\\sorvanti.exe' + RUNTIME_SWITCH + s.win('app/demo.exe') + b'"')


def path_to_last(s, size):
    """A `path` of exactly `size` bytes: elements that do not exist, then the
    folder last\, which holds the runtime."""
    last = s.win('last')
    element = s.win('none/').ljust(200, b'x')
    count, spare = divmod(size - len(last), len(element) + 1)
    elements = [element + b'x' * spare] + [element] * (count - 1)
    value = b';'.join(elements + [last])
    assert len(value) == size, (len(value), size)
    return value


@case('path-1500-bytes')
def _(s):
    """A `path` of 1,500 bytes (more than the first read's 1,022) with the runtime in its last element."""
    s.launcher('app/demo.exe')
    s.runtime('last/sorvanti.exe')
    s.path(path_to_last(s, 1500))
    s.expect_start('last/sorvanti.exe')


@case('path-longest')
def _(s):
    """A `path` of 32,766 bytes, the longest the platform keeps, with the runtime in its last element."""
    s.launcher('app/demo.exe')
    s.runtime('last/sorvanti.exe')
    s.path(path_to_last(s, LIMIT - 1))
    s.expect_start('last/sorvanti.exe')


def double_byte_path(s, *elements):
    """`path` made of these elements. Wine 8's GetEnvironmentVariableA drops
    one byte off the end of the value for every double-byte character in it,
    so as many spare ";" follow as the value holds such characters: the
    elements arrive whole, and the spare ";" end the search as an empty
    element would."""
    value = b';'.join(s.win(e) for e in elements)
    pairs = len(value) - len(value.decode('cp932'))
    return value + b';' * (pairs + 1)


@case('path-trail-5c-inside-element')
def _(s):
    """An element with ソ inside (0x83 0x5C) is one element and gets its backslash."""
    s.launcher('app/demo.exe')
    s.runtime('ソフト/sorvanti.exe')
    s.path(double_byte_path(s, 'ソフト'))
    s.expect_start('ソフト/sorvanti.exe')


@case('path-trail-5c-ends-element')
def _(s):
    """An element ending in 表 gets no backslash: データ表sorvanti.exe beside it is started."""
    s.launcher('app/demo.exe')
    s.runtime('データ表sorvanti.exe', 'データ表/sorvanti.exe')
    s.path(double_byte_path(s, 'データ表'))
    s.expect_start('データ表sorvanti.exe')


# The tokenizer's lead bytes are fixed (0x81-0x9F, 0xE0-0xEF), whatever the
# code page. Before ";" such a byte takes the ";" as its second byte; in code
# page 932 that pair is no character and does not survive Wine's conversion
# of the environment, so these cases run in code page 1252, where every byte
# is a letter. Folder A<x>;B holds the runtime when the two are one element,
# A<x> when they are two.
SEMICOLON_AFTER = [(0x9F, True), (0xE0, True), (0xE9, True), (0xEF, True),
                   (0x80, False), (0xC0, False), (0xF0, False), (0xFC, False)]


def semicolon_case(byte, joins):
    def build(s):
        s.locale_1252()
        s.launcher('app/demo.exe')
        letter = bytes([byte]).decode('cp1252')
        joined, first = 'A%s;B' % letter, 'A%s' % letter
        s.runtime(joined + '/sorvanti.exe', first + '/sorvanti.exe', 'cwd/B/sorvanti.exe')
        s.path(s.win(first) + b';B')
        s.expect_start((joined if joins else first) + '/sorvanti.exe')
    build.__doc__ = 'Code page 1252: 0x%02X before ";" %s.' % (
        byte, 'joins the two elements into one' if joins else 'ends the element as usual')
    case('path-1252-%02x-%s' % (byte, 'joins' if joins else 'splits'))(build)


for row in SEMICOLON_AFTER:
    semicolon_case(*row)


# -- extremes -----------------------------------------------------------------------

def long_arguments(s, runtime_line_length):
    """Arguments that make the runtime's command line exactly this long, for a
    runtime in the own folder: what is written and what is passed on. The
    launcher's own line must stay within the limit too, so only a few
    arguments lose bytes on the way. ASCII only, so that characters and
    bytes count alike."""
    start = s.launch_line(s.win('app/sorvanti.exe'))
    shrinking = [(b'q""q', b' qq'), (b'"x"', b' x')] * 4
    same = [(b'word', b' word'), (b'"two words"', b' "two words"'), (b'-x', b' -x'),
            (b'"D:\\My Dir\\"', b' "D:\\My Dir\\"')]
    written, passed = [], b''
    for w, p in shrinking:
        written.append(w)
        passed += p
    i = 0
    while len(start) + len(passed) + 20 < runtime_line_length:
        w, p = same[i % len(same)]
        written.append(w)
        passed += p
        i += 1
    pad = runtime_line_length - len(start) - len(passed) - 1
    written.append(b'z' * pad)
    passed += b' ' + b'z' * pad
    written = b' '.join(written)
    assert len(start + passed) == runtime_line_length
    assert len(b'"' + s.win('app/demo.exe') + b'" ' + written) < LIMIT
    return written, passed


@case('cmdline-runtime-line-longest')
def _(s):
    """A runtime command line of 32,766 characters, the longest the platform starts, passed whole."""
    s.launcher('app/demo.exe')
    s.runtime('app/sorvanti.exe')
    written, passed = long_arguments(s, LIMIT - 1)
    s.arguments(written)
    s.expect_start('app/sorvanti.exe', passed)


@case('cmdline-runtime-line-too-long')
def _(s):
    """A runtime command line of 32,767 characters cannot start: the search ends quietly, no dialogue."""
    s.launcher('app/demo.exe')
    s.runtime('app/sorvanti.exe', 'app/bin/sorvanti.exe')
    written, _ = long_arguments(s, LIMIT)
    s.arguments(written)
    s.expect_probes('app/sorvanti.exe')
    s.expect_quiet_end()


def launcher_of_length(s, size, file_name, letter='d'):
    """A sandbox name for the launcher whose Windows path has `size` bytes:
    folders of at most 100 bytes made of `letter`, topped up with "d"."""
    room = size - len(s.win(file_name))  # for the folders, each with its backslash
    width = len(letter.encode(s.codec))
    parts = []
    while room > 0:
        take = 100 if room > 102 else (99 if room == 102 else room - 1)
        parts.append(letter * (take // width) + 'd' * (take % width))
        room -= take + 1
    name = '/'.join(parts + [file_name])
    assert len(s.win(name)) == size, (len(s.win(name)), size)
    return name


def long_launcher_case(name, size, file_name, letter, summary, refused=False, cut=None):
    def build(s):
        own = launcher_of_length(s, size, file_name, letter=letter)
        s.launcher(own)
        folder = own.rsplit('/', 1)[0]
        s.runtime(folder + '/sorvanti.exe')
        if refused:
            # Wine, like Windows without long-path support, refuses to start
            # any program whose path has 260 characters or more
            # (CreateProcess fails with error 193), so here the case can only
            # check that refusal. The byte-length cases fill the buffer all
            # the same.
            s.may_be_refused_by_platform('it starts no program at a path of 260 characters', error=193)
        if cut is None:
            s.expect_start(folder + '/sorvanti.exe')
        else:
            s.expect_start(folder + '/sorvanti.exe', own=s.win(own)[:cut])
    build.__doc__ = summary
    case(name)(build)


# Wine's GetModuleFileNameA fills the whole buffer when the path does not fit
# with its NUL, and returns the buffer's size: so a path of 261 bytes is still
# read whole into the launcher's 261-byte buffer, and one of 262 bytes arrives
# cut to its first 261 bytes. (Windows would keep the last byte for a NUL.)
LONG_LAUNCHERS = [
    ('launcher-path-259-chars', 259, 'launcher-259.exe', 'd',
     'A launcher path of 259 characters: found, and passed on whole after -runtime.', False, None),
    ('launcher-path-260-chars', 260, 'launcher-260.exe', 'd',
     "A launcher path of 260 characters fills the own path's buffer (261 bytes with the NUL).", True, None),
    ('launcher-path-260-bytes', 260, 'launcher.exe', 'デ',
     'A launcher path of 260 bytes in fewer characters (double-byte folder names) is passed whole.', False, None),
    ('launcher-path-261-bytes', 261, 'launcher.exe', 'デ',
     "A launcher path of 261 bytes fills the own path's buffer without its NUL: passed whole.", False, None),
    ('launcher-path-262-bytes', 262, 'launcher.exe', 'デ',
     "A launcher path of 262 bytes: the own path is what the 261-byte buffer holds.", False, 261),
]

for row in LONG_LAUNCHERS:
    long_launcher_case(*row)
