#!/usr/bin/python3
"""Packs the release zip: the executable, the user's guide as one HTML page with its
pictures, and SHA256SUMS of those members.

The zip is the same byte for byte whenever the inputs are: members in name order, every
member with the time given by --epoch (the last commit's time) and the same permissions.

Usage: release_pack.py --exe EXE --guide GUIDE.md --version VERSION --epoch SECONDS --zip OUT

The guide names its pictures relative to its own folder (![...](user-guide/start.png));
each goes into the zip under that name, beside the HTML page. Every picture it names must
be a PNG file that is not blank (MIN_COLOURS colours at least), and the page may reference nothing outside the zip.
Errors are printed as "release: ..." and exit with status 1.
"""

import argparse
import hashlib
import html
import html.parser
import os
import pathlib
import posixpath
import re
import subprocess
import sys
import time
import zipfile

import markdown

GUIDE_PAGE = "user-guide.html"
EXE_NAME = "MolaFlash.exe"
# A picture of the tool's window has tens of colours; one with fewer is blank, or of a
# window not yet painted.
MIN_COLOURS = 8
SUMS_NAME = "SHA256SUMS"

# A small fixed stylesheet, so that the page reads well offline in any browser.
STYLE = """\
body { font-family: Segoe UI, Tahoma, Verdana, sans-serif; font-size: 11pt; line-height: 1.5;
       max-width: 46em; margin: 2em auto; padding: 0 1em; color: #1a1a1a; background: #fff; }
h1, h2, h3 { line-height: 1.25; }
h1 { font-size: 1.7em; border-bottom: 1px solid #ccc; padding-bottom: 0.2em; }
h2 { font-size: 1.35em; margin-top: 1.6em; }
h3 { font-size: 1.1em; }
img { max-width: 100%; height: auto; border: 1px solid #bbb; }
code, pre { font-family: Consolas, Courier New, monospace; font-size: 0.95em; background: #f3f3f3; }
code { padding: 0 0.2em; }
pre { padding: 0.6em; overflow-x: auto; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.2em 0.5em; text-align: left; vertical-align: top; }
.release { margin-top: 3em; font-size: 0.9em; color: #555; }
"""


class ReleaseError(Exception):
    pass


class References(html.parser.HTMLParser):
    """Collects the pictures a page shows and whatever it would fetch from outside itself."""

    ADDRESSES = ("src", "href", "srcset", "poster", "data", "action", "background")
    EMBEDDED = ("script", "link", "iframe", "object", "embed", "base")

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.pictures = []
        self.outside = []

    def handle_starttag(self, tag, attrs):
        if tag in self.EMBEDDED:
            self.outside.append(f"<{tag}>")
        for name, value in attrs:
            if value is None:
                continue
            if tag == "img" and name == "src":
                self.pictures.append(value)
            if name in self.ADDRESSES and not is_local(value):
                self.outside.append(f'<{tag} {name}="{value}">')
            elif name == "style" and "url(" in value:
                self.outside.append(f'<{tag} style="{value}">')


def is_local(address):
    """A name relative to the page, or a place on the page itself ("#..." has no scheme)."""
    return not (re.match(r"^[A-Za-z][A-Za-z0-9+.-]*:", address) or address.startswith(("/", "\\")))


def picture_member(guide_dir, address):
    """The zip member name and the bytes of a picture the guide names, which must exist, be a
    PNG image, and not be blank."""
    if not is_local(address) or address.startswith("#"):
        raise ReleaseError(f'the guide shows a picture that is not a file beside it: "{address}"')
    if "?" in address or "#" in address or "\\" in address:
        raise ReleaseError(f'the guide names a picture oddly: "{address}" (use a plain relative path)')
    name = posixpath.normpath(address)
    if name.startswith("../") or name == ".." or name.startswith("/"):
        raise ReleaseError(f'the guide names a picture outside its folder: "{address}"')
    if not name.lower().endswith(".png"):
        raise ReleaseError(f'the guide names a picture that is not a PNG file: "{address}"')
    path = os.path.join(guide_dir, *name.split("/"))
    if not os.path.isfile(path):
        raise ReleaseError(f'the guide names a picture that does not exist: "{address}" (no {path})')
    data = pathlib.Path(path).read_bytes()
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        raise ReleaseError(f'the picture "{address}" is not a PNG file')
    try:
        info = subprocess.run(["identify", "-format", "%m %w %h %k\n", path], check=True,
                              capture_output=True, text=True).stdout.split()
    except (OSError, subprocess.CalledProcessError) as e:
        raise ReleaseError(f'cannot read the picture "{address}": {e}') from None
    if len(info) < 4 or info[0] != "PNG":
        raise ReleaseError(f'cannot read the picture "{address}": identify said "{" ".join(info)}"')
    width, height, colours = int(info[1]), int(info[2]), int(info[3])
    if colours < MIN_COLOURS:
        plural = "" if colours == 1 else "s"
        raise ReleaseError(f'the picture "{address}" is blank ({width}x{height}, {colours} colour{plural})')
    return name, data


def render_guide(text, version):
    body = markdown.markdown(text, extensions=["extra", "sane_lists"], output_format="html")
    heading = re.search(r"<h1[^>]*>(.*?)</h1>", body, re.S)
    title = re.sub(r"<[^>]+>", "", heading.group(1)).strip() if heading else "MolaFlash"
    return ("<!DOCTYPE html>\n"
            '<html lang="en">\n<head>\n<meta charset="utf-8">\n'
            f"<title>{title}</title>\n<style>\n{STYLE}</style>\n</head>\n<body>\n"
            f"{body}\n"
            f'<p class="release">This guide comes with MolaFlash {html.escape(version)}.</p>\n'
            "</body>\n</html>\n")


def pack(exe, guide, version, epoch, out):
    page = render_guide(pathlib.Path(guide).read_text(encoding="utf-8"), version)
    refs = References()
    refs.feed(page)
    refs.close()
    if refs.outside:
        raise ReleaseError(f"the guide references something outside the release: {refs.outside[0]}")

    members = {EXE_NAME: pathlib.Path(exe).read_bytes(), GUIDE_PAGE: page.encode("utf-8")}
    guide_dir = os.path.dirname(os.path.abspath(guide))
    for address in refs.pictures:
        name, data = picture_member(guide_dir, address)
        members[name] = data
    members[SUMS_NAME] = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n"
                                 for name, data in sorted(members.items())).encode("ascii")

    # A zip time has two-second steps and starts in 1980.
    when = time.gmtime(max(epoch, 315532800))[:6]
    # Written whole and then renamed: never a half-written zip under the release's name.
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as z:
        for name in sorted(members):
            info = zipfile.ZipInfo(name, date_time=when)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # permissions in Unix form
            info.external_attr = 0o100644 << 16
            z.writestr(info, members[name], compresslevel=9)
    os.replace(partial, out)


def main():
    parser = argparse.ArgumentParser(description="Packs the release zip.")
    for option in ("--exe", "--guide", "--version", "--epoch", "--zip"):
        parser.add_argument(option, required=True, type=int if option == "--epoch" else str)
    args = parser.parse_args()
    try:
        pack(args.exe, args.guide, args.version, args.epoch, args.zip)
    except (ReleaseError, OSError) as e:
        print(f"release: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
