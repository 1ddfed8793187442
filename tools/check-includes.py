#!/usr/bin/env python3
"""Fails when an #include points up a floor of tools/include-floors.txt.

An include is resolved as the compiler does for the tree: beside the including file first, then from the top
folder (and tests/ for the tests). Includes that name no file of the tree (system headers) are not checked.
"""
import os
import re
import sys

SOURCES = ('.c', '.cc', '.cpp', '.h', '.hpp', '.inc')
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def read_floors(path):
    floors = {}
    for line in open(path, encoding='utf-8'):
        line = line.split('#', 1)[0].split()
        if line:
            level = len(set(floors.values()))
            for folder in line:
                floors[folder] = level
    return floors


def resolve(root, folder, name):
    for base in (folder, root, os.path.join(root, 'tests')):
        candidate = os.path.normpath(os.path.join(base, name))
        if os.path.isfile(candidate):
            return os.path.relpath(candidate, root)
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..'))
    floors = read_floors(os.path.join(root, 'tools', 'include-floors.txt'))
    problems = []
    for top in sorted(os.listdir(root)):
        path = os.path.join(root, top)
        if not os.path.isdir(path) or top.startswith(('.', 'build')):
            continue
        for folder, dirs, files in os.walk(path):
            dirs[:] = sorted(d for d in dirs if not d.startswith('.'))
            for name in sorted(files):
                if not name.endswith(SOURCES):
                    continue
                source = os.path.join(folder, name)
                relative = os.path.relpath(source, root)
                if top not in floors:
                    problems.append(f'{relative}: the folder {top}/ has no floor in tools/include-floors.txt')
                    break
                with open(source, encoding='utf-8', errors='replace') as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = resolve(root, folder, match.group(1))
                        if not target:
                            continue
                        other = target.split(os.sep)[0]
                        if other == top or other not in floors or floors[other] < floors[top]:
                            continue
                        way = 'up' if floors[other] > floors[top] else 'across'
                        problems.append(f'{relative}:{number}: includes {target}, {way} from {top}/ to {other}/')
    for problem in problems:
        print(problem)
    if problems:
        print(f'{len(problems)} include(s) against the floors of tools/include-floors.txt')
        return 1
    print('every include points down')
    return 0


if __name__ == '__main__':
    sys.exit(main())
