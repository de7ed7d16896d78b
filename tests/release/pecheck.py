#!/usr/bin/env python3
"""Release checks of the launcher's executable, read from the file's own
bytes with the standard library only.

  pecheck.py check FILE [--forbid TEXT]...
      Prints what the file holds; exits 1 after one line for each fault.
      A TEXT given with --forbid (a build folder) must not occur in the file,
      in bytes or in UTF-16.
  pecheck.py self-test FILE
      Damages copies of a good FILE in one way each, in memory, and fails
      unless the checks reject every damaged copy for its own reason and
      accept the copies that only look different.
"""
import struct
import sys

SIZE_BUDGET = 65536
ALLOWED_DLLS = {'kernel32.dll', 'user32.dll', 'advapi32.dll', 'shlwapi.dll', 'shell32.dll', 'msvcrt.dll'}

IMAGE_FILE_MACHINE_I386 = 0x14C
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
PE32_MAGIC, PE32_PLUS_MAGIC = 0x10B, 0x20B
SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE, NX_COMPAT = 0x0040, 0x0100
DIR_IMPORT, DIR_RESOURCE, DIR_RELOC, DIR_DEBUG, DIR_DELAY_IMPORT = 1, 2, 5, 6, 13
IMAGE_REL_BASED_ABSOLUTE, IMAGE_REL_BASED_HIGHLOW = 0, 3
SCN_MEM_EXECUTE, SCN_MEM_WRITE = 0x20000000, 0x80000000

RT_ICON, RT_DIALOG, RT_STRING, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 6, 14, 16, 24
FORBIDDEN_RESOURCES = {RT_VERSION: 'a version resource', RT_MANIFEST: 'a manifest',
                       RT_STRING: 'a string table', RT_DIALOG: 'a dialog resource'}
LANG_JAPANESE = 0x0411
ICON_NAME = 'MAINICON'


class Malformed(Exception):
    pass


class PE:
    """The parts of a PE file that the checks look at, with the file offsets
    of the fields, so that the self-test can damage exactly one of them."""

    def __init__(self, data):
        self.data = data
        self.at = {}  # field name -> file offset
        if data[:2] != b'MZ':
            raise Malformed('no MZ header')
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b'PE\0\0':
            raise Malformed('no PE signature')
        coff = pe + 4
        self.machine = self.u16(coff)
        count = self.u16(coff + 2)
        self.at['timestamp'] = coff + 4
        self.timestamp = self.u32(coff + 4)
        optional_size = self.u16(coff + 16)
        self.at['characteristics'] = coff + 18
        self.characteristics = self.u16(coff + 18)
        optional = coff + 20
        self.at['magic'] = optional
        self.magic = self.u16(optional)
        if self.magic not in (PE32_MAGIC, PE32_PLUS_MAGIC):
            raise Malformed('unknown optional header magic 0x%x' % self.magic)
        self.at['subsystem'] = optional + 68
        self.subsystem = self.u16(optional + 68)
        self.at['dll_characteristics'] = optional + 70
        self.dll_characteristics = self.u16(optional + 70)
        directories = optional + (96 if self.magic == PE32_MAGIC else 112)
        rva_count = self.u32(directories - 4)
        self.directories = []
        for i in range(min(rva_count, 16)):
            self.at['directory %d' % i] = directories + 8 * i
            self.directories.append(struct.unpack_from('<II', data, directories + 8 * i))
        self.directories += [(0, 0)] * (16 - len(self.directories))
        self.sections = []
        self.section_flags = {}
        table = optional + optional_size
        for i in range(count):
            name, virtual_size, address, raw_size, raw = struct.unpack_from('<8sIIII', data, table + 40 * i)
            name = name.rstrip(b'\0').decode('latin-1')
            self.at['section flags %s' % name] = table + 40 * i + 36
            self.section_flags[name] = self.u32(table + 40 * i + 36)
            self.sections.append((name, address, virtual_size, raw, raw_size))

    def u16(self, offset):
        if offset + 2 > len(self.data):
            raise Malformed('truncated at 0x%x' % offset)
        return struct.unpack_from('<H', self.data, offset)[0]

    def u32(self, offset):
        if offset + 4 > len(self.data):
            raise Malformed('truncated at 0x%x' % offset)
        return struct.unpack_from('<I', self.data, offset)[0]

    def section_of(self, rva):
        for section in self.sections:
            name, address, virtual_size, raw, raw_size = section
            if address <= rva < address + max(virtual_size, raw_size):
                return section
        return None

    def offset(self, rva):
        section = self.section_of(rva)
        if section is None or rva - section[1] >= section[4]:
            raise Malformed('RVA 0x%x lies in no section\'s file data' % rva)
        return section[3] + rva - section[1]

    def c_string(self, rva):
        start = self.offset(rva)
        end = self.data.find(b'\0', start)
        if end < 0:
            raise Malformed('unterminated string at RVA 0x%x' % rva)
        return self.data[start:end].decode('latin-1'), start

    def imported_dlls(self):
        """(name, file offset of the name) for each DLL of the import and
        delay-import tables."""
        dlls = []
        for directory, entry_size, name_at in ((DIR_IMPORT, 20, 12), (DIR_DELAY_IMPORT, 32, 4)):
            rva, size = self.directories[directory]
            if rva == 0:
                continue
            position = self.offset(rva)
            while True:
                entry = self.data[position:position + entry_size]
                if len(entry) < entry_size or entry == bytes(entry_size):
                    break
                dlls.append(self.c_string(struct.unpack_from('<I', entry, name_at)[0]))
                position += entry_size
        return dlls

    def relocations(self):
        """The base relocation blocks: a list of (page RVA, [types])."""
        rva, size = self.directories[DIR_RELOC]
        blocks = []
        position, end = self.offset(rva), self.offset(rva) + size
        while position + 8 <= end:
            page, block_size = struct.unpack_from('<II', self.data, position)
            if block_size < 8 or position + block_size > end:
                raise Malformed('a relocation block of %d bytes at 0x%x' % (block_size, position))
            entries = struct.unpack_from('<%dH' % ((block_size - 8) // 2), self.data, position + 8)
            blocks.append((page, [e >> 12 for e in entries]))
            position += block_size
        return blocks

    def resources(self):
        """Every resource leaf: a dict with type, name, language, data
        offset and size, and the file offsets of the entries on its way."""
        rva, size = self.directories[DIR_RESOURCE]
        if rva == 0:
            return [], []
        base = self.offset(rva)
        leaves, timestamps = [], []

        def name_of(field):
            if field & 0x80000000:
                length = self.u16(base + (field & 0x7FFFFFFF))
                start = base + (field & 0x7FFFFFFF) + 2
                return self.data[start:start + 2 * length].decode('utf-16-le'), start
            return field, None

        def walk(offset, path, depth):
            if depth > 3:
                raise Malformed('resource tree deeper than three levels')
            timestamps.append((base + offset + 4, self.u32(base + offset + 4)))
            named, numbered = self.u16(base + offset + 12), self.u16(base + offset + 14)
            for i in range(named + numbered):
                entry = base + offset + 16 + 8 * i
                field, target = self.u32(entry), self.u32(entry + 4)
                key, string_at = name_of(field)
                step = path + [(key, entry, string_at)]
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, step, depth + 1)
                elif len(step) != 3:
                    raise Malformed('a resource leaf at depth %d' % len(step))
                else:
                    data_rva, data_size = struct.unpack_from('<II', self.data, base + target)
                    leaves.append({'type': step[0][0], 'name': step[1][0], 'language': step[2][0],
                                   'type_entry': step[0][1], 'name_string': step[1][2],
                                   'language_entry': step[2][1],
                                   'data': self.offset(data_rva), 'size': data_size})

        walk(0, [], 1)
        return leaves, timestamps


def check(data, forbidden=()):
    """Gives (facts, faults): lines that describe the file, lines that say
    what is wrong with it."""
    facts, faults = [], []
    facts.append('size: %d bytes (budget %d)' % (len(data), SIZE_BUDGET))
    if len(data) > SIZE_BUDGET:
        faults.append('the file has %d bytes, over the budget of %d' % (len(data), SIZE_BUDGET))
    try:
        pe = PE(data)
    except Malformed as problem:
        return facts, faults + ['not a readable PE file: %s' % problem]

    if pe.magic != PE32_MAGIC or pe.machine != IMAGE_FILE_MACHINE_I386:
        return facts, faults + ['not PE32 for i386 (magic 0x%x, machine 0x%x): PE32+ or another machine' % (
            pe.magic, pe.machine)]
    facts.append('format: PE32, i386')
    if pe.subsystem != SUBSYSTEM_WINDOWS_GUI:
        faults.append('subsystem %d, not the Windows GUI subsystem (2)' % pe.subsystem)
    else:
        facts.append('subsystem: Windows GUI')

    try:
        check_hardening(pe, facts, faults)
        check_imports(pe, facts, faults)
        check_resources(pe, facts, faults)
        check_reproducible(pe, facts, faults, forbidden)
    except Malformed as problem:
        faults.append('not a readable PE file: %s' % problem)
    return facts, faults


def check_hardening(pe, facts, faults):
    flags = pe.dll_characteristics
    facts.append('DllCharacteristics: 0x%04x' % flags)
    if not flags & DYNAMIC_BASE:
        faults.append('DYNAMIC_BASE is not set: no address space layout randomisation')
    if not flags & NX_COMPAT:
        faults.append('NX_COMPAT is not set: no data execution prevention')
    if pe.characteristics & IMAGE_FILE_RELOCS_STRIPPED:
        faults.append('the file header says RELOCS_STRIPPED: the loader cannot move the image')
    # DEP protects nothing in a section that is writable and executable.
    for name, section_flags in pe.section_flags.items():
        if section_flags & SCN_MEM_EXECUTE and section_flags & SCN_MEM_WRITE:
            faults.append('the section %s is both writable and executable' % name)
    rva, size = pe.directories[DIR_RELOC]
    if rva == 0 or size == 0:
        faults.append('no base relocation directory: relocations were stripped')
        return
    section = pe.section_of(rva)
    if section is None or section[0] != '.reloc':
        faults.append('the base relocation directory lies outside a .reloc section')
        return
    blocks = pe.relocations()
    fixups = sum(types.count(IMAGE_REL_BASED_HIGHLOW) for _, types in blocks)
    others = sum(1 for _, types in blocks for t in types
                 if t not in (IMAGE_REL_BASED_HIGHLOW, IMAGE_REL_BASED_ABSOLUTE))
    facts.append('relocations: %d blocks, %d HIGHLOW fixups in .reloc' % (len(blocks), fixups))
    if fixups == 0:
        faults.append('the base relocation directory holds no HIGHLOW fixup')
    if others:
        faults.append('%d relocations of a type other than HIGHLOW in a 32-bit image' % others)


def check_imports(pe, facts, faults):
    names = [name for name, _ in pe.imported_dlls()]
    facts.append('imports: %s' % ', '.join(names))
    if not names:
        faults.append('no import table: not a plausible build of the launcher')
    for name in names:
        if name.lower() not in ALLOWED_DLLS:
            faults.append('imports from %s, a DLL outside %s' % (name, ', '.join(sorted(ALLOWED_DLLS))))


def type_name(kind):
    return FORBIDDEN_RESOURCES.get(kind, {RT_ICON: 'icon', RT_GROUP_ICON: 'icon group'}.get(kind, repr(kind)))


def check_resources(pe, facts, faults):
    leaves, _ = pe.resources()
    facts.append('resources: %s' % ', '.join(
        '%s %r language 0x%04x' % (type_name(l['type']), l['name'], l['language'])
        if isinstance(l['language'], int) else '%s %r' % (type_name(l['type']), l['name'])
        for l in leaves))
    for leaf in leaves:
        if leaf['type'] in FORBIDDEN_RESOURCES:
            faults.append('the file holds %s' % FORBIDDEN_RESOURCES[leaf['type']])
        elif leaf['type'] not in (RT_ICON, RT_GROUP_ICON):
            faults.append('the file holds a resource of type %r, beyond the icon' % (leaf['type'],))

    groups = [l for l in leaves if l['type'] == RT_GROUP_ICON]
    icons = [l for l in leaves if l['type'] == RT_ICON]
    if len(groups) != 1:
        faults.append('%d icon groups, not exactly one' % len(groups))
        return
    group = groups[0]
    if group['name'] != ICON_NAME:
        faults.append('the icon group is named %r, not %s' % (group['name'], ICON_NAME))
    if group['language'] != LANG_JAPANESE:
        faults.append('the icon group has language %r, not 0x0411' % (group['language'],))

    data = pe.data[group['data']:group['data'] + group['size']]
    if len(data) < 6:
        faults.append('the icon group\'s data is cut short')
        return
    reserved, kind, count = struct.unpack_from('<HHH', data)
    if reserved != 0 or kind != 1 or count != 1 or len(data) < 6 + 14 * count:
        faults.append('the icon group holds %d images (type %d), not exactly one icon' % (count, kind))
        return
    width, height, colours, _, planes, bits, image_size, image_id = struct.unpack_from('<BBBBHHIH', data, 6)
    if (width, height) != (32, 32):
        faults.append('the icon group lists a %dx%d image, not 32x32' % (width or 256, height or 256))
    if bits != 8 or colours != 0:
        faults.append('the icon group lists an image of %d bits, %d colours, not 256 colours' % (bits, colours))

    if len(icons) != 1:
        faults.append('%d icon images, not exactly one' % len(icons))
    images = [l for l in icons if l['name'] == image_id]
    if not images:
        faults.append('the icon group names image %d, which the file does not hold' % image_id)
        return
    icon = images[0]
    if icon['language'] != LANG_JAPANESE:
        faults.append('the icon image has language %r, not 0x0411' % (icon['language'],))
    if icon['size'] != image_size:
        faults.append('the icon image has %d bytes, the group says %d' % (icon['size'], image_size))
    check_icon_image(pe.data[icon['data']:icon['data'] + icon['size']], faults)


def check_icon_image(image, faults):
    if image[:8] == b'\x89PNG\r\n\x1a\n':
        faults.append('the icon image is a PNG, not a 256-colour bitmap')
        return
    if len(image) < 40:
        faults.append('the icon image is cut short')
        return
    header_size, width, height, planes, bits, compression, _, _, _, used, _ = struct.unpack_from(
        '<IiiHHIIiiII', image)
    if header_size != 40 or width != 32 or height != 64 or planes != 1:
        faults.append('the icon image is %dx%d (header %d), not a 32x32 bitmap' % (width, height // 2, header_size))
        return
    if bits != 8 or compression != 0 or used not in (0, 256):
        faults.append('the icon image has %d bits a pixel and %d colours, not 256 colours' % (bits, used))
        return
    palette, pixels, mask = 256 * 4, 32 * 32, 32 * 4  # mask rows of 32 bits, no padding needed
    if len(image) != 40 + palette + pixels + mask:
        faults.append('the icon image has %d bytes, not the %d of a 32x32 256-colour bitmap' % (
            len(image), 40 + palette + pixels + mask))
        return
    and_mask = image[40 + palette + pixels:]
    if any(and_mask):
        faults.append('the icon\'s AND mask is not all zero: %d transparent pixels' % sum(
            bin(b).count('1') for b in and_mask))


def check_reproducible(pe, facts, faults, forbidden):
    if pe.timestamp != 0:
        faults.append('the link timestamp is 0x%08x, not 0: rebuilds would differ' % pe.timestamp)
    _, stamps = pe.resources()
    if any(stamp for _, stamp in stamps):
        faults.append('the resource directory carries a timestamp')
    if pe.directories[DIR_DEBUG][0] != 0:
        faults.append('the file has a debug directory (a build id or a path)')
    for text in forbidden:
        for encoding in ('utf-8', 'utf-16-le'):
            if text.encode(encoding) in pe.data:
                faults.append('the file holds the build path %s (%s)' % (text, encoding))


# The self-test: each row damages one thing and names the fault the checks
# must report; None means the copy must pass.

def replace(data, offset, new):
    return data[:offset] + new + data[offset + len(new):]


def set_u16(data, offset, value):
    return replace(data, offset, struct.pack('<H', value))


def set_u32(data, offset, value):
    return replace(data, offset, struct.pack('<I', value))


def dll_named(pe, name):
    return next(at for dll, at in pe.imported_dlls() if dll.lower() == name)


def leaf(pe, kind):
    return next(l for l in pe.resources()[0] if l['type'] == kind)


def icon_image(pe):
    return leaf(pe, RT_ICON)['data']


MUTATIONS = [
    ('unchanged', lambda pe, d: d, None),
    ('DLL names in another case',
     lambda pe, d: replace(d, dll_named(pe, 'kernel32.dll'), b'kernel32.DLL'), None),
    ('padded to exactly the budget', lambda pe, d: d + bytes(SIZE_BUDGET - len(d)), None),
    ('one byte over the budget', lambda pe, d: d + bytes(SIZE_BUDGET + 1 - len(d)), 'over the budget'),
    ('PE32+ magic', lambda pe, d: set_u16(d, pe.at['magic'], PE32_PLUS_MAGIC), 'not PE32'),
    ('console subsystem', lambda pe, d: set_u16(d, pe.at['subsystem'], 3), 'subsystem 3'),
    ('no DYNAMIC_BASE', lambda pe, d: set_u16(d, pe.at['dll_characteristics'],
                                              pe.dll_characteristics & ~DYNAMIC_BASE), 'DYNAMIC_BASE'),
    ('no NX_COMPAT', lambda pe, d: set_u16(d, pe.at['dll_characteristics'],
                                           pe.dll_characteristics & ~NX_COMPAT), 'NX_COMPAT'),
    ('RELOCS_STRIPPED set', lambda pe, d: set_u16(d, pe.at['characteristics'],
                                                  pe.characteristics | IMAGE_FILE_RELOCS_STRIPPED),
     'RELOCS_STRIPPED'),
    ('writable code', lambda pe, d: set_u32(d, pe.at['section flags .text'],
                                            pe.section_flags['.text'] | SCN_MEM_WRITE),
     '.text is both writable and executable'),
    ('relocation directory emptied',
     lambda pe, d: replace(d, pe.at['directory %d' % DIR_RELOC], bytes(8)), 'no base relocation directory'),
    ('a foreign DLL', lambda pe, d: replace(d, dll_named(pe, 'msvcrt.dll'), b'gdi32.dll\0'),
     'imports from gdi32.dll'),
    ('icon group in English',
     lambda pe, d: set_u32(d, leaf(pe, RT_GROUP_ICON)['language_entry'], 0x0409), 'language 1033'),
    ('icon group renamed',
     lambda pe, d: replace(d, leaf(pe, RT_GROUP_ICON)['name_string'], 'MAINICOM'.encode('utf-16-le')),
     "named 'MAINICOM'"),
    ('icon group turned into a version resource',
     lambda pe, d: set_u32(d, leaf(pe, RT_GROUP_ICON)['type_entry'], RT_VERSION), 'a version resource'),
    ('icon image turned into a manifest',
     lambda pe, d: set_u32(d, leaf(pe, RT_ICON)['type_entry'], RT_MANIFEST), 'a manifest'),
    ('icon group turned into a string table',
     lambda pe, d: set_u32(d, leaf(pe, RT_GROUP_ICON)['type_entry'], RT_STRING), 'a string table'),
    ('icon group turned into a dialog',
     lambda pe, d: set_u32(d, leaf(pe, RT_GROUP_ICON)['type_entry'], RT_DIALOG), 'a dialog resource'),
    ('icon listed as 16x16', lambda pe, d: replace(d, leaf(pe, RT_GROUP_ICON)['data'] + 6, b'\x10\x10'),
     'not 32x32'),
    ('icon image of 16 colours', lambda pe, d: set_u16(d, icon_image(pe) + 14, 4), 'not 256 colours'),
    ('one transparent pixel',
     lambda pe, d: replace(d, icon_image(pe) + 40 + 1024 + 1024, b'\x80'), 'AND mask'),
    ('a link timestamp', lambda pe, d: set_u32(d, pe.at['timestamp'], 0x5F000000), 'link timestamp'),
    ('a build path inside', lambda pe, d: d + b'/tmp/build-here/launcher', 'build path'),
]


def self_test(data):
    pe = PE(data)
    wrong = 0
    for name, mutate, expected in MUTATIONS:
        facts, faults = check(mutate(pe, data), forbidden=['/tmp/build-here'])
        if expected is None:
            ok = not faults
        else:
            ok = any(expected in fault for fault in faults)
        if not ok:
            wrong += 1
            print('self-test FAILED: %s: expected %s, got: %s' % (
                name, 'no fault' if expected is None else repr(expected), faults or 'no fault'))
    print('self-test: %d damaged or disguised copies, %d judged wrongly' % (len(MUTATIONS), wrong))
    return wrong == 0


def main(argv):
    if len(argv) >= 2 and argv[0] == 'check':
        forbidden = [argv[i + 1] for i in range(1, len(argv) - 1) if argv[i] == '--forbid']
        with open(argv[1], 'rb') as f:
            facts, faults = check(f.read(), forbidden)
        for fact in facts:
            print('  ' + fact)
        for fault in faults:
            print('FAULT: %s: %s' % (argv[1], fault))
        return 0 if not faults else 1
    if len(argv) == 2 and argv[0] == 'self-test':
        with open(argv[1], 'rb') as f:
            return 0 if self_test(f.read()) else 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
