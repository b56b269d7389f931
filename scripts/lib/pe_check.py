#!/usr/bin/env python3
# Checks the release program's PE header and imports: a 32-bit GUI program for Windows XP SP3+.
"""usage: pe_check.py EXE XP_EXPORTS_LIST

Fails (exit 1) when the program is not an i386 GUI program with OS and subsystem version 5.1,
DYNAMIC_BASE and NX_COMPAT and a relocation table, or when it imports a DLL!function that the
list of functions Windows XP SP3 exports does not hold. Prints what it found.
"""
import struct
import sys

MACHINE_I386 = 0x14C
SUBSYSTEM_WINDOWS_GUI = 2
RELOCS_STRIPPED = 0x0001
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
IMPORT_DIRECTORY = 1
BASE_RELOCATION_DIRECTORY = 5
ORDINAL_FLAG = 0x80000000


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic != 0x10B:
            raise ValueError("not a PE32 optional header (magic %#x)" % magic)
        (self.os_major, self.os_minor, _, _, self.subsystem_major,
         self.subsystem_minor) = struct.unpack_from("<6H", data, optional + 40)
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        count = struct.unpack_from("<I", data, optional + 92)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 96 + 8 * i)
                            for i in range(count)]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, virtual_size, address, raw_size, raw_offset = struct.unpack_from(
                "<8sIIII", data, table + 40 * i)
            self.sections.append((address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError("address %#x lies in no section" % rva)

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self):
        """Every imported function as "dll!name" (dll in lower case), ordinals as "dll!#n"."""
        found = []
        rva = self.directories[IMPORT_DIRECTORY][0]
        at = self.offset(rva)
        while True:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunks):
                return found
            dll = self.string(name).lower()
            entry = self.offset(lookup or thunks)
            while True:
                value = struct.unpack_from("<I", self.data, entry)[0]
                if value == 0:
                    break
                if value & ORDINAL_FLAG:
                    found.append("%s!#%d" % (dll, value & 0xFFFF))
                else:
                    found.append("%s!%s" % (dll, self.string(value + 2)))
                entry += 4
            at += 20


def normalise(entry):
    """DLL names are case-insensitive on Windows, function names are not."""
    dll, _, function = entry.partition("!")
    return dll.lower() + "!" + function


def main(exe, exports_list):
    with open(exe, "rb") as f:
        image = Image(f.read())
    with open(exports_list) as f:
        allowed = {normalise(line.strip()) for line in f
                   if line.strip() and not line.startswith("#")}
    faults = []

    def expect(condition, what):
        print("release: %s %s" % ("ok  " if condition else "FAIL", what))
        if not condition:
            faults.append(what)

    expect(image.machine == MACHINE_I386, "machine i386 (found %#x)" % image.machine)
    expect(image.subsystem == SUBSYSTEM_WINDOWS_GUI, "GUI subsystem (found %d)" % image.subsystem)
    expect((image.os_major, image.os_minor) == (5, 1),
           "OS version 5.1 (found %d.%d)" % (image.os_major, image.os_minor))
    expect((image.subsystem_major, image.subsystem_minor) == (5, 1),
           "subsystem version 5.1 (found %d.%d)" % (image.subsystem_major, image.subsystem_minor))
    expect(image.dll_characteristics & DYNAMIC_BASE, "DYNAMIC_BASE")
    expect(image.dll_characteristics & NX_COMPAT, "NX_COMPAT")
    relocations = image.directories[BASE_RELOCATION_DIRECTORY][1]
    expect(relocations > 0 and not image.characteristics & RELOCS_STRIPPED,
           "relocation table (%d bytes)" % relocations)
    imports = image.imports()
    missing = sorted(set(imports) - allowed)
    expect(not missing, "%d imported functions, all exported by Windows XP SP3%s" % (
        len(imports), "; not in the list: " + ", ".join(missing) if missing else ""))
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
