"""Checks that an extension module built for the stable ABI loads under the
interpreter running this script (run it with the oldest CPython the module
supports):

- every Py*/_Py* symbol the module leaves undefined is exported by this
  interpreter (its libpython, or the executable itself when built static);
- the module is not linked against any libpython, since the interpreter that
  loads it provides the symbols, whatever its version;
- the module exports nothing but its init function.

Usage: python3.10 check_symbols.py [--nm NM] [--readelf READELF] MODULE
"""

import argparse
import os
import subprocess
import sys
import sysconfig


def dynamic_symbols(nm, path, which):
    """Names in the dynamic symbol table of `path`; `which` is nm's
    --defined-only or --undefined-only."""
    output = subprocess.run([nm, '-D', which, path], check=True,
                            capture_output=True, text=True).stdout
    names = set()
    for line in output.splitlines():
        fields = line.split()
        if fields:
            names.add(fields[-1].split('@')[0])
    return names


def needed_libraries(readelf, path):
    output = subprocess.run([readelf, '-d', '--wide', path], check=True,
                            capture_output=True, text=True).stdout
    return [line.split('[', 1)[1].rstrip(']')
            for line in output.splitlines()
            if '(NEEDED)' in line and '[' in line]


def interpreter_images():
    """The files whose exports make up this interpreter's C API."""
    images = [os.path.realpath(sys.executable)]
    if sysconfig.get_config_var('Py_ENABLE_SHARED'):
        libdir = sysconfig.get_config_var('LIBDIR')
        soname = (sysconfig.get_config_var('INSTSONAME')
                  or sysconfig.get_config_var('LDLIBRARY'))
        library = os.path.join(libdir, soname)
        if not os.path.exists(library):
            sys.exit(f'error: libpython not found at {library}')
        images.append(library)
    return images


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--nm', default='nm')
    parser.add_argument('--readelf', default='readelf')
    parser.add_argument('module')
    args = parser.parse_args()

    version = '%d.%d' % sys.version_info[:2]
    failures = []

    required = sorted(name for name in
                      dynamic_symbols(args.nm, args.module, '--undefined-only')
                      if name.startswith(('Py', '_Py')))
    exported = set()
    images = interpreter_images()
    for image in images:
        exported |= dynamic_symbols(args.nm, image, '--defined-only')
    print(f'Python symbols the module needs ({len(required)}), '
          f'checked against CPython {version} ({", ".join(images)}):')
    for name in required:
        missing = name not in exported
        print(f'  {name}{"  MISSING" if missing else ""}')
        if missing:
            failures.append(f'{name} is not exported by CPython {version}')

    for library in needed_libraries(args.readelf, args.module):
        if library.startswith('libpython'):
            failures.append(f'the module is linked against {library}')

    init = 'PyInit_' + os.path.basename(args.module).split('.')[0]
    extra = dynamic_symbols(args.nm, args.module, '--defined-only') - {init}
    for name in sorted(extra):
        failures.append(f'the module exports {name}')

    for failure in failures:
        print(f'error: {failure}', file=sys.stderr)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
