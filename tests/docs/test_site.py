"""The documentation site: it builds with warnings as errors, every internal
link and image of every page resolves, every figure a page or the README
names exists, the settings page agrees with the program's key table, and the
README stays short."""
import glob
import os
import re
import subprocess
from html.parser import HTMLParser
from urllib.parse import unquote, urlsplit

from conftest import DOCS, REPO, program


class Page(HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids, self.links, self.images = set(), [], []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            self.ids.add(a["id"])
        if tag == "a" and a.get("href"):
            self.links.append(a["href"])
        if tag == "img" and a.get("src"):
            self.images.append(a["src"])
        if tag == "link" and a.get("href"):
            self.links.append(a["href"])
        if tag == "script" and a.get("src"):
            self.links.append(a["src"])


def parse(path):
    page = Page()
    page.feed(open(path, encoding="utf-8").read())
    return page


def test_every_internal_link_and_image_resolves(site):
    pages = {p: parse(p) for p in glob.glob(os.path.join(site, "**", "*.html"), recursive=True)
             if "/_static/" not in p}
    assert len(pages) >= 15
    problems = []
    for path, page in pages.items():
        for href in page.links:
            url = urlsplit(href)
            if url.scheme or href.startswith("mailto:"):
                continue
            target = os.path.normpath(os.path.join(os.path.dirname(path), unquote(url.path))) if url.path else path
            if os.path.isdir(target):
                target = os.path.join(target, "index.html")
            if not os.path.exists(target):
                problems.append(f"{os.path.relpath(path, site)}: link {href} leads nowhere")
            elif url.fragment and target in pages and url.fragment not in pages[target].ids:
                problems.append(f"{os.path.relpath(path, site)}: link {href}: no such anchor")
        for src in page.images:
            target = os.path.normpath(os.path.join(os.path.dirname(path), unquote(urlsplit(src).path)))
            if not os.path.isfile(target) or os.path.getsize(target) == 0:
                problems.append(f"{os.path.relpath(path, site)}: image {src} is missing or empty")
    for sheet in glob.glob(os.path.join(site, "_static", "**", "*.css"), recursive=True):
        for target in re.findall(r"@import url\(['\"]?([^)'\"]+)", open(sheet, encoding="utf-8").read()):
            if "://" in target or target.startswith("/") or not os.path.exists(
                    os.path.join(os.path.dirname(sheet), target)):
                problems.append(f"{os.path.relpath(sheet, site)}: imports {target}, which the site does not hold")
    assert not problems, "\n".join(problems)


# ![text](path) and <img src="path"> in Markdown.
IMAGE = re.compile(r"!\[[^\]]*\]\(([^)\s]+)\)|<img [^>]*src=\"([^\"]+)\"")
LINK = re.compile(r"(?<!!)\[[^\]]*\]\(([^)\s#]+)(?:#[^)]*)?\)")


def test_every_figure_the_pages_and_readme_name_exists():
    sources = glob.glob(os.path.join(DOCS, "**", "*.md"), recursive=True) + [os.path.join(REPO, "README.md")]
    named, problems = 0, []
    for source in sources:
        text = open(source, encoding="utf-8").read()
        for match in IMAGE.finditer(text):
            path = os.path.normpath(os.path.join(os.path.dirname(source), match.group(1) or match.group(2)))
            named += 1
            if not (os.path.isfile(path) and open(path, "rb").read(8) == b"\x89PNG\r\n\x1a\n"):
                problems.append(f"{os.path.relpath(source, REPO)}: {path} is not a PNG file")
    assert named >= 4
    assert not problems, "\n".join(problems)


def test_readme_is_short_and_its_links_resolve():
    readme = os.path.join(REPO, "README.md")
    lines = open(readme, encoding="utf-8").read().split("\n")
    assert len(lines) <= 170, f"README.md has {len(lines)} lines: it should fit on two screens"
    text = "\n".join(lines)
    for target in LINK.findall(text):
        if "://" not in target:
            assert os.path.exists(os.path.join(REPO, target)), f"README.md links to {target}, which does not exist"
    # The two set-up commands of the README stay as they are.
    assert ("tools/install-deps && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFLUVIAGEN_TESTS=OFF && "
            "cmake --build build -j2 --target fluviagen && ./build/fluviagen --seed 2026 --out build/example "
            "examples/river/settings.txt < /dev/null") in text
    assert ("tools/install-deps --tests && cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DFLUVIAGEN_TESTS=ON && "
            "cmake --build build -j2 && ctest --test-dir build --output-on-failure -j2") in text


def test_settings_page_agrees_with_the_programs_key_table():
    done = subprocess.run(["/usr/bin/python3", os.path.join(DOCS, "settings_table.py"), program("fluviagen"),
                           "--check"], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr


def load_settings_table():
    import importlib.util
    spec = importlib.util.spec_from_file_location("settings_table", os.path.join(DOCS, "settings_table.py"))
    table = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(table)
    return table


def test_settings_check_sees_each_column_the_program_owns(tmp_path):
    # A stand-in program whose key table is the page's own: the page passes,
    # and a change in any column the program owns is named.
    import json
    table = load_settings_table()
    lines, start, end, rows = table.read_page()
    keys = [{"line": int(r[0]), "name": table.uncode(r[1]), "kind": r[2], "range": table.uncode(r[3]),
             "default": table.uncode(r[4]), "meaning": r[5]} for r in rows]
    fake = tmp_path / "fluviagen"
    fake.write_text("#!/usr/bin/python3\nprint(open(%r).read())\n" % str(tmp_path / "keys.json"))
    fake.chmod(0o755)

    def check(keys):
        (tmp_path / "keys.json").write_text(json.dumps(keys))
        return subprocess.run(["/usr/bin/python3", os.path.join(DOCS, "settings_table.py"), str(fake), "--check"],
                              capture_output=True, text=True)

    assert check(keys).returncode == 0, check(keys).stderr
    for field, value, column in [("name", "generation_count", "Name"), ("kind", "decimal", "Kind"),
                                 ("range", "1..9", "Range"), ("default", "12345", "Default"),
                                 ("meaning", "something else", "Meaning")]:
        changed = [dict(k, **({field: value} if k["line"] == 9 else {})) for k in keys]
        done = check(changed)
        assert done.returncode == 1 and f"line 9, column {column}" in done.stderr, (field, done.stderr)
    done = check(keys + [{"line": 42, "name": "extra", "kind": "whole", "range": "", "default": "1", "meaning": "x"}])
    assert done.returncode == 1 and "line 42" in done.stderr
