#!/usr/bin/env python3
"""Builds the benchmark texts from OpenCC's Simplified-to-Traditional phrase
dictionary (a text dump of STPhrases, about 49,000 entries): its Simplified
phrases and their Traditional forms (first candidate), one phrase a line, repeated until each 8-bit text holds at least the given
number of bytes. Writes each text twice: in its 8-bit code page (for
ConvertText) and in UTF-8 (for OpenCC), with the same characters.

    make_texts.py STPhrases.txt out_dir [min_bytes]
"""
import os
import sys


def phrases(path, codec, column):
    words = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 2:
                continue
            word = fields[0] if column == 0 else fields[1].split(" ")[0]
            try:
                word.encode(codec)
            except UnicodeEncodeError:
                continue
            if word:
                words.append(word)
    return words


def write(words, codec, min_bytes, stem, out_dir):
    block = "\r\n".join(words) + "\r\n"
    encoded = block.encode(codec)
    repeat = -(-min_bytes // len(encoded))
    with open(os.path.join(out_dir, stem + "." + codec), "wb") as f:
        f.write(encoded * repeat)
    with open(os.path.join(out_dir, stem + ".utf8"), "wb") as f:
        f.write(block.encode("utf-8") * repeat)
    return len(words), len(encoded) * repeat


def main():
    st, out_dir = sys.argv[1:3]
    min_bytes = int(sys.argv[3]) if len(sys.argv) > 3 else 10 * 1024 * 1024
    n, size = write(phrases(st, "cp950", 1), "cp950", min_bytes, "traditional", out_dir)
    print(f"traditional: {n} phrases, {size} bytes of Big5")
    n, size = write(phrases(st, "gbk", 0), "gbk", min_bytes, "simplified", out_dir)
    print(f"simplified: {n} phrases, {size} bytes of GBK")


if __name__ == "__main__":
    main()
