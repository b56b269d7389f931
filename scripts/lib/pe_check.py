#!/usr/bin/env python3
# Checks the release program's PE header and imports: a 32-bit GUI program for Windows XP SP3+.
"""usage: pe_check.py EXE XP_EXPORTS_LIST

Fails (exit 1) when the program is not an i386 GUI program with OS and subsystem version 5.1,
DYNAMIC_BASE and NX_COMPAT and a relocation table, when it imports a DLL!function that the
list of functions Windows XP SP3 exports does not hold, or when its manifest (resource 1 of type
RT_MANIFEST) is missing, is no XML or lacks one of its four declarations. Prints what it found.
"""
import struct
import sys
import xml.etree.ElementTree as ElementTree

MACHINE_I386 = 0x14C
SUBSYSTEM_WINDOWS_GUI = 2
RELOCS_STRIPPED = 0x0001
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
IMPORT_DIRECTORY = 1
RESOURCE_DIRECTORY = 2
BASE_RELOCATION_DIRECTORY = 5
ORDINAL_FLAG = 0x80000000
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}


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

    def resource(self, kind, ident):
        """The bytes of the first language of resource (kind, ident), or None."""
        base = self.directories[RESOURCE_DIRECTORY][0]
        if not base:
            return None
        at = self.offset(base)

        def child(directory, ident):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if ident is None or name == ident:
                    return target
            return None

        entry = at
        for level in (kind, ident, None):
            target = child(entry, level)
            if target is None:
                return None
            entry = at + (target & 0x7FFFFFFF)
        rva, size = struct.unpack_from("<II", self.data, entry)
        start = self.offset(rva)
        return self.data[start:start + size]


def manifest_faults(text):
    """What the manifest lacks of its four declarations; raises on text that is no XML."""
    root = ElementTree.fromstring(text)
    faults = []
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        faults.append("an asm.v1 assembly, manifestVersion 1.0, at the root")
    levels = [e.get("level") for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        faults.append("requestedExecutionLevel asInvoker (found %r)" % levels)
    found = {e.get("Id", "").lower() for e in root.iter(COMPATIBILITY + "supportedOS")}
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in found]
    if missing:
        faults.append("supportedOS for Windows " + ", ".join(missing))
    aware = [(e.text or "").strip().lower() for e in root.iter(SETTINGS_2005 + "dpiAware")]
    awareness = [(e.text or "").strip().lower()
                 for e in root.iter(SETTINGS_2016 + "dpiAwareness")]
    if aware != ["true"] or awareness != ["system"]:
        faults.append("system DPI awareness: dpiAware true, dpiAwareness system (found %r, %r)"
                      % (aware, awareness))
    controls = [e for e in root.iter(ASM_V1 + "assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if not any(e.get("version") == "6.0.0.0" and e.get("processorArchitecture") == "*"
               and e.get("publicKeyToken") == "6595b64144ccf1df" and e.get("type") == "win32"
               for e in controls):
        faults.append("a dependency on Common Controls 6.0.0.0, processorArchitecture *")
    return faults


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
    manifest = image.resource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID)
    try:
        lacking = (["a manifest (resource 1 of type RT_MANIFEST)"] if manifest is None
                   else manifest_faults(manifest))
    except ElementTree.ParseError as error:
        lacking = ["a manifest that parses as XML (%s)" % error]
    expect(not lacking, "manifest: asInvoker, Windows Vista to 10/11, system DPI awareness,"
           " Common Controls 6%s" % ("; lacks " + "; ".join(lacking) if lacking else ""))
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
