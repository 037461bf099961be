#!/usr/bin/env python3
"""Measures page text against PyMuPDF: words found in place, phrases that wrap across
lines, and the targets of the web-address scan.

  tools/text_measure.py <quillmark binary> [--cases DIR] [--json OUT] [--quiet] [pdf ...]

Without pdf arguments it measures every readable file of tests/corpus and the files
that tools/make_text_cases.py writes (into DIR, or a temporary folder). qm_textdump is
expected next to the quillmark binary.

Figures, per file and in total:
  words     PyMuPDF's words (get_text("words"), ligatures spelt out) that Windows-1252
            can hold, and how many of them stand in the extracted text at the place
            the page shows them: the word's bytes occur in the page's characters, and
            the box of those characters and PyMuPDF's box of the word each hold the
            other's centre (1 unit of slack). "as words" also needs a space, a line
            start or the page's end on both sides.
  phrases   occurrences of a known phrase (the corpus ground truth's repeated phrase,
            cases.json's phrases), counted in PyMuPDF's words without regard to case;
            one is linked when `-textfile` with the phrase's spellings puts a link over
            every one of its words. "across" counts those that wrap to the next line.
  web       targets a reader expects from the web addresses of the text (the corpus
            ground truth's address words, cases.json's targets) against the targets
            `-create` gives; every other target counts as wrong.
"""
import collections
import json
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import fitz
    import pikepdf
except ImportError:
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != "/usr/bin/python3":
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "..", "tests", "corpus")
PREFIXES = ("http:", "https:", "www", "ftp:", "file:", "mailto")
LIGATURES = {"\ufb00": "ff", "\ufb01": "fi", "\ufb02": "fl", "\ufb03": "ffi", "\ufb04": "ffl",
             "\ufb05": "st", "\ufb06": "st"}
TRAILING = ".,;:!?'\"\u2019\u201d>"


def spell_out(text):
    return "".join(LIGATURES.get(ch, ch) for ch in text)


def reader_target(word):
    """The target a reader expects from an address word: from its prefix on, without the
    sentence punctuation and unopened closing brackets after it, "www" given http://.
    None when nothing follows the prefix."""
    low = word.lower()
    starts = [low.find(p) for p in PREFIXES if p in low]
    if not starts:
        return None
    w = word[min(starts):]
    while w:
        if w[-1] in TRAILING:
            w = w[:-1]
        elif w[-1] == ")" and w.count("(") < w.count(")"):
            w = w[:-1]
        elif w[-1] == "]" and w.count("[") < w.count("]"):
            w = w[:-1]
        else:
            break
    low = w.lower()
    matching = [p for p in PREFIXES if low.startswith(p)]
    if not matching:
        return None
    prefix = matching[0]
    if len(w) <= len(prefix) or (prefix != "www" and w[len(prefix):].strip("/") == ""):
        return None
    if prefix == "www":
        w = "http://" + w
    return w


# ---------------------------------------------------------------- reading both sides


def mupdf_pages(path):
    """Per page: (words in user space, mediabox), words as (x0, y0, x1, y1, text, block, line)."""
    doc = fitz.open(path)
    pages = []
    for page in doc:
        mb = page.mediabox
        page.set_rotation(0)
        page.set_cropbox(mb)
        words = []
        for w in page.get_text("words", flags=fitz.TEXT_PRESERVE_WHITESPACE | fitz.TEXT_MEDIABOX_CLIP):
            words.append((w[0] + mb.x0, mb.y1 - w[3], w[2] + mb.x0, mb.y1 - w[1], spell_out(w[4]), w[5], w[6]))
        pages.append(words)
    return pages


def our_pages(dump, path):
    """page -> [(x0, y0, x1, y1, byte)]; None when the extraction fails."""
    r = subprocess.run([dump, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
    pages = collections.defaultdict(list)
    for line in r.stdout.decode("latin-1").splitlines():
        if line.startswith("ERROR"):
            return None
        f = line.split()
        pages[int(f[0])].append((float(f[1]), float(f[2]), float(f[3]), float(f[4]), int(f[6], 16)))
    return pages


def box_of(chars):
    xs = [c[0] for c in chars] + [c[2] for c in chars]
    ys = [c[1] for c in chars] + [c[3] for c in chars]
    return min(xs), min(ys), max(xs), max(ys)


def holds(box, x, y, slack=1.0):
    return box[0] - slack <= x <= box[2] + slack and box[1] - slack <= y <= box[3] + slack


def centre(box):
    return (box[0] + box[2]) / 2, (box[1] + box[3]) / 2


def word_figures(words, chars):
    text = bytes(c[4] for c in chars)
    found = as_word = total = 0
    used = set()
    for w in words:
        try:
            wb = w[4].encode("cp1252")
        except UnicodeEncodeError:
            continue
        if any(b < 32 for b in wb):
            continue  # a control code: PyMuPDF did not know the character either
        total += 1
        wbox = w[:4]
        start = text.find(wb)
        hit = hit_word = False
        while start >= 0:
            end = start + len(wb)
            if (start, end) not in used:
                box = box_of(chars[start:end])
                if holds(wbox, *centre(box)) and holds(box, *centre(wbox)):
                    hit = True
                    before = text[start - 1] if start > 0 else 32
                    after = text[end] if end < len(text) else 32
                    if before == 32 and after == 32:
                        hit_word = True
                        used.add((start, end))
                        break
            start = text.find(wb, start + 1)
        found += hit
        as_word += hit_word
    return total, found, as_word


# ---------------------------------------------------------------- runs of the program


def new_links(src, out):
    """Per page: [(target, rect)] of the link annotations out has and src does not."""
    def annots(path):
        res = []
        with pikepdf.open(path) as pdf:
            for page in pdf.pages:
                items = []
                for a in page.obj.get("/Annots", pikepdf.Array()):
                    if not isinstance(a, pikepdf.Dictionary) or str(a.get("/Subtype", "")) != "/Link":
                        continue
                    act = a.get("/A")
                    uri = bytes(act.get("/URI")).decode("latin-1") if isinstance(act, pikepdf.Dictionary) and "/URI" in act else None
                    items.append((a.objgen, uri, [float(v) for v in a.get("/Rect", [0, 0, 0, 0])][:4]))
                res.append(items)
        return res
    before = annots(src)
    old = {x[0] for items in before for x in items}
    return [[(u, r) for (og, u, r) in items if og not in old] for items in annots(out)]


def run_program(binary, args, work):
    r = subprocess.run([binary] + args, cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300)
    return r.returncode


def phrase_occurrences(words, phrase):
    """Occurrences of phrase (case-insensitive) in a page's word list: lists of words."""
    parts = phrase.lower().split()
    out = []
    for i in range(len(words) - len(parts) + 1):
        ok = True
        for k, p in enumerate(parts):
            w = words[i + k][4].lower()
            if k == len(parts) - 1:
                w = w.rstrip(TRAILING)
            if w != p:
                ok = False
                break
        if ok:
            out.append(words[i:i + len(parts)])
    return out


def phrase_figures(binary, path, phrases, mpages, work):
    spellings = set()
    occurrences = []
    for pno, words in enumerate(mpages):
        for phrase in phrases:
            for occ in phrase_occurrences(words, phrase):
                occurrences.append((pno, occ))
                spellings.add(" ".join([w[4] for w in occ[:-1]] + [occ[-1][4].rstrip(TRAILING)]))
    if not occurrences:
        return 0, 0, 0, 0
    with open(os.path.join(work, "phrases.txt"), "w", encoding="utf-8") as f:
        for s in sorted(spellings):
            f.write(s + "\n")
    out = os.path.join(work, "phrases.pdf")
    if os.path.exists(out):
        os.remove(out)
    run_program(binary, [path, out, "-textfile", "phrases.txt", "-link", "https://phrase.example/"], work)
    links = new_links(path, out) if os.path.exists(out) else [[] for _ in mpages]
    linked = across = across_linked = 0
    for pno, occ in occurrences:
        rects = [r for (t, r) in links[pno] if t == "https://phrase.example/"]
        ok = all(any(holds((min(r[0], r[2]), min(r[1], r[3]), max(r[0], r[2]), max(r[1], r[3])),
                           *centre(w[:4]), slack=2.0) for r in rects) for w in occ)
        wraps = len({(w[5], w[6]) for w in occ}) > 1
        linked += ok
        across += wraps
        across_linked += ok and wraps
    return len(occurrences), linked, across, across_linked


def web_figures(binary, path, expected, work):
    out = os.path.join(work, "web.pdf")
    if os.path.exists(out):
        os.remove(out)
    run_program(binary, [path, out, "-create"], work)
    got = collections.Counter()
    if os.path.exists(out):
        for items in new_links(path, out):
            got.update(t for (t, _) in items)
    want = collections.Counter(expected)
    exact = sum((want & got).values())
    wrong = got - want
    return len(expected), exact, wrong


# ---------------------------------------------------------------- main


def measure_file(binary, dump, path, meta, work):
    mpages = mupdf_pages(path)
    ours = our_pages(dump, path)
    res = {"file": os.path.basename(path)}
    total = found = as_word = 0
    if ours is not None:
        for pno, words in enumerate(mpages):
            t, f, a = word_figures(words, ours.get(pno + 1, []))
            total += t
            found += f
            as_word += a
    else:
        total = sum(1 for words in mpages for w in words)
    res.update(words=total, in_place=found, as_words=as_word, failed=ours is None)
    phrases = meta.get("phrases", [])
    res.update(zip(("phrases", "phrases_linked", "across", "across_linked"),
                   phrase_figures(binary, path, phrases, mpages, work) if phrases else (0, 0, 0, 0)))
    web = meta.get("web")
    if web is not None:
        n, exact, wrong = web_figures(binary, path, web, work)
        res.update(web=n, web_exact=exact, web_wrong=sorted(wrong.elements()))
    else:
        res.update(web=0, web_exact=0, web_wrong=[])
    return res


def corpus_meta(json_path):
    truth = json.load(open(json_path, encoding="utf-8"))
    meta = {}
    phrase = truth.get("repeated_phrase")
    if phrase and phrase.get("total"):
        meta["phrases"] = [phrase["text"]]
    web = []
    for page in truth.get("pages", []):
        for word in page.get("web_address_words", []):
            try:
                word.encode("cp1252")
            except UnicodeEncodeError:
                continue
            t = reader_target(word)
            if t:
                web.append(t)
    meta["web"] = web
    return meta


def main():
    args = sys.argv[1:]
    if not args:
        print(__doc__)
        return 2
    binary = os.path.abspath(args.pop(0))
    dump = os.path.join(os.path.dirname(binary), "qm_textdump")
    cases_dir = json_out = None
    quiet = False
    files = []
    while args:
        a = args.pop(0)
        if a == "--cases":
            cases_dir = os.path.abspath(args.pop(0))
        elif a == "--json":
            json_out = args.pop(0)
        elif a == "--quiet":
            quiet = True
        else:
            files.append(os.path.abspath(a))
    work = tempfile.mkdtemp(prefix="qm_measure_")
    inputs = []
    try:
        if files:
            inputs = [(f, {}) for f in files]
        else:
            for name in sorted(os.listdir(CORPUS)):
                if name.endswith(".pdf") and not name.startswith(("damaged-", "encrypted-")):
                    p = os.path.join(CORPUS, name)
                    inputs.append((p, corpus_meta(p[:-4] + ".json")))
            if not cases_dir:
                cases_dir = os.path.join(work, "cases")
            if not os.path.exists(os.path.join(cases_dir, "cases.json")):
                subprocess.run([sys.executable, os.path.join(HERE, "make_text_cases.py"), cases_dir], check=True)
            meta = json.load(open(os.path.join(cases_dir, "cases.json")))
            for name in sorted(meta):
                inputs.append((os.path.join(cases_dir, name), meta[name]))
        results = [measure_file(binary, dump, p, m, work) for p, m in inputs]
    finally:
        shutil.rmtree(work, ignore_errors=True)
    tot = collections.Counter()
    if not quiet:
        print("%-44s %13s %7s %7s %11s %11s %9s" % ("file", "words", "place", "word", "phrases", "across", "web"))
    for r in results:
        for k in ("words", "in_place", "as_words", "phrases", "phrases_linked", "across", "across_linked", "web",
                  "web_exact"):
            tot[k] += r[k]
        if not quiet:
            print("%-44s %6d/%6d %6.1f%% %6.1f%% %5d/%5d %5d/%5d %4d/%4d%s" % (
                r["file"], r["in_place"], r["words"], 100.0 * r["in_place"] / max(r["words"], 1),
                100.0 * r["as_words"] / max(r["words"], 1), r["phrases_linked"], r["phrases"], r["across_linked"],
                r["across"], r["web_exact"], r["web"], "  FAILED" if r["failed"] else ""))
            if r["web_wrong"]:
                print("      other targets: %s" % ", ".join(r["web_wrong"][:8]))
    print("TOTAL words in place %d/%d (%.2f%%), as words %.2f%%; phrases linked %d/%d, across lines %d/%d; "
          "web targets exact %d/%d, other targets %d" % (
              tot["in_place"], tot["words"], 100.0 * tot["in_place"] / max(tot["words"], 1),
              100.0 * tot["as_words"] / max(tot["words"], 1), tot["phrases_linked"], tot["phrases"],
              tot["across_linked"], tot["across"], tot["web_exact"], tot["web"],
              sum(len(r["web_wrong"]) for r in results)))
    if json_out:
        with open(json_out, "w") as f:
            json.dump(results, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
