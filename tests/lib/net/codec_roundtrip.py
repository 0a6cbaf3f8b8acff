#!/usr/bin/env python3
"""Round trips of the codecs against Python's own: base64, binascii.a2b_uu and
urllib.parse.unquote_plus, on random data of many sizes."""
import base64, binascii, random, subprocess, sys, urllib.parse

tool = sys.argv[1]
rng = random.Random(20261208)
failures = 0

def run(mode, data):
    return subprocess.run([tool, mode], input=data, stdout=subprocess.PIPE, check=True).stdout

def check(ok, what):
    global failures
    if not ok:
        failures += 1
        print("FAIL:", what)

sizes = list(range(0, 100)) + [135, 136, 44999, 45000, 45001, 1 << 20]
for size in sizes:
    data = bytes(rng.getrandbits(8) for _ in range(size)) if size < 5000 else rng.randbytes(size)
    mime = run("mime", data)
    lines = mime.split(b"\r\n")
    check(lines[-1] == b"", f"mime output ends with CR LF ({size})")
    check(all(len(l) <= 60 for l in lines), f"mime lines at most 60 ({size})")
    check(mime.replace(b"\r\n", b"") == base64.b64encode(data), f"mime equals base64 ({size})")
    uu = run("uu", data)
    ulines = uu.split(b"\r\n")
    check(ulines[-2:] == [b"`", b""], f"uu closing line ({size})")
    decoded = b"".join(binascii.a2b_uu(l) for l in ulines[:-2])
    check(decoded == data, f"uu decodes with binascii ({size})")
    # binascii writes the same lines, padded to whole groups; ours stop after the last byte.
    ref = binascii.b2a_uu(data[:45], backtick=True).rstrip(b"\n") if data else b""
    if data:
        check(ref.startswith(ulines[0]), f"uu first line is a prefix of binascii's ({size})")

alphabet = "abcXYZ019 +%-_.~/"
texts = []
for _ in range(2000):
    text = "".join(rng.choice(alphabet) if rng.random() < 0.7 else "%%%02x" % rng.getrandbits(8)
                   for _ in range(rng.randint(0, 40)))
    if any(text[i] == "%" and (i + 2 >= len(text) + 0 or not all(c in "0123456789abcdefABCDEF" for c in text[i+1:i+3]))
           for i in range(len(text))):
        continue  # only well-formed inputs have a reference answer
    texts.append(text)
# One run decodes every text, a line each (a process for each would take a minute on a loaded
# machine); a single one too, as a whole input.
got_lines = run("url-lines", "".join(t + "\n" for t in texts).encode()).split(b"\n")
check(len(got_lines) == len(texts) + 1, f"url-lines gave {len(got_lines) - 1} lines for {len(texts)}")
for text, got in zip(texts, got_lines):
    want = urllib.parse.unquote_to_bytes(text.replace("+", " "))
    check(bytes.fromhex(got.decode()) == want, f"url {text!r}: {got!r} != {want.hex()}")
check(run("url", b"a%20b+c") == b"a b c", "url as a whole input")

print(f"{'FAIL' if failures else 'PASS'}: codec round trips, {failures} failures")
sys.exit(1 if failures else 0)
