#!/usr/bin/env python3
"""Checks a Windows executable without running it: its machine and format,
the GUI subsystem, that it imports only system DLLs (the runtime is linked
in statically), and that its menu, accelerators, dialogs, icons, strings,
version and manifest resources are all present.

    check_pe.py EXE i386|amd64

Prints one line of what it found; exits 1 with the reason when a check fails.
Used where the program cannot be run (a kernel without 32-bit support) and
beside every run, so a broken package is caught either way.
"""
import os
import struct
import sys

MACHINES = {"i386": (0x14C, 0x10B, "PE32"), "amd64": (0x8664, 0x20B, "PE32+")}
GUI_SUBSYSTEM = 2
# DLLs every Windows has; anything else would have to ship beside the program.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll", "comdlg32.dll",
               "advapi32.dll", "msvcrt.dll", "ole32.dll", "shlwapi.dll", "ntdll.dll", "ws2_32.dll"}
RT_NAMES = {3: "icon", 4: "menu", 5: "dialog", 6: "string", 9: "accelerators", 14: "icon group",
            16: "version", 24: "manifest"}


class Refused(Exception):
    pass


def ResourceIds():
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "resource.h")
    ids = {}
    for line in open(header):
        parts = line.split()
        if len(parts) >= 3 and parts[0] == "#define" and parts[2].isdigit():
            ids[parts[1]] = int(parts[2])
    return ids


class Image:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Refused("no MZ header")
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise Refused("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        self.optional = pe + 24
        (self.magic,) = struct.unpack_from("<H", data, self.optional)
        (self.subsystem,) = struct.unpack_from("<H", data, self.optional + 68)
        directories = self.optional + (96 if self.magic == 0x10B else 112)
        self.directory = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = self.optional + optional_size
        for i in range(sections):
            name, vsize, vaddr, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), vaddr, max(vsize, rsize), raw))

    def Offset(self, rva):
        for _, vaddr, size, raw in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raw
        raise Refused("address 0x%x lies in no section" % rva)

    def String(self, rva):
        start = self.Offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("latin-1")

    def Imports(self):
        rva, _ = self.directory[1]
        names = []
        at = self.Offset(rva) if rva else None
        while at is not None:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunks):
                break
            names.append(self.String(name))
            at += 20
        return names

    def ResourceTree(self):
        """{type: set of ids} of the resource directory's first two levels."""
        rva, _ = self.directory[2]
        if not rva:
            return {}
        root = self.Offset(rva)

        def Entries(at):
            _, _, _, _, named, numbered = struct.unpack_from("<IIHHHH", self.data, at)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
                yield ident, target

        tree = {}
        for kind, target in Entries(root):
            ids = set()
            if target & 0x80000000:
                for ident, _ in Entries(root + (target & 0x7FFFFFFF)):
                    ids.add(ident)
            tree[kind] = ids
        return tree


def Check(path, arch):
    machine, magic, format_name = MACHINES[arch]
    image = Image(open(path, "rb").read())
    if image.machine != machine or image.magic != magic:
        raise Refused("machine 0x%x, optional header 0x%x: not a %s %s executable"
                      % (image.machine, image.magic, format_name, arch))
    if image.subsystem != GUI_SUBSYSTEM:
        raise Refused("subsystem %d, not the Windows GUI (2)" % image.subsystem)
    imports = image.Imports()
    foreign = [name for name in imports if name.lower() not in SYSTEM_DLLS]
    if foreign:
        raise Refused("imports DLLs that are not the system's: %s" % ", ".join(foreign))
    tree = image.ResourceTree()
    missing = [RT_NAMES[kind] for kind in RT_NAMES if kind not in tree]
    if missing:
        raise Refused("resources missing: %s" % ", ".join(missing))
    ids = ResourceIds()
    wanted = [(4, "IDC_HALOVANE"), (9, "IDC_HALOVANE"), (5, "IDD_PROPERTIES"), (5, "IDD_ABOUTBOX")]
    absent = [name for kind, name in wanted if ids[name] not in tree[kind]]
    if absent:
        raise Refused("resources missing: %s" % ", ".join(absent))
    return "%s GUI, imports %s, %d resource types" % (format_name, " ".join(sorted(n.lower() for n in imports)),
                                                       len(tree))


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in MACHINES:
        sys.exit("usage: check_pe.py EXE i386|amd64")
    path, arch = sys.argv[1], sys.argv[2]
    try:
        print("check_pe: %s: %s" % (os.path.basename(path), Check(path, arch)))
    except (Refused, OSError, struct.error, ValueError, KeyError) as e:
        print("check_pe: FAIL: %s: %s" % (path, e), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
