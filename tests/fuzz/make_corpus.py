#!/usr/bin/env python3
"""Writes the committed seed corpus of the fuzz targets (tests/fuzz/corpus/).

Each seed is one case worth starting from; the fuzzer's own finds go to a
scratch folder under build/ and are never committed. Run it again after
changing a seed here, and commit the files it writes.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# command_line: control byte (bit 0: code page 932; bits 1-2: the runtime's
# directory), then the launcher's command line.
CP932, CP1252 = 1, 0
DIR_PLAIN, DIR_SPACED, DIR_EMPTY, DIR_TRAIL_5C = 0 << 1, 1 << 1, 2 << 1, 3 << 1

def long_line():
    # About 33,000 bytes: arguments of every kind, over the platform's limit
    # for a command line once the runtime's pieces are added.
    words = [b'-x', b'"my file.txt"', b'"abc"', b'a""b', b'""', b'\x83\x5c', b'"D:\\My Dir\\"']
    line = b'"D:\\Games\\Demo\\demo.exe"'
    i = 0
    while len(line) < 33000:
        line += b' ' + words[i % len(words)]
        i += 1
    return line

COMMAND_LINE = {
    'worked-example': bytes([CP932 | DIR_PLAIN]) +
        b'"D:\\Games\\Demo\\demo.exe" -x "my file.txt" "abc" a""b',
    'no-arguments': bytes([CP1252 | DIR_EMPTY]) + b'"C:\\App\\demo.exe"',
    'quotes': bytes([CP1252 | DIR_SPACED]) +
        b'demo.exe "a b"c "" d "D:\\My Dir\\" e""" f',
    'lone-quote-at-end': bytes([CP932 | DIR_TRAIL_5C]) + b'demo.exe a "',
    'unclosed-quote': bytes([CP1252 | DIR_PLAIN]) + b'demo.exe x "ab c\td',
    'control-bytes': bytes([CP1252 | DIR_PLAIN]) + b'demo.exe\t"a\tb"\x01x\x7fy\r\nz',
    'lead-bytes-932': bytes([CP932 | DIR_PLAIN]) + b'demo.exe \x83\x5c \x81" x\x81 y \x95\x5c\\ \x81',
    'lead-bytes-1252': bytes([CP1252 | DIR_PLAIN]) + b'demo.exe \x83\x5c \x81" x\x81 y \xe9t\xe9 \xa0',
    'long-line': bytes([CP932 | DIR_SPACED]) + long_line(),
}

# search_path: control byte (bit 0: place the runtime; bits 1-7: in which
# element), then the value of path.
def place(index):
    return 1 | index << 1

def long_value(total):
    # Elements of 30 bytes with their delimiters, cut to the given length.
    value = b''
    n = 0
    while len(value) < total:
        value += b';' if value else b''
        value += b'C:\\Long\\' + (b'%021d' % n)
        n += 1
    return value[:total]

SEARCH_PATH = {
    'two-elements': bytes([place(1)]) + b'D:\\A;D:\\B',
    'empty-element-ends': bytes([0]) + b'D:\\A;;D:\\B',
    'leading-delimiter': bytes([0]) + b';D:\\B',
    'blanks-quotes-trailing-delimiter': bytes([place(1)]) + b' D:\\A ;"D:\\B";',
    'e9-before-delimiter': bytes([place(0)]) + b'D:\\Caf\xe9;D:\\B',
    'f0-before-delimiter': bytes([place(1)]) + b'D:\\A\xf0;D:\\B\xfc;D:\\C',
    'lead-byte-at-end': bytes([place(1)]) + b'D:\\A;D:\\\x83',
    'trail-5c': bytes([place(1)]) + b'D:\\\x83\x5c;D:\\\x95\x5c;E:\\\x95\x5cA',
    'same-place-twice': bytes([place(2)]) + b'D:\\A;D:\\B;D:\\A\\;D:\\C',
    'value-1022': bytes([place(33)]) + long_value(1022),
    'value-1023': bytes([place(33)]) + long_value(1023),
    'value-1024': bytes([place(33)]) + long_value(1024),
    'value-32767': bytes([place(127)]) + long_value(32767),
}

# association: control byte (bit 0: the key exists; bit 1: it has a default
# value; bit 2: code page 932; bit 3: fill the buffer when the data does not
# fit), the value's type as four bytes, then the value's data.
KEY, VALUE, DBCS, FILL = 1, 2, 4, 8
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4

def value(control, data, kind=REG_SZ):
    return bytes([control]) + struct.pack('<I', kind) + data

def sized(length, nul):
    # A quoted command padded to the given length, the NUL counted in it.
    head = b'"D:\\Tools\\sorvanti.exe" '
    body = head + b'a' * (length - len(head) - (1 if nul else 0))
    return body + (b'\0' if nul else b'')

ASSOCIATION = {
    'quoted-command': value(KEY | VALUE, b'"D:\\Program Files\\Tools\\sorvanti.exe" "%1"\0'),
    'unquoted-command': value(KEY | VALUE, b'D:\\Tools\\sorvanti.exe %1'),
    'backslash-in-arguments': value(KEY | VALUE | DBCS, b'D:\\Tools\\sorvanti.exe /x D:\\Data\\%1\0'),
    'no-closing-quote': value(KEY | VALUE, b'"D:\\Tools\\sorvanti.exe\0'),
    'lone-quote': value(KEY | VALUE, b'"'),
    'two-quotes-first': value(KEY | VALUE, b'""D:\\x\\y.exe\0'),
    'blank-before-quote': value(KEY | VALUE, b' "D:\\x\\y.exe" %1\0'),
    'expand-sz': value(KEY | VALUE, b'%ProgramFiles%\\Tools\\sorvanti.exe "%1"\0', REG_EXPAND_SZ),
    'bare-name': value(KEY | VALUE, b'sorvanti.exe\0'),
    'roots': value(KEY | VALUE, b'\\\\server\\share\\x.exe'),
    'drive-relative': value(KEY | VALUE, b'C:x.exe'),
    'trail-5c-932': value(KEY | VALUE | DBCS, b'D:\\Demo\x83\x5c\\demo\x83\x5cx.exe\0'),
    'trail-5c-1252': value(KEY | VALUE, b'D:\\Demo\x83\x5c\\demo\x83\x5cx.exe\0'),
    'nul-inside': value(KEY | VALUE, b'D:\\A\\b.exe\0D:\\C\\d\\e'),
    'dword': value(KEY | VALUE, b'\x01\x00\x00\x00', REG_DWORD),
    'no-default-value': value(KEY, b'D:\\A\\b.exe\0'),
    'no-key': value(VALUE, b'D:\\A\\b.exe\0'),
    'text-1022-with-nul': value(KEY | VALUE, sized(1023, True)),
    'text-1023-without-nul': value(KEY | VALUE, sized(1023, False)),
    'text-1023-with-nul': value(KEY | VALUE | FILL, sized(1024, True)),
    'text-1024-without-nul': value(KEY | VALUE | FILL, sized(1024, False), REG_BINARY),
}

def write(target, seeds):
    folder = os.path.join(HERE, 'corpus', target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)

write('command_line', COMMAND_LINE)
write('search_path', SEARCH_PATH)
write('association', ASSOCIATION)
