#!/usr/bin/env python3
"""Runs clang-tidy over the given sources with the build folder's compile commands, in parallel.

With --changed, a file is checked only when its last clean check is out of date: when its text,
the text of a header of this tree that it includes (ninja's dependency records), or .clang-tidy
changed since. A clean check leaves its stamp in tools/tidy-clean.txt, which is committed with the
tree, so a fresh checkout checks only what changed since the stamps were last brought up to
date (a full check takes about half an hour on two cores). Exits 1 on a finding.
"""
import concurrent.futures
import hashlib
import json
import os
import shlex
import subprocess
import sys


def object_files(build):
    """Source path -> object file, from the compile commands."""
    objects = {}
    with open(os.path.join(build, 'compile_commands.json')) as f:
        for entry in json.load(f):
            args = shlex.split(entry['command'])
            if '-o' in args:
                objects[os.path.realpath(entry['file'])] = args[args.index('-o') + 1]
    return objects


def dependencies(build):
    """Object file -> the files of this tree it was compiled from (ninja -t deps)."""
    text = subprocess.run(['ninja', '-C', build, '-t', 'deps'], capture_output=True, text=True,
                          check=True).stdout
    deps, current = {}, None
    root = os.path.realpath('.') + os.sep
    for line in text.splitlines():
        if line and not line.startswith(' '):
            current = line.split(':', 1)[0]
            deps[current] = []
        elif line.strip() and current is not None:
            path = os.path.realpath(os.path.join(build, line.strip()))
            if path.startswith(root) and not path.startswith(os.path.realpath(build) + os.sep):
                deps[current].append(path)
    return deps


STAMPS = os.path.join('tools', 'tidy-clean.txt')


def stamp_of(source, headers):
    """A digest of the texts a check depends on, named relative to the tree's root."""
    root = os.path.realpath('.')
    digest = hashlib.sha1()
    for path in [os.path.realpath('.clang-tidy'), source] + sorted(set(headers)):
        digest.update(os.path.relpath(path, root).encode())
        try:
            with open(path, 'rb') as f:
                digest.update(f.read())
        except OSError:
            digest.update(b'missing')
    return digest.hexdigest()


def main():
    args = sys.argv[1:]
    build = 'build'
    changed = '--changed' in args
    files = [a for a in args if a != '--changed']
    stamps = {}
    if os.path.exists(STAMPS):
        with open(STAMPS) as f:
            for line in f:
                if line.strip():
                    name, digest = line.split()
                    stamps[name] = digest
    objects = object_files(build) if changed else {}
    deps = dependencies(build) if changed else {}

    work = []
    for source in files:
        real = os.path.realpath(source)
        stamp = stamp_of(real, deps.get(objects.get(real, ''), []))
        if changed and stamps.get(source) == stamp:
            continue
        work.append((source, stamp))

    def check(item):
        source, stamp = item
        run = subprocess.run(['clang-tidy', '-p', build, '--quiet', source],
                             capture_output=True, text=True)
        return source, run

    failed = 0
    clean = dict(work)
    with concurrent.futures.ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        for source, run in pool.map(check, work):
            if run.returncode != 0:
                failed += 1
                del clean[source]
                sys.stdout.write(run.stdout)
                sys.stderr.write(run.stderr)
    if clean:
        stamps.update(clean)
        with open(STAMPS, 'w') as f:
            for name in sorted(stamps):
                f.write(f'{name} {stamps[name]}\n')
    print(f'tidy: {len(work)} of {len(files)} files checked, {failed} with findings')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
