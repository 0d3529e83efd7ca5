"""The differential test: the mail library against Python's email package.

run.py TOOL CORPUS FIXED FAILED: reads every mail of CORPUS (generate.py's,
fixed seed) and of FIXED (mails that once failed) with TOOL (the library,
as the mail check reads a mail) and with reference.py, and fails on any
difference, naming the first ones. Mails that differ are copied to FAILED,
to be kept in FIXED once mended. A mail X.eml with a file X.expect beside it
is expected to read as that file says (reference.py) where Python reads it
otherwise.
"""
import json
import shutil
import subprocess
import sys
from pathlib import Path

here = Path(__file__).resolve().parent
sys.path.insert(0, str(here))
import reference  # noqa: E402


def from_hex(h):
    return bytes.fromhex(h)


def library_results(tool, files):
    out = {}
    for i in range(0, len(files), 200):
        batch = files[i:i + 200]
        run = subprocess.run([tool] + [str(f) for f in batch], capture_output=True, check=True)
        for line in run.stdout.decode().splitlines():
            path, result, subject, sender, body, files_field = line.split("\t")
            listed = []
            for item in filter(None, files_field.split(",")):
                name, digest = item.split(":")
                listed.append((from_hex(name).decode("utf-8", errors="replace"), digest))
            out[path] = {
                "result": int(result),
                "subject": from_hex(subject).decode("cp932", errors="replace"),
                "from": from_hex(sender).decode("cp932", errors="replace"),
                "body": from_hex(body).decode("cp932", errors="replace"),
                "files": sorted(listed),
            }
    return out


def files_match(expected, got):
    if len(expected) != len(got):
        return False
    for (en, eh), (gn, gh) in zip(expected, got):
        if en != gn or (eh is not None and eh != gh):
            return False
    return True


def main():
    # Mails nested a thousand levels and more are read by recursion.
    sys.setrecursionlimit(50000)
    tool, corpus, fixed, failed_dir = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3]), Path(sys.argv[4])
    files = sorted(corpus.glob("*.eml")) + sorted(fixed.glob("*.eml"))
    if len(files) < 100:
        print("the corpus is missing: %d mails" % len(files))
        return 1
    got = library_results(tool, files)
    if failed_dir.exists():
        shutil.rmtree(failed_dir)
    failures = 0
    for f in files:
        exp = reference.read(f.read_bytes())
        expect_file = f.with_suffix(".expect")
        if expect_file.exists():
            own = json.loads(expect_file.read_text(encoding="utf-8"))
            for key in ("subject", "from", "body"):
                if key in own:
                    exp[key] = reference.to_cp932_text(own[key])
            if "files" in own:
                exp["files"] = sorted(reference.unique_names([(n, h) for n, h in own["files"]]))
        g = got[str(f)]
        problems = []
        if g["result"] != 1:
            problems.append("result %d" % g["result"])
        for key in ("subject", "from", "body"):
            if exp[key] != g[key]:
                problems.append("%s: expected %r, got %r" % (key, exp[key][:300], g[key][:300]))
        if not files_match(exp["files"], g["files"]):
            problems.append("files: expected %r, got %r" % (exp["files"], g["files"]))
        if problems:
            failures += 1
            failed_dir.mkdir(parents=True, exist_ok=True)
            shutil.copy(f, failed_dir / f.name)
            if expect_file.exists():
                shutil.copy(expect_file, failed_dir / expect_file.name)
            if failures <= 15:
                print("%s:\n  %s" % (f.name, "\n  ".join(problems)))
    print("%d mails, %d differ" % (len(files), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
