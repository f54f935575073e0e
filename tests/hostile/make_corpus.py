#!/usr/bin/env python3
"""Builds the hostile-input corpus into a fresh folder.

documents/  files a user may point the program at, with documents.tsv:
            name, the mark it deserves (green, red, any; sound: green, or red
            for a reason other than damage), what it is, and
            the size of its first page in points where it has one.
names/      a tree of odd names and paths, with names.tsv: kind, the
            relative path as hex bytes, and the page size in points.
markers.txt the files hostile documents try to create; none may exist after a
            run. They lie in the temporary folder, where Ghostscript's SAFER
            mode still lets a PostScript program write.

Everything is made here from PostScript written below (through Ghostscript)
or from PDF bytes written by hand, so a run is repeatable and nothing comes
from elsewhere.
"""

import os
import random
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import zlib

def pdf_bytes(objects, root=1, trailer_extra=b"", offset_error=0):
    """A PDF whose objects are numbered from 1, with a correct xref table
    unless offset_error moves every entry of it."""
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % (offset + offset_error)
    out += b"trailer\n<< /Size %d /Root %d 0 R %s>>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, root, trailer_extra, xref)
    return bytes(out)


def stream(data, extra=b""):
    return b"<< /Length %d %s>>\nstream\n" % (len(data), extra) + data + b"\nendstream"


def block_content(width, height):
    """A dark block on a white page, so that no thumbnail is blank."""
    return (b"1 1 1 rg 0 0 %d %d re f 0.12 0.24 0.47 rg %d %d %d %d re f"
            % (width, height, width // 8, height // 2, width * 3 // 4, height * 3 // 8))


def one_page_pdf(width, height, page_extra=b"", catalog_extra=b"", more_objects=(),
                 offset_error=0):
    """Objects 1 catalog, 2 page tree, 3 page, 4 content, then more_objects."""
    objects = [
        b"<< /Type /Catalog /Pages 2 0 R %s>>" % catalog_extra,
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %d %d] /Contents 4 0 R %s>>"
        % (width, height, page_extra),
        stream(block_content(width, height)),
    ]
    return pdf_bytes(objects + list(more_objects), offset_error=offset_error)


def ghostscript(postscript, target, *options):
    subprocess.run(["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                    *options, "-o", target, "-"],
                   input=postscript.encode(), check=True)


def page_postscript(width, height, pages=1):
    return f"""%!PS
<< /PageSize [{width} {height}] >> setpagedevice
/Helvetica findfont 24 scalefont setfont
1 1 {pages} {{
  0.12 0.24 0.47 setrgbcolor {width // 8} {height // 8} {width * 3 // 4} {height // 2} rectfill
  1 setgray {width // 8 + 10} {height // 4} moveto 20 string cvs show showpage
}} for
"""


def png_bytes(width, height):
    """A grey RGB image, every chunk with its checksum."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))
    rows = b"".join(b"\x00" + b"\x80" * (3 * width) for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def write(path, data):
    with open(path, "wb") as file:
        file.write(data)


def make_documents(root, markers):
    folder = os.path.join(root, "documents")
    os.mkdir(folder)
    expected = []

    def add(name, mark, what, data=None, page=(200, 300)):
        if data is not None:
            write(os.path.join(folder, name), data)
        expected.append((name, mark, what, page))

    ghostscript(page_postscript(200, 300), os.path.join(folder, "one-page.pdf"))
    add("one-page.pdf", "green", "a plain one-page PDF")
    with open(os.path.join(folder, "one-page.pdf"), "rb") as file:
        real = file.read()

    add("junk-before-header.pdf", "green", "a PDF after a line of junk, as viewers accept",
        b"Content-Type: application/pdf\r\n\r\n" + real)
    add("empty.pdf", "red", "an empty file", b"")
    add("random-bytes.pdf", "red", "64 KiB of seeded random bytes",
        random.Random(20240229).randbytes(65536))
    add("text.pdf", "red", "a text file", b"Minutes of the meeting\n" * 200)

    # The page's content comes first; the cut leaves half of it and no page.
    content = zlib.compress(b"0 0 1 1 re f\n" * 20000)
    whole = pdf_bytes([
        stream(content, b"/Filter /FlateDecode "),
        b"<< /Type /Page /Parent 3 0 R /MediaBox [0 0 200 300] /Contents 1 0 R >>",
        b"<< /Type /Pages /Kids [2 0 R] /Count 1 >>",
        b"<< /Type /Catalog /Pages 3 0 R >>",
    ], root=4)
    add("cut-inside-page.pdf", "red", "a PDF cut off inside its only page",
        whole[:len(content) // 2 + 60])
    add("cut-after-page.pdf", "green",
        "a PDF cut off after its page, before its table (Ghostscript repairs it)",
        real[:len(real) * 2 // 3])

    page = b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 300] /Contents 4 0 R >>"
    add("kids-missing.pdf", "red", "a page tree whose only kid is a missing object",
        pdf_bytes([b"<< /Type /Catalog /Pages 2 0 R >>",
                   b"<< /Type /Pages /Kids [9 0 R] /Count 1 >>", page,
                   stream(block_content(200, 300))]))
    add("kids-self.pdf", "red", "a page tree that holds itself",
        pdf_bytes([b"<< /Type /Catalog /Pages 2 0 R >>",
                   b"<< /Type /Pages /Kids [2 0 R] /Count 1 >>", page,
                   stream(block_content(200, 300))]))
    add("zero-size-page.pdf", "any", "a page of 0 x 0 points", one_page_pdf(0, 0), page=(0, 0))
    add("wrong-xref-offsets.pdf", "green",
        "every entry of its table off by 7 bytes (Ghostscript repairs it)",
        one_page_pdf(200, 300, offset_error=7))

    ghostscript(page_postscript(200, 300), os.path.join(folder, "encrypted.pdf"),
                "-sOwnerPassword=owner-secret", "-sUserPassword=user-secret")
    add("encrypted.pdf", "red", "encrypted, opened only with a password")
    ghostscript(page_postscript(200, 300), os.path.join(folder, "restricted.pdf"),
                "-sOwnerPassword=owner-secret", "-dEncryptionR=3", "-dKeyLength=128",
                "-dPermissions=-3904")
    add("restricted.pdf", "green", "encrypted with an owner password only: opens without one")

    ghostscript(page_postscript(14400, 14400), os.path.join(folder, "huge-page.pdf"))
    add("huge-page.pdf", "sound", "one page of 200 x 200 inches", page=(14400, 14400))
    ghostscript(page_postscript(200, 300, pages=2000), os.path.join(folder, "2000-pages.pdf"))
    add("2000-pages.pdf", "green", "2,000 pages")

    launched = os.path.join(markers, "launched")
    script = os.path.join(root, "launch.sh")
    write(script, b"#!/bin/sh\ntouch '%s'\n" % launched.encode())
    os.chmod(script, 0o755)
    javascript = b"app.alert('hello'); this.exportDataObject({cName: 'x', nLaunch: 2});"
    add("javascript.pdf", "green", "JavaScript on opening and a launch action on a link",
        one_page_pdf(200, 300,
                     page_extra=b"/Annots [5 0 R] /AA << /O 6 0 R >>",
                     catalog_extra=b"/OpenAction 6 0 R /Names << /JavaScript 7 0 R >>",
                     more_objects=[
                         b"<< /Type /Annot /Subtype /Link /Rect [0 0 200 300] /Border [0 0 0]"
                         b" /A << /S /Launch /F (%s) /NewWindow true >> >>" % script.encode(),
                         b"<< /S /JavaScript /JS (%s) >>" % javascript,
                         b"<< /Names [(opening) 6 0 R] >>",
                     ]))

    # Ghostscript takes the first two for PostScript whatever "%PDF-" follows.
    for name, header in [("postscript.pdf", "%!PS-Adobe-3.0"),
                         ("postscript-claiming-pdf.pdf", "%!PS\n%PDF-1.4"),
                         ("comment-claiming-pdf.pdf", "%%PDF-1.4"),
                         ("eps-program.pdf", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 200 300")]:
        written = os.path.join(markers, "written-by-" + name)
        add(name, "red", "a PostScript program that tries to write a file, then loops for ever",
            f"""{header}
({written}) (w) file dup (hostile) writestring closefile
{{ }} loop
""".encode())

    add("image.pdf", "red", "a PNG image renamed", png_bytes(200, 300))

    os.mkdir(os.path.join(folder, "old.pdf"))
    add("old.pdf", "red", "a folder named like a PDF")
    write(os.path.join(folder, "old.pdf", "inside.pdf"), one_page_pdf(200, 300))
    add("old.pdf/inside.pdf", "green", "a PDF inside that folder")

    with open(os.path.join(root, "documents.tsv"), "w", encoding="utf-8") as table:
        for name, mark, what, (width, height) in expected:
            table.write(f"{name}\t{mark}\t{what}\t{width}\t{height}\n")
    with open(os.path.join(root, "markers.txt"), "w", encoding="utf-8") as table:
        for marker in [launched] + [os.path.join(markers, "written-by-" + name)
                                    for name in ("postscript.pdf", "eps-program.pdf")]:
            table.write(marker + "\n")


class NameTree:
    """Writes PDFs of distinct page sizes, so a thumbnail tells its source."""

    def __init__(self, root):
        self.root = os.path.join(root.encode(), b"names")
        os.mkdir(self.root)
        self.rows = []
        self.next_height = 100

    def pdf(self, relative, kind="pdf"):
        height = self.next_height
        self.next_height += 12
        write(os.path.join(self.root, relative), one_page_pdf(100, height))
        self.rows.append((kind, relative, 100, height))
        return height

    def note(self, kind, relative, width=0, height=0):
        self.rows.append((kind, relative, width, height))

    def save(self, path):
        with open(path, "w", encoding="ascii") as table:
            for kind, relative, width, height in self.rows:
                table.write(f"{kind}\t{relative.hex()}\t{width}\t{height}\n")


def make_names(root):
    tree = NameTree(root)
    for name in ["a%d.pdf", "a0.pdf", "%03d.pdf", "000.pdf", "b%s.pdf", "b.pdf",
                 "c%[width].pdf", "c.pdf", "%%.pdf", "%.pdf", "d[0].pdf", "d.pdf",
                 "e*.pdf", "eX.pdf", "f?.pdf", "fY.pdf", "png:g.pdf", "g.pdf",
                 "@h.pdf", "h.pdf", "-i.pdf", "--help.pdf", "it's \"quoted\".pdf",
                 " two  blanks .pdf", "back\\slash.pdf", "line\nbreak.pdf", ".pdf",
                 "UPPER.PDF", "Zoë Документ 報告.pdf", "x" * 240 + ".pdf",
                 "é" * 120 + ".pdf", "{brace}.pdf"]:
        tree.pdf(name.encode())

    # Latin-1 bytes from an old archive, next to the name they look like once
    # the invalid byte is replaced.
    tree.pdf(b"caf\xe9.pdf", kind="pdf-or-red")
    tree.pdf("caf\ufffd.pdf".encode())
    os.mkdir(os.path.join(tree.root, b"Ordner-\xe4"))
    tree.pdf(b"Ordner-\xe4/inside.pdf", kind="pdf-or-red")

    target_height = tree.pdf(b"linked-target.pdf")
    os.symlink(b"linked-target.pdf", os.path.join(tree.root, b"link-to-file.pdf"))
    tree.note("pdf", b"link-to-file.pdf", 100, target_height)
    os.symlink(b"nowhere.pdf", os.path.join(tree.root, b"dangling.pdf"))
    tree.note("red", b"dangling.pdf")

    for folder in [b"%d", b"[0]", b"*", b"-dir", b"Ordner \xc3\xa4 \"q\""]:
        os.mkdir(os.path.join(tree.root, folder))
        tree.pdf(folder + b"/inside.pdf")

    deep = b"/".join([b"level%02d" % level for level in range(60)])
    os.makedirs(os.path.join(tree.root, deep))
    tree.pdf(deep + b"/deep.pdf")

    # A folder path just short of PATH_MAX, so the folder can be listed but
    # the PDF's own path is longer than 4,095 bytes.
    make_too_long_path(tree)

    os.mkdir(os.path.join(tree.root, b"cycle"))
    tree.pdf(b"cycle/in-cycle.pdf")
    os.symlink(b"..", os.path.join(tree.root, b"cycle", b"back-up"))
    tree.note("cycle", b"cycle/back-up")

    os.mkdir(os.path.join(tree.root, b"unreadable"))
    tree.pdf(b"unreadable/hidden.pdf", kind="unreadable")
    os.chmod(os.path.join(tree.root, b"unreadable"), 0)

    tree.save(os.path.join(root, "names.tsv"))


def make_too_long_path(tree):
    parts = [b"p%02d" % index + b"_" * 196 for index in range(20)]
    folder = os.open(tree.root, os.O_RDONLY | os.O_DIRECTORY)
    length = len(tree.root)
    relative = []
    for part in parts:
        if length + 1 + len(part) > 4000:
            break
        os.mkdir(part, dir_fd=folder)
        inner = os.open(part, os.O_RDONLY | os.O_DIRECTORY, dir_fd=folder)
        os.close(folder)
        folder = inner
        length += 1 + len(part)
        relative.append(part)
    padding = 4000 - length - 1
    if padding > 0:
        os.mkdir(b"q" * padding, dir_fd=folder)
        inner = os.open(b"q" * padding, os.O_RDONLY | os.O_DIRECTORY, dir_fd=folder)
        os.close(folder)
        folder = inner
        relative.append(b"q" * padding)
    name = b"long-path" + b"_" * 237 + b".pdf"
    file = os.open(name, os.O_WRONLY | os.O_CREAT, 0o644, dir_fd=folder)
    height = tree.next_height
    tree.next_height += 12
    os.write(file, one_page_pdf(100, height))
    os.close(file)
    os.close(folder)
    tree.rows.append(("pdf-or-red", b"/".join(relative + [name]), 100, height))


def remove_tree(path):
    if not os.path.lexists(path):
        return
    for folder, subfolders, _ in os.walk(path):
        for name in subfolders:
            full = os.path.join(folder, name)
            if not os.path.islink(full):
                os.chmod(full, stat.S_IRWXU)
    shutil.rmtree(path)


def markers_folder(root):
    return os.path.join(tempfile.gettempdir(),
                        "leafmark-markers-%d-%08x" % (os.getuid(), zlib.crc32(root.encode())))


def release(root):
    """After the tests: the unreadable folder readable again, so that an
    ordinary user can delete the build folder, and the markers' folder gone."""
    unreadable = os.path.join(root, "names", "unreadable")
    if os.path.isdir(unreadable):
        os.chmod(unreadable, stat.S_IRWXU)
    remove_tree(markers_folder(root))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--release":
        release(os.path.abspath(sys.argv[2]))
        return
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py [--release] <output folder>")
    root = os.path.abspath(sys.argv[1])
    remove_tree(root)
    os.makedirs(root)
    markers = markers_folder(root)
    remove_tree(markers)
    os.mkdir(markers)
    make_documents(root, markers)
    make_names(root)


if __name__ == "__main__":
    main()
