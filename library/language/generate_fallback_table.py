#!/usr/bin/env python3
"""Builds the library's own Simplified/Traditional character table from
OpenCC's character dictionaries (text dumps made by opencc_dict).

Each dictionary line is "key<TAB>candidate candidate ..."; the first
candidate is taken. Only single characters of the Basic Multilingual Plane on
both sides are kept, and entries that map a character to itself are dropped.

Writes the C++ source with both tables, a summary of how much of the Big5 and
GBK repertoires the tables map, and the sample texts (one character a line)
whose OpenCC conversion the tests compare against.
"""
import sys


def read_table(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if "\t" not in line:
                continue
            key, values = line.split("\t", 1)
            candidates = values.split(" ")
            if not candidates or not candidates[0]:
                continue
            value = candidates[0]
            if len(key) != 1 or len(value) != 1:
                continue
            if ord(key) > 0xFFFF or ord(value) > 0xFFFF or key == value:
                continue
            table.setdefault(ord(key), ord(value))
    return dict(sorted(table.items()))


def encodable(ch, codec):
    try:
        ch.encode(codec)
        return True
    except UnicodeEncodeError:
        return False


def emit(out, name, table):
    out.write(f"extern const std::uint16_t {name}[][2] = {{\n")
    items = list(table.items())
    for i in range(0, len(items), 6):
        out.write("    " + " ".join(f"{{0x{k:04X}, 0x{v:04X}}}," for k, v in items[i:i + 6]) + "\n")
    out.write("};\n")
    out.write(f"extern const std::size_t {name}Count = {len(items)};\n\n")


def main():
    st_path, ts_path, cpp_path, summary_path, trad_sample, simp_sample = sys.argv[1:7]
    to_traditional = read_table(st_path)
    to_simplified = read_table(ts_path)
    with open(cpp_path, "w", encoding="ascii") as out:
        out.write("// Generated at build time from OpenCC's STCharacters and TSCharacters; do not edit.\n")
        out.write("#include <cstddef>\n#include <cstdint>\n\nnamespace quorlane::chinese_table {\n\n")
        emit(out, "kTraditionalToSimplified", to_simplified)
        emit(out, "kSimplifiedToTraditional", to_traditional)
        out.write("}  // namespace quorlane::chinese_table\n")

    big5 = [k for k in to_simplified if encodable(chr(k), "cp950")]
    big5_target = [k for k in big5 if encodable(chr(to_simplified[k]), "gbk")]
    gbk = [k for k in to_traditional if encodable(chr(k), "gbk")]
    gbk_target = [k for k in gbk if encodable(chr(to_traditional[k]), "cp950")]
    with open(summary_path, "w", encoding="utf-8") as out:
        out.write(f"Traditional to Simplified: {len(to_simplified)} characters; "
                  f"{len(big5)} of them in Big5 (cp950), {len(big5_target)} of those with a GBK result\n")
        out.write(f"Simplified to Traditional: {len(to_traditional)} characters; "
                  f"{len(gbk)} of them in GBK, {len(gbk_target)} of those with a Big5 (cp950) result\n")
    with open(trad_sample, "w", encoding="utf-8") as out:
        out.write("".join(chr(k) + "\n" for k in big5))
    with open(simp_sample, "w", encoding="utf-8") as out:
        out.write("".join(chr(k) + "\n" for k in gbk))


if __name__ == "__main__":
    main()
