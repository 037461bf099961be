#!/usr/bin/env python3
"""Installing and packaging.

Usage: test_install.py <path of the quillmark executable in its build folder>

`cmake --install` of that build folder into a fresh prefix must put the program, the
batch script, the manual pages and the documentation in their usual places, and the
installed program and script must work from there. The manual pages must render
without warnings and name every option of the usage text (as must README.md), so
the documentation cannot fall behind the program. `cpack -G DEB` must make a Debian
package holding the same files under /usr, with its library dependencies read from
the binary; the program unpacked from it must run.
"""
import glob
import gzip
import os
import re
import shutil
import sys

import corpus_util
from corpus_util import Checks, work_folder

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))

check = Checks(clip=3000, encoding="utf-8")


def run(cmd, **kw):
    return corpus_util.run(cmd[0], cmd[1:], timeout=600, **kw)


def usage_options(exe):
    """The options the usage text lists, as they are written in the manual (-s, -pos...)."""
    _, out, _ = run([exe])
    text = out.decode("latin-1").split("Example usage")[0]
    names = set()
    for m in re.finditer(r"^(-[A-Za-z]+)", text, re.M):
        names.add(m.group(1))
    return names


def rendered_man(path):
    """The manual page as man shows it, and the warnings of groff."""
    env = dict(os.environ, MANWIDTH="100", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    rc, out, err = run(["man", "--warnings=all", "-l", path], env=env)
    plain = re.sub(r".\x08", "", out.decode("utf-8", "replace"))
    return rc, plain, err


def installed_layout(prefix, expect_gz=True):
    man = "share/man/man1/%s.1" + (".gz" if expect_gz else "")
    return ["bin/quillmark", "bin/quillmark-parallel", man % "quillmark", man % "quillmark-parallel",
            "share/doc/quillmark/README.md", "share/doc/quillmark/modes.md", "share/doc/quillmark/fontfile.md",
            "share/doc/quillmark/examples/sample.pdf"]


def main():
    exe = os.path.abspath(sys.argv[1])
    build = os.path.dirname(exe)
    for tool in ("cmake", "cpack", "man", "groff", "dpkg-deb", "dpkg-shlibdeps", "qpdf", "parallel"):
        if shutil.which(tool) is None:
            print("%s is needed (Debian packages cmake, man-db, groff-base, dpkg-dev, qpdf, parallel)" % tool)
            return 1
    with work_folder("qm_install_") as work:
        # ---- cmake --install ----
        prefix = os.path.join(work, "prefix")
        rc, out, err = run(["cmake", "--install", build, "--prefix", prefix])
        check(rc == 0, "cmake --install succeeds", out + err)
        for rel in installed_layout(prefix):
            check(os.path.isfile(os.path.join(prefix, rel)), "installed: %s" % rel)
        for rel in ("bin/quillmark", "bin/quillmark-parallel"):
            p = os.path.join(prefix, rel)
            check(os.path.exists(p) and os.access(p, os.X_OK), "%s is executable" % rel)

        # The installed program works on the installed sample.
        qm = os.path.join(prefix, "bin", "quillmark")
        sample = os.path.join(prefix, "share", "doc", "quillmark", "examples", "sample.pdf")
        stamped = os.path.join(work, "stamped.pdf")
        rc, out, _ = run([qm, sample, stamped, "-text", "Installed", "-link", "https://example.com/"])
        check(rc == 0 and out.endswith(b"\nDone.\n"), "the installed quillmark stamps the sample", out)
        rc, out, _ = run(["qpdf", "--check", stamped])
        check(rc == 0, "the installed program's output passes qpdf --check", out)

        # The installed script finds the installed program on PATH.
        batch = os.path.join(work, "batch")
        os.makedirs(batch)
        with open(os.path.join(batch, "list.txt"), "w") as f:
            f.write("%s\n%s\n" % (sample, stamped))
        env = dict(os.environ, PATH=os.path.join(prefix, "bin") + os.pathsep + os.environ.get("PATH", ""))
        rc, out, err = run([os.path.join(prefix, "bin", "quillmark-parallel"), "-j", "2", "--chunk-size", "1",
                            "list.txt", "-fout", "-create"], cwd=batch, env=env)
        check(rc == 0 and sorted(os.listdir(os.path.join(batch, "out"))) == ["sample.pdf", "stamped.pdf"],
              "the installed quillmark-parallel runs the installed quillmark", out + err)
        rc, out, _ = run([os.path.join(prefix, "bin", "quillmark-parallel"), "--help"])
        check(rc == 0 and out.startswith(b"Usage: quillmark-parallel"), "quillmark-parallel --help", out)

        # ---- manual pages and README ----
        options = usage_options(exe)
        check(len(options) >= 30, "the usage text lists the options", repr(sorted(options)))
        with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
            readme = f.read()
        pages = {}
        for page in ("quillmark", "quillmark-parallel"):
            gz = os.path.join(prefix, "share", "man", "man1", page + ".1.gz")
            if not os.path.exists(gz):
                continue
            with gzip.open(gz, "rb") as f, open(os.path.join(ROOT, "docs", page + ".1"), "rb") as g:
                check(f.read() == g.read(), "%s.1.gz holds docs/%s.1" % (page, page))
            rc, text, warnings = rendered_man(gz)
            check(rc == 0 and len(text) > 1000, "man renders %s(1)" % page, text)
            check(warnings.strip() == b"", "%s(1) renders without warnings" % page, warnings)
            pages[page] = text
        man = pages.get("quillmark", "")
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "MODES", "OPTIONS", "BATCH MODE", "MESSAGES",
                        "EXIT STATUS", "EXAMPLES"):
            check(re.search(r"^%s$" % section, man, re.M) is not None, "quillmark(1) has a %s section" % section)
        for opt in sorted(options):
            if opt == "-f":
                continue
            check(re.search(r"(?<![\w-])%s(?![a-zA-Z])" % re.escape(opt), man) is not None,
                  "quillmark(1) documents %s" % opt)
            check(("`%s" % opt) in readme, "README.md documents %s" % opt)
        for msg in ("Error parameter", "Document error", "Done.", "Unable to open file list:",
                    "please specify -f for output folder", "Wildcards * are not permitted", "Unexpected exception"):
            check(msg in man.replace("\u2010", "-"), "quillmark(1) names the message %r" % msg)
            check(msg in readme, "README.md names the message %r" % msg)
        par = pages.get("quillmark-parallel", "")
        _, helptext, _ = run(["bash", os.path.join(ROOT, "tools", "quillmark-parallel"), "--help"])
        for opt in ("--jobs", "--sshlogin", "--sshloginfile", "--chunk-size", "--quillmark", "--stop-on-error",
                    "--failed", "--tmpdir", "--parallel-option"):
            check(opt in par.replace("\u2010", "-"), "quillmark-parallel(1) documents %s" % opt)
            check(opt.encode() in helptext, "quillmark-parallel --help names %s" % opt)
            check(("`%s" % opt) in readme or ("%s " % opt) in readme, "README.md names %s" % opt)

        # ---- the Debian package ----
        pkg = os.path.join(work, "pkg")
        rc, out, err = run(["cpack", "-G", "DEB", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", pkg])
        debs = glob.glob(os.path.join(pkg, "*.deb"))
        check(rc == 0 and len(debs) == 1, "cpack -G DEB makes one package", out + err)
        if debs:
            deb = debs[0]
            rc, listing, _ = run(["dpkg-deb", "-c", deb])
            names = {line.split()[-1].lstrip(".") for line in listing.decode().splitlines()}
            for rel in installed_layout("/usr"):
                check("/usr/" + rel in names, "the package holds /usr/%s" % rel, listing)
            fields = {}
            for field in ("Package", "Version", "Architecture", "Depends", "Recommends", "Maintainer", "Description"):
                rc, val, _ = run(["dpkg-deb", "-f", deb, field])
                fields[field] = val.decode().strip()
            check(fields["Package"] == "quillmark" and fields["Version"].startswith("1.10"),
                  "package name and version", repr(fields))
            for lib in ("libc6", "libstdc++6", "zlib1g"):
                check(lib in fields["Depends"], "the package depends on %s" % lib, fields["Depends"])
            check("parallel" in fields["Recommends"], "the package recommends parallel", fields["Recommends"])
            check(fields["Maintainer"] != "" and fields["Description"] != "", "maintainer and description")
            unpacked = os.path.join(work, "unpacked")
            rc, out, err = run(["dpkg-deb", "-x", deb, unpacked])
            rc, out, _ = run([os.path.join(unpacked, "usr", "bin", "quillmark")])
            check(rc == 0 and out.startswith(b"\r\nQuillmark v1.10"), "the packaged program runs", out)

    return check.summary("all install and package checks passed")


if __name__ == "__main__":
    sys.exit(main())
