#!/usr/bin/env python3
"""The layer check must accept a tree that keeps its layers and reject each kind of break.

It builds a small tree of its own (sources, a layer table, fake gloox, GnuTLS and Qt headers,
a compile_commands.json for the real compiler and a link graph), checks that it passes,
then breaks it one way at a time and checks that the break is reported.
"""

import json
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")

TABLE = """# Architecture

## Layers

| target | folder | links |
|---|---|---|
| `kestra` | `kestra/` | `Threads::Threads` |
| `lumora_platform` | `platform/` | `kestra`; POSIX |
| `lumora_maps` | `client/maps/` | `kestra`, `lumora_platform` |
| `lumora_messaging` | `client/messaging/` | `kestra`, `PkgConfig::GLOOX`, `PkgConfig::GNUTLS`; sockets |
| `lumora_drawing` | `client/drawing/` | `kestra`, `Qt6::Gui` |
| `lumora_app` | `client/app/` | `kestra`, `lumora_maps`, `lumora_messaging` |
| `lumora_gui` | `client/gui/` | `lumora_app`, `lumora_drawing`, `Qt6::Widgets` |
| `lumora_update` | `update/` | `kestra`, `lumora_platform` |

Text after the table.
"""

GRAPH = {
    "kestra": ("kestra", ["Threads::Threads"]),
    "lumora_platform": ("platform", ["kestra"]),
    "lumora_maps": ("client/maps", ["kestra", "lumora_platform"]),
    "lumora_messaging": ("client/messaging", ["kestra", "PkgConfig::GLOOX", "PkgConfig::GNUTLS"]),
    "lumora_drawing": ("client/drawing", ["kestra", "Qt6::Gui"]),
    "lumora_app": ("client/app", ["kestra", "lumora_maps", "lumora_messaging"]),
    "lumora_gui": ("client/gui", ["lumora_app", "lumora_drawing", "Qt6::Widgets"]),
    "lumora_update": ("update", ["kestra", "lumora_platform"]),
}

FILES = {
    # Fake external headers, found through -isystem like the real ones.
    "sys/gloox/client.h": "#pragma once\nnamespace gloox { class Client; }\n",
    "sys/gnutls/gnutls.h": "#pragma once\n",
    "sys/qt6/QtCore/QObject": "#pragma once\nclass QObject {};\n",
    "sys/qt6/QtGui/QImage": '#pragma once\n#include <QObject>\nclass QImage {};\n',
    "sys/qt6/QtWidgets/QWidget": "#pragma once\n#include <QImage>\nclass QWidget {};\n",
    # The tree.
    "kestra/Log.h": "#pragma once\n#include <string>\n#include <cstdint>\n",
    "kestra/Log.cpp": '#include "kestra/Log.h"\n#include "Log.h"\n',
    "platform/Files.cpp": '#include <unistd.h>\n#include <sys/socket.h>\n#include "kestra/Log.h"\n',
    "client/maps/Tiles.h": '#pragma once\n#include "kestra/Log.h"\n',
    "client/maps/Tiles.cpp": '#include "client/maps/Tiles.h"\n#include "platform/Files.h"\n',
    "platform/Files.h": "#pragma once\n",
    "client/messaging/Session.h": "#pragma once\n#include <gloox/client.h>\n",
    "client/messaging/ISession.h": "#pragma once\n#include <string>\n",
    "client/messaging/Session.cpp": '#include "client/messaging/Session.h"\n#include <gnutls/gnutls.h>\n'
                                    '#include <netinet/in.h>\n',
    "client/drawing/Image.cpp": "#include <QImage>\n",
    "client/app/Version.h.in": "#pragma once\n",
    "client/app/Controller.h": '#pragma once\n#include "client/messaging/ISession.h"\n'
                               '#include "client/maps/Tiles.h"\n',
    "client/app/Controller.cpp": '#include "client/app/Controller.h"\n#include "client/app/Version.h"\n',
    "client/gui/Window.cpp": '#include "client/app/Controller.h"\n#include <QWidget>\n',
    "update/Main.cpp": '#include "kestra/Log.h"\n#include "platform/Files.h"\n',
}


def write(tree, path, text):
    full = os.path.join(tree, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w", encoding="utf-8") as f:
        f.write(text)


def make_tree(tree, build):
    write(tree, "docs/architecture.md", TABLE)
    for path, text in FILES.items():
        write(tree, path, text)
    # The generated header lives in the build folder, as the real one does.
    write(build, "generated/client/app/Version.h", "#pragma once\n")
    write_commands(tree, build)
    write_graph(build, GRAPH)


def write_commands(tree, build):
    entries = []
    sys_dir = os.path.join(tree, "sys")
    for top in ("kestra", "platform", "client", "update"):
        for folder, _, files in os.walk(os.path.join(tree, top)):
            for name in files:
                if name.endswith(".cpp"):
                    source = os.path.join(folder, name)
                    command = (f"c++ -std=c++17 -Wall -Werror -I{tree} -I{build}/generated "
                               f"-isystem {sys_dir} -isystem {sys_dir}/qt6 "
                               f"-isystem {sys_dir}/qt6/QtCore -isystem {sys_dir}/qt6/QtGui "
                               f"-isystem {sys_dir}/qt6/QtWidgets -o {name}.o -c {source}")
                    entries.append({"directory": build, "command": command, "file": source})
    with open(os.path.join(build, "compile_commands.json"), "w", encoding="utf-8") as f:
        json.dump(entries, f)


def write_graph(build, graph):
    lines = ["dir|", "dir|kestra", "dir|platform", "dir|client", "dir|client/maps",
             "dir|client/messaging", "dir|client/drawing", "dir|client/app", "dir|client/gui",
             "dir|update"]
    for target, (folder, links) in graph.items():
        lines.append(f"target|{target}|{folder}|{';'.join(links)}")
    with open(os.path.join(build, "lumora-link-graph.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def run_check(tree, build):
    """Without a build folder (None) the check reads only the files' own include lines."""
    args = [sys.executable, CHECK, tree] + ([build] if build else [])
    run = subprocess.run(args, capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


failures = []


def expect_rejected(tree, build, what, expected, path=None, text=None, graph=None,
                    closure=False):
    """Applies a break (a file written, or another link graph), runs the check, undoes it."""
    full = os.path.join(tree, path) if path else None
    old = open(full, encoding="utf-8").read() if full and os.path.exists(full) else None
    if path:
        write(tree, path, text)
        write_commands(tree, build)
    if graph:
        write_graph(build, graph)
    code, output = run_check(tree, build if closure or graph else None)
    if code == 0 or expected not in output:
        failures.append(f"not rejected as expected ({what}): wanted '{expected}', got:\n{output}")
    if path:
        if old is None:
            os.remove(full)
        else:
            write(tree, path, old)
        write_commands(tree, build)
    if graph:
        write_graph(build, GRAPH)


def expect_accepted(tree, build, what, path, text):
    write(tree, path, text)
    write_commands(tree, build)
    code, output = run_check(tree, build)
    if code != 0:
        failures.append(f"rejected although allowed ({what}):\n{output}")
    os.remove(os.path.join(tree, path))
    write_commands(tree, build)


def main():
    with tempfile.TemporaryDirectory() as tree, tempfile.TemporaryDirectory() as build:
        tree, build = os.path.realpath(tree), os.path.realpath(build)
        make_tree(tree, build)
        code, output = run_check(tree, build)
        if code != 0:
            print("the allowed tree was rejected:\n" + output)
            return 1
        t, b = tree, build
        # Project headers in angle brackets, and relative paths.
        expect_rejected(t, b, "angle brackets", "project header in angle brackets",
                        "client/maps/Bad.cpp", "#include <kestra/Log.h>\n")
        expect_rejected(t, b, "angle brackets, file beside", "project header in angle brackets",
                        "client/maps/Bad.cpp", "#include <Tiles.h>\n")
        expect_rejected(t, b, "..", "relative include path",
                        "client/maps/Bad.cpp", '#include "../../kestra/Log.h"\n')
        expect_rejected(t, b, ".. inside a path", "relative include path",
                        "client/app/Bad.cpp", '#include "client/app/../maps/Tiles.h"\n')
        expect_rejected(t, b, "quoted external header", "not a project file",
                        "client/maps/Bad.cpp", '#include "gloox/client.h"\n')
        # Files outside any layer.
        expect_rejected(t, b, "file directly under client/", "client/Loose.cpp: not in any folder",
                        "client/Loose.cpp", '#include "kestra/Log.h"\n')
        expect_rejected(t, b, "folder without a row", "client/view/View.cpp: not in any folder",
                        "client/view/View.cpp", '#include "kestra/Log.h"\n')
        # Edges the table does not grant.
        expect_rejected(t, b, "upward include", "client/maps may not include from client/app",
                        "client/maps/Bad.cpp", '#include "client/app/Controller.h"\n')
        expect_rejected(t, b, "updater using the client", "update may not include from client/maps",
                        "update/Bad.cpp", '#include "client/maps/Tiles.h"\n')
        # Libraries where they do not belong, by their own lines.
        expect_rejected(t, b, "GnuTLS in maps", "gnutls headers are not for client/maps",
                        "client/maps/Bad.cpp", "#include <gnutls/gnutls.h>\n")
        expect_rejected(t, b, "socket header in app", "sockets headers are not for client/app",
                        "client/app/Bad.cpp", "#include <sys/socket.h>\n")
        expect_rejected(t, b, "socket header in gui", "sockets headers are not for client/gui",
                        "client/gui/Bad.cpp", "#include <arpa/inet.h>\n")
        expect_rejected(t, b, "POSIX in messaging", "posix headers are not for client/messaging",
                        "client/messaging/Bad.cpp", "#include <unistd.h>\n")
        expect_rejected(t, b, "Qt in kestra", "qt headers are not for kestra",
                        "kestra/Bad.h", "#include <QString>\n")
        expect_rejected(t, b, "gloox in gui", "gloox headers are not for client/gui",
                        "client/gui/Bad.cpp", "#include <gloox/client.h>\n")
        expect_rejected(t, b, "unknown library", "an external header the layer check does not know",
                        "client/maps/Bad.cpp", "#include <sqlite3.h>\n")
        expect_accepted(t, b, "sockets in messaging", "client/messaging/Ok.cpp",
                        "#include <sys/socket.h>\n#include <gnutls/gnutls.h>\n")
        # gloox reaching a window (and the app's headers) through another header.
        expect_rejected(t, b, "gloox through a header",
                        "client/gui/Window.cpp: reaches gloox (sys/gloox/client.h) through "
                        "client/app/Controller.h -> client/messaging/Session.h",
                        "client/app/Controller.h", '#pragma once\n#include "client/messaging/Session.h"\n',
                        closure=True)
        expect_rejected(t, b, "gloox through an app header compiled on its own",
                        "client/app/Wrapped.h: reaches gloox",
                        "client/app/Wrapped.h", '#pragma once\n#include "client/messaging/Session.h"\n',
                        closure=True)
        # Qt Widgets reaching the Gui-only drawing layer.
        expect_rejected(t, b, "Qt Widgets in drawing", "reaches Qt module QtWidgets",
                        "client/drawing/Image.cpp", "#include <QWidget>\n", closure=True)
        # The link graph against the table.
        graph = dict(GRAPH)
        graph["lumora_app"] = ("client/app", GRAPH["lumora_app"][1] + ["PkgConfig::GLOOX"])
        expect_rejected(t, b, "a link the table lacks", "lumora_app links PkgConfig::GLOOX, which "
                        "the table does not list", graph=graph)
        graph = dict(GRAPH)
        graph["lumora_gui"] = ("client/gui", ["lumora_app", "Qt6::Widgets"])
        expect_rejected(t, b, "a link the table lists but CMake lacks",
                        "lumora_gui does not link lumora_drawing", graph=graph)
        graph = dict(GRAPH)
        graph["lumora_view"] = ("client/view", ["kestra"])
        expect_rejected(t, b, "a target without a row", "lumora_view (client/view/) has no row",
                        graph=graph)
        graph = dict(GRAPH)
        del graph["lumora_drawing"]
        expect_rejected(t, b, "a row without a target",
                        "the table lists lumora_drawing, which CMake does not make", graph=graph)
    if failures:
        print("\n\n".join(failures))
        return 1
    print("layer check self-test passed.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
