#!/usr/bin/env python3
"""Fails when a delay-load slot of a PE image does not point into code.

Before its first call, each slot of a delay-load import address table must
hold the address of the stub that loads the DLL. A linker that drops the
stub leaves the slot 0 (or pointing elsewhere), and the first call then
jumps there: this check makes that a build failure, for either width.
"""
import struct
import subprocess
import sys


def descriptors(nm, path):
    """Addresses of the delay-import descriptors, from the symbol table:
    GNU ld leaves the delay-import directory entry empty."""
    out = subprocess.run([nm, path], check=True, capture_output=True, text=True).stdout
    return [int(line.split()[0], 16) for line in out.splitlines()
            if "__DELAY_IMPORT_DESCRIPTOR_" in line]


def main(nm, path, expected):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"{path}: not a PE image")
    nsections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    wide = magic == 0x20B
    ptr, ptr_size = ("<Q", 8) if wide else ("<I", 4)
    image_base = struct.unpack_from(ptr, data, opt + (24 if wide else 28))[0]

    sections = []
    for i in range(nsections):
        s = pe + 24 + opt_size + 40 * i
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
        flags = struct.unpack_from("<I", data, s + 36)[0]
        sections.append((va, max(vsize, raw_size), raw_ptr, raw_size, flags))

    def offset(rva):
        for va, size, raw_ptr, raw_size, _ in sections:
            if va <= rva < va + size:
                if rva - va >= raw_size:
                    return None  # in the zero-filled tail: reads as 0
                return raw_ptr + rva - va
        sys.exit(f"{path}: RVA {rva:#x} lies in no section")

    def read(fmt, rva):
        off = offset(rva)
        return 0 if off is None else struct.unpack_from(fmt, data, off)[0]

    def cstring(rva):
        off = offset(rva)
        return data[off:data.index(b"\0", off)].decode("ascii", "replace")

    def in_code(va):
        rva = va - image_base
        return any(va_ <= rva < va_ + size and flags & 0x20000000  # MEM_EXECUTE
                   for va_, size, _, _, flags in sections)

    found = descriptors(nm, path)
    if len(found) != expected:
        sys.exit(f"{path}: {len(found)} delay-import descriptors, {expected} expected")
    bad = []
    for desc_va in found:
        attrs, name, _, iat, int_ = struct.unpack_from("<IIIII", data, offset(desc_va - image_base))
        # Attribute bit 0: the fields are RVAs; otherwise they are addresses.
        rebase = 0 if attrs & 1 else image_base
        dll = cstring(name - rebase)
        iat -= rebase
        int_ -= rebase
        i = 0
        while True:
            entry = read(ptr, int_ + i * ptr_size)
            if not entry:
                break
            ordinal = entry >> (ptr_size * 8 - 1)
            func = f"#{entry & 0xFFFF}" if ordinal else cstring(entry - rebase + 2)
            slot = read(ptr, iat + i * ptr_size)
            if not in_code(slot):
                bad.append(f"{dll}!{func} (slot holds {slot:#x})")
            i += 1
    if bad:
        sys.exit(f"{path}: delay-load slots that point at no loader stub:\n  "
                 + "\n  ".join(bad))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3])))
