#!/usr/bin/env python3
"""The application manifest in a built program: the RT_MANIFEST resource 1
is there, parses as XML, asks for administrator rights and names every
supported system from Windows Vista to Windows 10/11.

usage: manifest_test.py PROGRAM.exe...
"""

import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Windows Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}


def manifest_of(path):
    """The bytes of resource RT_MANIFEST / 1 (any language), or None."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size
    for i in range(sections):
        _, size, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
        if rva <= rsrc_rva < rva + max(size, raw_size):
            base = raw + rsrc_rva - rva
            break
    else:
        return None

    def entries(offset):
        named, numbered = struct.unpack_from("<HH", data, base + offset + 12)
        for k in range(named + numbered):
            ident, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * k)
            yield ident, target

    for ident, target in entries(0):
        if ident != RT_MANIFEST or not target & 0x80000000:
            continue
        for name, below in entries(target & 0x7FFFFFFF):
            if name != 1 or not below & 0x80000000:
                continue
            for _, leaf in entries(below & 0x7FFFFFFF):
                data_rva, data_size = struct.unpack_from("<II", data, base + leaf)
                start = base + data_rva - rsrc_rva
                return data[start:start + data_size]
    return None


def check(path):
    text = manifest_of(path)
    if text is None:
        return [f"{path}: no manifest resource (RT_MANIFEST 1)"]
    try:
        root = ET.fromstring(text)
    except ET.ParseError as error:
        return [f"{path}: the manifest is not XML: {error}"]
    problems = []
    levels = [e.get("level") for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != ["requireAdministrator"]:
        problems.append(f"{path}: execution level {levels}, expected requireAdministrator")
    ids = {e.get("Id") for e in root.iter(COMPATIBILITY + "supportedOS")}
    for wanted, system in SUPPORTED.items():
        if wanted not in ids:
            problems.append(f"{path}: {system} is not among the supported systems")
    return problems


def main():
    problems = [p for path in sys.argv[1:] for p in check(path)]
    if problems:
        sys.exit("\n".join(problems))
    print(f"{len(sys.argv) - 1} programs carry the manifest")


if __name__ == "__main__":
    main()
