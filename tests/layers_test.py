#!/usr/bin/env python3
"""layers_test.py SRC: the layers of the source tree point one way.

Every folder is one layer; an include is spelled from the repository's root
("tables/textin.h"), so that its first word names the layer it uses. This
checks, over every .h and .cpp file:
- each project include is spelled that way and names a file that exists;
- a layer includes only the layers below it (LAYERS);
- the folder's CMakeLists.txt links every library of the layers its files
  include, and no library of a layer they do not include.
tests/, bench/ and fuzz/ sit on top and may use any layer.
"""
import os
import re
import sys

from fault_report import report

# Bottom up: each layer, the layers it may use, and its library's target.
LAYERS = {
    "numcore": ([], "numcore"),
    "cli": ([], "cli"),
    "tables": (["numcore", "cli"], "tables"),
    "parallel": (["numcore", "cli", "tables"], "parallel"),
    "mfit": (["numcore", "cli", "tables", "parallel"], "mfitlib"),
    "lvcmp": (["numcore", "cli", "tables", "parallel"], "lvcmplib"),
    "isocmp": (["numcore", "cli", "tables", "parallel"], "isocmplib"),
    "bamcount": (["numcore", "cli", "tables"], "bamcountlib"),
    "sigtable": (["numcore", "cli", "tables", "parallel", "lvcmp"], "sigtablelib"),
    "simcounts": (["numcore", "cli", "tables"], None),
    "readsindex": (["numcore", "cli", "tables"], None),
}
ON_TOP = ["tests", "bench", "fuzz"]
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def sources(root, folder):
    for path, dirs, files in os.walk(os.path.join(root, folder)):
        for name in sorted(files):
            if name.endswith((".h", ".cpp")):
                yield os.path.join(path, name)


def main():
    root = sys.argv[1]
    faults = []
    libraries = {lib: layer for layer, (_, lib) in LAYERS.items() if lib}
    for folder in list(LAYERS) + ON_TOP:
        used = set()
        for path in sources(root, folder):
            text = open(path, encoding="utf-8").read()
            where = os.path.relpath(path, root)
            for included in INCLUDE.findall(text):
                layer = included.split("/")[0]
                if "/" not in included or layer not in LAYERS and layer not in ON_TOP:
                    faults.append(f"{where}: \"{included}\" is not spelled from the root with its layer's folder")
                    continue
                if not os.path.isfile(os.path.join(root, included)):
                    faults.append(f"{where}: \"{included}\" is not a file of the tree")
                if layer == folder or folder in ON_TOP:
                    continue
                if layer not in LAYERS[folder][0]:
                    faults.append(f"{where}: the {folder} layer includes \"{included}\" of {layer}, "
                                  "which is not below it")
                used.add(layer)
        if folder in ON_TOP:
            continue
        cmake = open(os.path.join(root, folder, "CMakeLists.txt"), encoding="utf-8").read()
        linked = set()
        for call in re.findall(r"target_link_libraries\(([^)]*)\)", cmake):
            words = call.split()[1:]
            linked |= {libraries[w] for w in words if w in libraries}
        for layer in sorted(used - linked):
            faults.append(f"{folder}/CMakeLists.txt: {folder} includes {layer} but does not link "
                          f"{LAYERS[layer][1]}")
        for layer in sorted(linked - used - {folder}):
            faults.append(f"{folder}/CMakeLists.txt: {folder} links {LAYERS[layer][1]} but includes "
                          f"nothing of {layer}")
    return report(faults, "layers: ")


if __name__ == "__main__":
    sys.exit(main())
