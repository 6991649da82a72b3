#!/usr/bin/env python3
"""Checks a built Quorlane.dll from its bytes, without running it.

usage: check_dll_bytes.py --objdump OBJDUMP --bits 32|64 Quorlane.dll

- the image: PE32 for i386 (32) or PE32+ for x86-64 (64), marked as a DLL;
- the export table: exactly the 19 undecorated names, GetAppSelfUpdURL at
  ordinal 14;
- the imports: Windows system DLLs only, none of the compiler's run-time DLLs;
- 32-bit only, stdcall clean-up read from the disassembly: every return of
  every export (its cold parts and the functions it tail-jumps to included) is
  a `ret` that removes 4 bytes per argument.

The argument counts below are the export table's own, kept apart from the
library's declarations on purpose: a declaration that drifts is caught here.
"""
import argparse
import re
import subprocess
import sys

ARGUMENT_COUNTS = {
    "SetInitial": 1, "FreeInitial": 0,
    "SetLockDBDotNet": 2, "SetUnLockDBDotNet": 1, "SetForceUnLockDBDotNet": 1, "CheckDBLockedDotNet": 1,
    "DoDeleteFileDotNet": 1, "DoCopyFileDotNet": 2,
    "StartServerService": 2, "StopServerService": 2, "ServerServiceStarted": 2, "GetFileSizeInfo": 2,
    "GetVATList": 0, "SaveVATList": 1, "GetTaxationAPIKey": 0,
    "GetAppSelfUpdURL": 1, "GetConvertedMessageDotNet": 1,
    "GetZConvertList": 1, "SyncZConvertList": 2,
}
SYSTEM_DLLS = re.compile(
    r"^(kernel32|ntdll|user32|gdi32|advapi32|shell32|ole32|oleaut32|ws2_32|mswsock|version|msvcrt|comctl32|shlwapi)\.dll$")

failures = []


def fail(message):
    failures.append(message)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def check_headers(dump, bits):
    formats = {32: ("pei-i386", "(PE32)"), 64: ("pei-x86-64", "(PE32+)")}
    file_format, magic = formats[bits]
    if f"file format {file_format}" not in dump:
        fail(f"not a {file_format} image")
    if not re.search(r"^Magic\s+\S+\s+" + re.escape(magic) + r"$", dump, re.M):
        fail(f"not {magic[1:-1]}")
    characteristics = re.search(r"^Characteristics.*?\n((?:\t.*\n)*)", dump, re.M)
    if not characteristics or "\tDLL\n" not in characteristics.group(1):
        fail("image is not marked as a DLL")


def read_exports(dump):
    """Returns {name: (ordinal, rva)} and the image base."""
    base_match = re.search(r"^Export Address Table -- Ordinal Base (\d+)$", dump, re.M)
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)$", dump, re.M).group(1), 16)
    if not base_match:
        fail("no export directory")
        return {}, image_base
    ordinal_base = int(base_match.group(1))
    rvas = {}
    section = dump[base_match.end():].split("\n\n", 1)[0]
    for index, rva in re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-fA-F]+) Export RVA", section):
        rvas[int(index)] = int(rva, 16)
    names_at = dump.find("[Ordinal/Name Pointer] Table")
    exports = {}
    for index, name in re.findall(r"^\s*\[\s*(\d+)\] (\S+)$", dump[names_at:].split("\n\n", 1)[0], re.M):
        exports[name] = (int(index) + ordinal_base, rvas.get(int(index)))
    return exports, image_base


def check_exports(exports):
    names = set(exports)
    if names != set(ARGUMENT_COUNTS):
        missing = sorted(set(ARGUMENT_COUNTS) - names)
        extra = sorted(names - set(ARGUMENT_COUNTS))
        fail(f"export names differ: missing {missing}, unexpected {extra}")
    ordinal = exports.get("GetAppSelfUpdURL", (None, None))[0]
    if ordinal != 14:
        fail(f"GetAppSelfUpdURL has ordinal {ordinal}, want 14")


def check_imports(dump):
    imports = sorted({m.lower() for m in re.findall(r"^\s*DLL Name: (\S+)$", dump, re.M)})
    for name in imports:
        if not SYSTEM_DLLS.match(name):
            fail(f"imports {name}, which is not a Windows system DLL")
    return imports


class Disassembly:
    """Functions of the image by their symbol labels, with their instructions."""

    LABEL = re.compile(r"^([0-9a-f]+) <(.+)>:$")
    INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\t(.*)$")

    def __init__(self, text):
        self.functions = {}   # name -> (start, [(address, instruction)])
        self.at_address = {}  # start address -> name
        current = None
        for line in text.splitlines():
            label = self.LABEL.match(line)
            if label:
                current = label.group(2)
                start = int(label.group(1), 16)
                self.functions[current] = (start, [])
                self.at_address.setdefault(start, current)
                continue
            instruction = self.INSTRUCTION.match(line)
            if instruction and current is not None:
                self.functions[current][1].append((int(instruction.group(1), 16), instruction.group(2).strip()))

    def parts(self, name):
        """The function and its compiler-split cold parts."""
        return [n for n in (name, name + ".cold") if n in self.functions]


RET = re.compile(r"^ret[lw]?\s*(?:\$0x([0-9a-f]+))?$")
JUMP = re.compile(r"^jmp\s+([0-9a-f]+) <([^>+]+)(?:\+0x[0-9a-f]+)?>$")


def check_stdcall(disassembly, exports, image_base):
    for name, (_, rva) in sorted(exports.items()):
        if name not in ARGUMENT_COUNTS or rva is None:
            continue
        expected = 4 * ARGUMENT_COUNTS[name]
        entry = disassembly.at_address.get(image_base + rva)
        if entry is None:
            fail(f"{name}: no symbol at its address; the image must keep its symbol table for this check")
            continue
        pending, seen, returns = [entry], set(), 0
        while pending:
            function = pending.pop()
            for part in disassembly.parts(function):
                if part in seen:
                    continue
                seen.add(part)
                for address, instruction in disassembly.functions[part][1]:
                    ret = RET.match(instruction)
                    if ret:
                        returns += 1
                        removed = int(ret.group(1) or "0", 16)
                        if removed != expected:
                            fail(f"{name}: '{instruction}' at {address:#x} in {part} removes {removed} bytes, want {expected}")
                        continue
                    jump = JUMP.match(instruction)
                    if jump:
                        target = jump.group(2).removesuffix(".cold")
                        if target != function and target not in seen:
                            pending.append(target)  # a tail call returns for us
        if returns == 0:
            fail(f"{name}: no return instruction found")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), required=True)
    parser.add_argument("dll")
    args = parser.parse_args()

    dump = run(args.objdump, "-p", args.dll)
    check_headers(dump, args.bits)
    exports, image_base = read_exports(dump)
    check_exports(exports)
    imports = check_imports(dump)
    if args.bits == 32:
        check_stdcall(Disassembly(run(args.objdump, "-d", "--no-show-raw-insn", args.dll)), exports, image_base)

    if failures:
        for message in failures:
            print("FAIL:", message, file=sys.stderr)
        return 1
    checked = "19 undecorated exports, GetAppSelfUpdURL at ordinal 14"
    if args.bits == 32:
        checked += ", every return of every export removes its arguments"
    print(f"ok ({args.bits}-bit): {checked}; imports: {' '.join(imports)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
