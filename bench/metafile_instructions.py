#!/usr/bin/env python3
"""Instructions spent decoding each shared sample metafile, counted by callgrind.

Counts of instructions do not move with the machine's load, unlike the times of nimo-bench-metafile, so
two builds can be compared on a busy machine:

    bench/metafile_instructions.py build/default/tools/nimo-decode [OTHER/tools/nimo-decode]

With a second decoder, each file's change from the first to the second is printed too. Only the decoder's
own work counts (CPLMetafileDecoder::DoDecode and what it calls), not the program's start.
"""
import pathlib
import re
import subprocess
import sys

CORPUS = pathlib.Path(__file__).resolve().parents[2] / "shared" / "corpus" / "metafiles"


def instructions(decoder, picture):
    run = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null",
         "--toggle-collect=CPLMetafileDecoder::DoDecode*", decoder, "--depth", "32", str(picture), "/dev/null"],
        capture_output=True, text=True, check=False)
    found = re.search(r"I\s+refs:\s+([\d,]+)", run.stderr)
    return int(found.group(1).replace(",", "")) if found else None


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    if not CORPUS.is_dir():
        print(f"the shared metafile corpus is not there ({CORPUS}): nothing to measure")
        return
    decoders = sys.argv[1:]
    pictures = sorted(CORPUS.glob("wmf/*.wmf")) + sorted(CORPUS.glob("emf/*.emf"))
    print(f"{'file':46s}" + "".join(f"{'decoder ' + str(i + 1):>16s}" for i in range(len(decoders))) +
          ("   change" if len(decoders) == 2 else ""))
    for picture in pictures:
        counts = [instructions(d, picture) for d in decoders]
        line = f"{picture.name:46s}" + "".join(f"{c if c is not None else '-':>16}" for c in counts)
        if len(counts) == 2 and all(counts):
            line += f"  {100.0 * (counts[1] - counts[0]) / counts[0]:+6.1f} %"
        print(line, flush=True)


if __name__ == "__main__":
    main()
