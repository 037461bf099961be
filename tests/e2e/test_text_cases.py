#!/usr/bin/env python3
"""Page text as a reader sees it, over the corpus and the small files that
tools/make_text_cases.py writes (text-state operators, forms, TrueType subsets, Type 3
fonts, encodings, rotation, inline images, same-layout pages, broken fonts, nine
colour operands, wrapped phrases, web addresses), measured by tools/text_measure.py
against PyMuPDF. Floors: in every file at least 99.5% of the words found where the
page shows them; every phrase occurrence linked (across line breaks too); at least
95% of the web-scan targets exactly what a reader expects and none other.

Usage: test_text_cases.py <quillmark binary>   (needs PyMuPDF, pikepdf, ReportLab)
"""
import json
import os
import subprocess
import sys

from corpus_util import Checks, work_folder

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools")

check = Checks()


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    for module in ("fitz", "pikepdf", "reportlab"):
        if subprocess.run([python, "-c", "import " + module]).returncode != 0:
            print("FAIL: %s is needed" % module)
            return 1
    with work_folder("qm_text_cases_") as work:
        cases = os.path.join(work, "cases")
        subprocess.run([python, os.path.join(TOOLS, "make_text_cases.py"), cases], check=True)
        out = os.path.join(work, "measure.json")
        r = subprocess.run([python, os.path.join(TOOLS, "text_measure.py"), sys.argv[1], "--cases", cases,
                            "--json", out])
        if r.returncode != 0:
            print("FAIL: the measuring script failed")
            return 1
        web = exact = other = 0
        for res in json.load(open(out)):
            name = res["file"]
            if res["failed"]:
                check.fail("%s: extraction failed" % name)
            if res["words"] and res["in_place"] / res["words"] < 0.995:
                check.fail("%s: %d of %d words in place" % (name, res["in_place"], res["words"]))
            if res["phrases_linked"] != res["phrases"]:
                check.fail("%s: %d of %d phrase occurrences linked" % (name, res["phrases_linked"], res["phrases"]))
            web += res["web"]
            exact += res["web_exact"]
            other += len(res["web_wrong"])
            if res["web_wrong"]:
                check.fail("%s: targets no reader expects: %s" % (name, res["web_wrong"][:5]))
        if web and exact / web < 0.95:
            check.fail("web targets exact: %d of %d" % (exact, web))
    return check.summary("all text-case checks passed")


if __name__ == "__main__":
    sys.exit(main())
