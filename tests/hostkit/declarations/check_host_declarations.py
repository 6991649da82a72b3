#!/usr/bin/env python3
"""Checks the host kit's C# class and Delphi unit with real compilers and
compares what they compiled against the DLL's module-definition file.

- C#: Quorlane.cs is compiled with mcs for x86 and for any CPU; a small
  reflection program (run under Mono, never calling the DLL) lists each
  DllImport as the runtime sees it.
- Delphi: Quorlane.pas is compiled by Free Pascal in Delphi mode; ppudump
  reads the compiled unit (calling convention, import names, parameters and
  their types, resolved through the compiled System unit).

Both must declare exactly the 19 exports of library/Quorlane.def, stdcall,
with the argument count the .def's decoration gives, ANSI texts, integer and
window arguments of the right kind, and GetConvertedMessageDotNet taken and
returned as a raw pointer (it may hand back its argument, or null).

  check_host_declarations.py --source-dir DIR [--work-dir DIR]
"""
import argparse
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

failures = []


def fail(message):
    failures.append(message)


def run(cmd, **kwargs):
    result = subprocess.run(cmd, capture_output=True, text=True, **kwargs)
    if result.returncode != 0:
        raise SystemExit(f"{' '.join(cmd)} failed ({result.returncode}):\n{result.stdout}{result.stderr}")
    return result.stdout


def read_def(path):
    """name -> (ordinal, argument count) from 'Name = Name@bytes @ordinal'."""
    exports = {}
    for line in open(path, encoding="ascii"):
        m = re.match(r"\s*(\w+)\s*=\s*\w+@(\d+)\s+@(\d+)\s*$", line)
        if m:
            exports[m.group(1)] = (int(m.group(3)), int(m.group(2)) // 4)
    return exports


def read_signatures(path):
    """name -> (result kind, [argument kinds]) from export_signatures.h."""
    table = {}
    pattern = re.compile(r'\{"(\w+)",\s*(\d+),\s*ResultKind::(\w+),\s*(\d+),\s*\{([^}]*)\}\}')
    for m in pattern.finditer(open(path, encoding="utf-8").read()):
        kinds = re.findall(r"ArgKind::(\w+)", m.group(5))
        table[m.group(1)] = (m.group(3), kinds[: int(m.group(4))], int(m.group(2)))
    return table


def check_table(def_exports, signatures):
    if len(def_exports) != 19:
        fail(f"Quorlane.def lists {len(def_exports)} exports, not 19")
    if set(def_exports) != set(signatures):
        fail(f"export_signatures.h and Quorlane.def differ: {sorted(set(def_exports) ^ set(signatures))}")
    for name, (ordinal, count) in def_exports.items():
        if name in signatures:
            result, kinds, sig_ordinal = signatures[name]
            if len(kinds) != count or sig_ordinal != ordinal:
                fail(f"{name}: .def says {count} arguments at ordinal {ordinal}, the signature table "
                     f"{len(kinds)} at {sig_ordinal}")


# --- C# --------------------------------------------------------------------

CS_RESULT = {"Text": {"System.IntPtr"}, "Integer": {"System.Int32"}, "None": {"System.Void"}}
CS_ARG = {"Text": {"System.String", "System.IntPtr"}, "Integer": {"System.Int32"}, "Window": {"System.IntPtr"}}


def check_csharp(source_dir, work, signatures):
    mcs = shutil.which("mcs")
    mono = shutil.which("mono")
    if not mcs or not mono:
        fail("mcs or mono is missing (Debian mono-mcs; run scripts/setup)")
        return
    cs = os.path.join(source_dir, "hostkit", "Quorlane.cs")
    dump = os.path.join(work, "dllimport_dump.exe")
    run([mcs, "-nologo", "-out:" + dump, os.path.join(source_dir, "tests", "hostkit", "declarations", "dllimport_dump.cs")])
    for platform, pe_ok in (("x86", lambda k: "Required32Bit" in k),
                            ("anycpu", lambda k: "Required32Bit" not in k and "PE32Plus" not in k)):
        assembly = os.path.join(work, f"Quorlane.{platform}.dll")
        run([mcs, "-nologo", "-warnaserror", "-target:library", "-platform:" + platform, "-out:" + assembly, cs])
        lines = run([mono, dump, assembly]).splitlines()
        where = f"Quorlane.cs ({platform})"
        kind = lines[0].split()[1] if lines and lines[0].startswith("pe ") else ""
        if not pe_ok(kind) or "ILOnly" not in kind:
            fail(f"{where}: assembly kind {kind!r} does not fit {platform}")
        seen = {}
        for line in lines[1:]:
            fields = dict(f.split("=", 1) for f in line.split()[2:])
            entry = line.split()[1]
            if entry in seen:
                fail(f"{where}: {entry} is declared twice")
            seen[entry] = fields
        if set(seen) != set(signatures):
            missing = sorted(set(signatures) - set(seen))
            extra = sorted(set(seen) - set(signatures))
            fail(f"{where}: missing {missing}, not exported {extra}")
        for entry, f in seen.items():
            if entry not in signatures:
                continue
            result, kinds, _ = signatures[entry]
            params = [p for p in f["params"].split(",") if p]
            if f["dll"] != "Quorlane.dll":
                fail(f"{where}: {entry} imports from {f['dll']}")
            if f["conv"] != "StdCall":
                fail(f"{where}: {entry} is {f['conv']}, not StdCall")
            if f["returns"] not in CS_RESULT[result]:
                fail(f"{where}: {entry} returns {f['returns']}, expected {sorted(CS_RESULT[result])}")
            if len(params) != len(kinds):
                fail(f"{where}: {entry} takes {len(params)} arguments, the DLL {len(kinds)}")
                continue
            for i, (param, k) in enumerate(zip(params, kinds)):
                type_name, _, marshal = param.partition(":")
                if type_name not in CS_ARG[k]:
                    fail(f"{where}: {entry} argument {i + 1} is {type_name}, expected {sorted(CS_ARG[k])}")
                if type_name == "System.String" and f["charset"] != "Ansi" and marshal != "LPStr":
                    fail(f"{where}: {entry} argument {i + 1} is not marshalled as ANSI (CharSet {f['charset']})")
        # The argument may come back as the result: both must stay raw pointers
        # whose lifetime the class controls, never a marshalled string.
        g = seen.get("GetConvertedMessageDotNet")
        if g and (g["params"] != "System.IntPtr" or g["returns"] != "System.IntPtr"):
            fail(f"{where}: GetConvertedMessageDotNet must take and return IntPtr, not {g['params']} -> {g['returns']}")


# --- Delphi / Free Pascal ----------------------------------------------------

PAS_RESULT = {"Text": {"PChar", "PAnsiChar"}, "Integer": {"LongInt"}, "None": {"$void"}}
PAS_ARG = {"Text": {"PChar", "PAnsiChar"}, "Integer": {"LongInt"}, "Window": {"NativeUInt", "QWord", "LongWord"}}


def ppu_blocks(text, header):
    """Splits a ppudump listing into the blocks that start with `header` lines."""
    parts = re.split(r"^(\*\* " + header + r" Id \d+ \*\*)$", text, flags=re.M)
    return {int(re.search(r"\d+", parts[i]).group()): parts[i + 1] for i in range(1, len(parts) - 1, 2)}


class PpuTypes:
    """Resolves 'Unit U, DefId D' references to type names through each unit's dump."""

    def __init__(self, ppudump, deref, dumps_by_unit):
        self.names = {}
        for unit_index, unit in enumerate(deref):
            text = dumps_by_unit.get(unit.upper())
            if text is None:
                continue
            symbols = {i: b.strip().splitlines()[0] for i, b in ppu_blocks(text, "Symbol").items()}
            for def_id, block in ppu_blocks(text, "Definition").items():
                m = re.search(r"Type symbol : \(\d+\) SymId (\d+)", block)
                if m and int(m.group(1)) in symbols:
                    self.names[(unit_index, def_id)] = symbols[int(m.group(1))].replace("Type symbol ", "")

    def name(self, reference):
        m = re.search(r"Unit (\d+), DefId (\d+)", reference)
        return self.names.get((int(m.group(1)), int(m.group(2))), reference) if m else reference


def check_pascal(source_dir, work, signatures):
    fpc, ppudump = shutil.which("fpc"), shutil.which("ppudump")
    if not fpc or not ppudump:
        fail("fpc or ppudump is missing (Debian fp-compiler, fp-utils; run scripts/setup)")
        return
    out = os.path.join(work, "pascal")
    os.makedirs(out, exist_ok=True)
    shutil.copy(os.path.join(source_dir, "hostkit", "Quorlane.pas"), out)
    # Delphi mode, every warning and hint shown; a unit needs no linking.
    listing = run([fpc, "-Mdelphi", "-Sew", "-vwn", "-FU" + out, os.path.join(out, "Quorlane.pas")])
    unit_text = run([ppudump, os.path.join(out, "Quorlane.ppu")])
    deref = re.findall(r"^DerefMap\[\d+\] = (\S+)", unit_text, flags=re.M)
    version = run([fpc, "-iV"]).strip()
    target = run([fpc, "-iTP"]).strip() + "-" + run([fpc, "-iTO"]).strip()
    systems = [p for pattern in ("/usr/lib/*/fpc", "/usr/lib/fpc", "/usr/local/lib/fpc")
               for p in glob.glob(f"{pattern}/{version}/units/{target}/rtl/system.ppu")]
    if not systems:
        fail(f"the compiled System unit of fpc {version} ({target}) was not found")
        return
    dumps = {"QUORLANE": unit_text, "SYSTEM": run([ppudump, systems[0]])}
    # References to the unit's own definitions are numbered after the others.
    types = PpuTypes(ppudump, deref + ["QUORLANE"], dumps)
    where = "Quorlane.pas"
    unit_symbols = {i: b.strip().splitlines()[0] for i, b in ppu_blocks(unit_text, "Symbol").items()}
    found = {}
    for block in ppu_blocks(unit_text, "Definition").values():
        if not block.lstrip().startswith("Procedure definition"):
            continue
        field = lambda key: (re.search(r"^\s*" + re.escape(key) + r" : (.*)$", block, flags=re.M) or [None, ""])[1].strip()
        procsym = re.search(r"SymId (\d+)", field("Procsym"))
        declared = unit_symbols.get(int(procsym.group(1)), "") if procsym else ""
        name = field("Import Name") or declared.replace("Procedure symbol ", "")
        params = re.findall(r"Parameter Variable symbol (\w+).*?Spez : (\w+).*?Var Type : (.*?)$", block, flags=re.S | re.M)
        found[name] = {
            "external": "External" in field("Options"),
            "dll": field("Import DLL"),
            "conv": field("CallOption"),
            "returns": types.name(field("Return type")),
            "params": [(p, spez, types.name(t)) for p, spez, t in params],
        }
    imported = {n: f for n, f in found.items() if f["external"]}
    if set(imported) != set(signatures):
        fail(f"{where}: missing {sorted(set(signatures) - set(imported))}, not exported {sorted(set(imported) - set(signatures))}")
    for name, f in imported.items():
        if name not in signatures:
            continue
        result, kinds, _ = signatures[name]
        if not re.search(r"(^|[/\\]|lib)Quorlane\.dll$", f["dll"]):
            fail(f"{where}: {name} imports from {f['dll']}")
        if f["conv"] != "StdCall":
            fail(f"{where}: {name} is {f['conv']}, not stdcall")
        if f["returns"] not in PAS_RESULT[result]:
            fail(f"{where}: {name} returns {f['returns']}, expected {sorted(PAS_RESULT[result])}")
        if len(f["params"]) != len(kinds):
            fail(f"{where}: {name} takes {len(f['params'])} arguments, the DLL {len(kinds)}")
            continue
        for (param, spez, type_name), k in zip(f["params"], kinds):
            if spez != "Value":
                fail(f"{where}: {name} passes {param} as {spez}, not by value")
            if type_name not in PAS_ARG[k]:
                fail(f"{where}: {name} argument {param} is {type_name}, expected {sorted(PAS_ARG[k])}")
    # The safe wrapper copies the result while the argument still lives.
    helper = found.get("ConvertedMessage")
    if not helper or helper["external"] or helper["returns"] != "AnsiString":
        fail(f"{where}: ConvertedMessage(AnsiString): AnsiString, the nil-safe wrapper of GetConvertedMessageDotNet, is missing")
    if "Warning" in listing or "Hint" in listing:
        fail(f"{where}: the compiler warned:\n{listing}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--work-dir")
    args = parser.parse_args()
    work = args.work_dir or tempfile.mkdtemp(prefix="hostkit-decl-")
    os.makedirs(work, exist_ok=True)
    def_exports = read_def(os.path.join(args.source_dir, "library", "Quorlane.def"))
    signatures = read_signatures(os.path.join(args.source_dir, "hostkit", "qlcall", "export_signatures.h"))
    check_table(def_exports, signatures)
    check_csharp(args.source_dir, work, signatures)
    check_pascal(args.source_dir, work, signatures)
    if not args.work_dir:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL:", f)
    if failures:
        return 1
    print(f"host declarations ok: {len(signatures)} exports in Quorlane.cs (x86, anycpu) and Quorlane.pas (Delphi mode)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
