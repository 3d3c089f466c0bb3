#!/usr/bin/env python3
"""Checks that the sources keep the layers of docs/architecture.md.

Usage: check_layers.py SOURCE_ROOT [BUILD_DIR]

The layer table in docs/architecture.md ("| target | folder | links |") is the one place
that says which CMake target lives in which folder and what it links. From it:

1. Every include line of every source and header (their own lines):
   - lies in a folder of the table (nothing directly under client/);
   - names project headers in quotes, by their path from the root (or a file beside it),
     never with "..", never in angle brackets;
   - points only into folders of targets that its target reaches through its links;
   - uses an external library's headers only when its own target links that library
     directly (POSIX and socket headers only where the table grants them).
2. With BUILD_DIR: the include closure of every compiled source and of every header of
   client/app, as the compiler sees it (-H over compile_commands.json), reaches no confined
   library (gloox, GnuTLS, Qt modules, libcurl, OpenSSL, libgps, minizip, zlib) that its
   target does not link directly; so gloox cannot reach a window through another header.
3. With BUILD_DIR: the link graph CMake wrote at configure time (lumora-link-graph.txt)
   has exactly the rows and links of the table.
"""

import concurrent.futures
import json
import os
import re
import shlex
import subprocess
import sys

PRODUCT_FOLDERS = ("kestra", "platform", "client", "update")
PROJECT_TOP = ("kestra", "platform", "client", "update", "tests", "testing", "bench", "fuzz")
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".c")
# Folders whose headers are also preprocessed on their own: the seam the windows include.
HEADER_CLOSURE_FOLDERS = ("client/app",)

# Header kinds a link item brings. Qt items bring Qt headers of their module (and of the
# modules it builds on); the include closure tells the modules apart by path.
LINK_KINDS = {
    "pugixml::pugixml": {"pugixml"},
    "Boost::boost": {"boost"},
    "Threads::Threads": set(),
    "CURL::libcurl": {"curl"},
    "OpenSSL::Crypto": {"openssl"},
    "PkgConfig::LIBGPS": {"gps"},
    "PkgConfig::GLOOX": {"gloox"},
    "PkgConfig::GNUTLS": {"gnutls"},
    "PkgConfig::MINIZIP": {"zip"},
    "ZLIB::ZLIB": {"zlib"},
}
QT_MODULES = {
    "Core": {"QtCore"},
    "Gui": {"QtCore", "QtGui"},
    "Widgets": {"QtCore", "QtGui", "QtWidgets"},
    "Network": {"QtCore", "QtNetwork"},
    "Multimedia": {"QtCore", "QtGui", "QtNetwork", "QtMultimedia"},
    "Test": {"QtCore", "QtTest"},
}
# Plain words in the links column: permissions for headers that no library brings.
PERMISSIONS = {"POSIX": {"posix", "sockets"}, "sockets": {"sockets"}}
# Kinds every layer may use.
FREE_KINDS = {"std", "pugixml", "boost"}
# Kinds the include closure is checked for.
CONFINED_KINDS = {"gloox", "gnutls", "curl", "openssl", "gps", "zip", "zlib", "qt"}

C_STD = {"assert", "ctype", "errno", "fenv", "float", "inttypes", "limits", "locale", "math",
         "setjmp", "stdarg", "stddef", "stdint", "stdio", "stdlib", "string", "time", "uchar",
         "wchar", "wctype"}
SOCKETS = re.compile(r"^(sys/socket\.h|sys/un\.h|netinet/.*|arpa/inet\.h|netdb\.h|ifaddrs\.h)$")
POSIX = re.compile(r"^(unistd\.h|fcntl\.h|termios\.h|pthread\.h|spawn\.h|signal\.h|poll\.h|"
                   r"pwd\.h|dirent\.h|sched\.h|semaphore\.h|syslog\.h|dlfcn\.h|sys/.*)$")
HEADER_KINDS = [
    (re.compile(r"^(Q[A-Za-z0-9_]*|Qt[A-Za-z]*/.*)$"), "qt"),
    (re.compile(r"^gloox/"), "gloox"),
    (re.compile(r"^gnutls/"), "gnutls"),
    (re.compile(r"^curl/"), "curl"),
    (re.compile(r"^openssl/"), "openssl"),
    (re.compile(r"^(gps\.h|libgpsmm\.h)$"), "gps"),
    (re.compile(r"^(unzip\.h|zip\.h|ioapi\.h|minizip/.*)$"), "zip"),
    (re.compile(r"^zlib\.h$"), "zlib"),
    (re.compile(r"^pugixml\.hpp$"), "pugixml"),
    (re.compile(r"^boost/"), "boost"),
    (SOCKETS, "sockets"),
    (POSIX, "posix"),
]
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
TABLE_HEADER = re.compile(r"^\|\s*target\s*\|\s*folder\s*\|\s*links\s*\|")


class Layers:
    """The layer table: rows of target, folder and links."""

    def __init__(self, root):
        self.rows = {}  # target -> (folder, project links, external links, permissions)
        self.errors = []
        self._read(os.path.join(root, "docs", "architecture.md"))
        self.folders = sorted({row[0] for row in self.rows.values()}, key=len, reverse=True)
        self._close()

    def _read(self, path):
        try:
            lines = open(path, encoding="utf-8").read().splitlines()
        except OSError as e:
            self.errors.append(f"cannot read the layer table: {e}")
            return
        start = next((i for i, l in enumerate(lines) if TABLE_HEADER.match(l)), None)
        if start is None:
            self.errors.append(f"{path}: no table '| target | folder | links |'")
            return
        for line in lines[start + 2:]:
            if not line.startswith("|"):
                break
            cells = [c.strip() for c in line.strip().strip("|").split("|")]
            if len(cells) != 3:
                self.errors.append(f"layer table: bad row: {line}")
                continue
            target, folder = cells[0].strip("`"), cells[1].strip("`").rstrip("/")
            items = [i.strip() for i in re.split(r"[,;]", cells[2]) if i.strip() not in ("", "—")]
            links = [i.strip("`") for i in items if i.startswith("`")]
            words = [i for i in items if not i.startswith("`")]
            self.rows[target] = (folder, links, words)

    def _close(self):
        targets = set(self.rows)
        self.direct = {}  # folder -> permitted header kinds (and Qt modules)
        self.reach = {}  # folder -> folders it may include from
        for target, (folder, links, words) in self.rows.items():
            kinds = self.direct.setdefault(folder, set())
            for link in links:
                if link in targets:
                    continue
                if link.startswith("Qt6::"):
                    module = link[len("Qt6::"):]
                    kinds |= {"qt"} | QT_MODULES.get(module, {"QtCore", "Qt" + module})
                elif link in LINK_KINDS:
                    kinds |= LINK_KINDS[link]
                else:
                    self.errors.append(f"layer table: {target} links {link}, whose headers the "
                                       "check does not know (add it to LINK_KINDS)")
            for word in words:
                if word not in PERMISSIONS:
                    self.errors.append(f"layer table: {target}: unknown permission '{word}'")
                kinds |= PERMISSIONS.get(word, set())
            seen, todo = set(), [target]
            while todo:
                t = todo.pop()
                if t in seen or t not in self.rows:
                    continue
                seen.add(t)
                todo.extend(l for l in self.rows[t][1] if l in targets)
            self.reach.setdefault(folder, set()).update(self.rows[t][0] for t in seen)

    def layer_of(self, path):
        for folder in self.folders:
            if path == folder or path.startswith(folder + "/"):
                return folder
        return None


def header_kind(root, including_dir, name):
    if name.split("/")[0] in PROJECT_TOP or os.path.isfile(os.path.join(root, name)) or \
            os.path.isfile(os.path.join(root, including_dir, name)):
        return "project"
    if re.match(r"^[a-z_]+$", name):
        return "std"
    if name.endswith(".h") and name[:-2] in C_STD:
        return "std"
    for pattern, kind in HEADER_KINDS:
        if pattern.match(name):
            return kind
    return "unknown"


def product_files(root):
    for top in PRODUCT_FOLDERS:
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), root)


def check_own_lines(root, layers):
    errors = []
    for path in product_files(root):
        layer = layers.layer_of(path)
        if layer is None:
            errors.append(f"{path}: not in any folder of the layer table (add a row to "
                          "docs/architecture.md, or move the file into a layer)")
            continue
        here = os.path.dirname(path)
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if m:
                    problem = include_problem(root, layers, layer, here, m.group(1), m.group(2))
                    if problem:
                        errors.append(f"{path}:{number}: {m.group(2)}: {problem}")
    return errors


def include_problem(root, layers, layer, here, bracket, name):
    parts = name.split("/")
    if bracket == '"':
        if ".." in parts or parts[0] == ".":
            return "relative include path (name project headers by their path from the root)"
        if len(parts) == 1:
            return None if os.path.isfile(os.path.join(root, here, name)) else \
                "not a file beside this one (external headers use angle brackets)"
        if not (os.path.isfile(os.path.join(root, name)) or
                os.path.isfile(os.path.join(root, name + ".in"))):
            return "not a project file (external headers use angle brackets)"
        target = layers.layer_of(name)
        if target is None:
            return "a file in no layer"
        if target not in layers.reach.get(layer, {layer}):
            return f"{layer} may not include from {target}"
        return None
    kind = header_kind(root, here, name)
    if kind == "project":
        return "project header in angle brackets (use quotes)"
    if kind == "unknown":
        return "an external header the layer check does not know (add its kind)"
    if kind in FREE_KINDS or kind in layers.direct.get(layer, set()):
        return None
    return f"{kind} headers are not for {layer} (its target does not link them)"


# ---- include closure ----

def external_kind(path):
    """The confined library an external header belongs to, by its path."""
    m = re.search(r"/qt6/(Qt[A-Za-z]+)/", path)
    if m:
        return m.group(1)
    base = os.path.basename(path)
    for marker, kind in (("/gloox/", "gloox"), ("/gnutls/", "gnutls"), ("/curl/", "curl"),
                         ("/openssl/", "openssl"), ("/minizip/", "zip")):
        if marker in path:
            return kind
    if base in ("gps.h", "libgpsmm.h"):
        return "gps"
    if base in ("unzip.h", "ioapi.h"):
        return "zip"
    if base == "zlib.h":
        return "zlib"
    return None


def preprocess_command(entry, source=None):
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    out, skip = [], False
    for arg in args:
        if skip:
            skip = False
            continue
        if arg in ("-o", "-MF", "-MT", "-MQ"):
            skip = True
            continue
        # A header preprocessed on its own warns about "#pragma once in main file".
        if arg in ("-c", "-MD", "-MMD", "-M", "-MM") or arg.startswith("-Werror") or \
                arg == entry["file"]:
            continue
        out.append(arg)
    if source:
        out += ["-x", "c++", source]
    else:
        out.append(entry["file"])
    return out + ["-E", "-H", "-o", os.devnull]


def closure(entry, source=None):
    """(file, [(depth, path)]) from the compiler's -H output."""
    run = subprocess.run(preprocess_command(entry, source), cwd=entry["directory"],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    tree = []
    for line in run.stderr.splitlines():
        m = re.match(r"^(\.+) (.*)$", line)
        if m:
            tree.append((len(m.group(1)), os.path.normpath(os.path.join(entry["directory"],
                                                                       m.group(2)))))
    failure = None
    if run.returncode != 0:
        failure = run.stderr.strip().splitlines()[-1] if run.stderr.strip() else "failed"
    return tree, failure


def closure_problems(root, layers, path, tree):
    layer = layers.layer_of(path)
    allowed = layers.direct.get(layer, set())
    problems, chain = [], []
    for depth, header in tree:
        del chain[depth - 1:]
        shown = os.path.relpath(header, root) if header.startswith(root + os.sep) else header
        chain.append(shown)
        kind = external_kind(header)
        if kind is None or kind in allowed:
            continue
        through = " -> ".join(chain[:-1]) or "its own include"
        name = "Qt module " + kind if kind.startswith("Qt") else kind
        problems.append(f"{path}: reaches {name} ({shown}) through {through}")
        break  # one line per source is enough to find the way
    return problems


def check_closure(root, build, layers):
    commands = os.path.join(build, "compile_commands.json")
    try:
        entries = json.load(open(commands, encoding="utf-8"))
    except (OSError, ValueError) as e:
        return [f"cannot read {commands}: {e}"]
    jobs = []  # (path, entry, header or None)
    first_of_layer = {}
    for entry in entries:
        file = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        if not file.startswith(root + os.sep):
            continue
        path = os.path.relpath(file, root)
        layer = layers.layer_of(path) if path.split("/")[0] in PRODUCT_FOLDERS else None
        if layer is None:
            continue
        jobs.append((path, entry, None))
        first_of_layer.setdefault(layer, entry)
    for folder in HEADER_CLOSURE_FOLDERS:
        entry = first_of_layer.get(folder)
        if entry is None:
            continue
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if name.endswith((".h", ".hpp")):
                jobs.append((f"{folder}/{name}", entry, os.path.join(root, folder, name)))
    errors = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        results = pool.map(lambda job: (job[0], closure(job[1], job[2])), jobs)
        for path, (tree, failure) in results:
            if failure:
                errors.append(f"{path}: the compiler could not preprocess it: {failure}")
            errors += closure_problems(root, layers, path, tree)
    if not jobs:
        errors.append(f"{commands}: no compiled source of the layers")
    return errors


# ---- link graph ----

def check_link_graph(build, layers):
    graph_file = os.path.join(build, "lumora-link-graph.txt")
    try:
        lines = open(graph_file, encoding="utf-8").read().splitlines()
    except OSError as e:
        return [f"cannot read {graph_file} (written when CMake configures): {e}"]
    processed, graph = set(), {}
    for line in lines:
        fields = line.split("|")
        if fields[0] == "dir":
            processed.add(fields[1])
        elif fields[0] == "target" and fields[2].split("/")[0] in PRODUCT_FOLDERS:
            graph[fields[1]] = (fields[2], [l for l in fields[3].split(";") if l])
    errors = []
    for target, (folder, links) in sorted(graph.items()):
        row = layers.rows.get(target)
        if row is None:
            errors.append(f"link graph: {target} ({folder}/) has no row in the layer table")
            continue
        if row[0] != folder:
            errors.append(f"link graph: {target} is made in {folder}/, the table says {row[0]}/")
        missing, extra = set(row[1]) - set(links), set(links) - set(row[1])
        if missing:
            errors.append(f"link graph: {target} does not link {', '.join(sorted(missing))} "
                          "as the table says")
        if extra:
            errors.append(f"link graph: {target} links {', '.join(sorted(extra))}, which the "
                          "table does not list")
    for target, (folder, _, _) in sorted(layers.rows.items()):
        if target not in graph and folder in processed:
            errors.append(f"link graph: the table lists {target}, which CMake does not make")
    return errors


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__)
        return 2
    root = os.path.realpath(argv[1])
    layers = Layers(root)
    errors = list(layers.errors)
    if not layers.rows:
        print("layers: " + "\n".join(errors))
        return 1
    errors += check_own_lines(root, layers)
    checked = "every include points along an allowed edge"
    if len(argv) == 3:
        build = os.path.realpath(argv[2])
        errors += check_closure(root, build, layers)
        errors += check_link_graph(build, layers)
        checked += "; the include closures and the link graph match the table"
    for error in errors:
        print("layers: " + error)
    if errors:
        print(f"{len(errors)} layer problem(s).")
        return 1
    print(f"layers: {checked}.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
