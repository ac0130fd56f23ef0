"""Checks that an extension module built for the stable ABI can load under
the interpreter running this script (run it with the oldest CPython the
module supports): lists every Py*/_Py* symbol the module leaves undefined and
fails on any that this interpreter (its libpython, or the executable itself
when built static) does not export. That the module exports only its init
function and links no libpython is checked by the Python suite itself
(test_shared_object).

Usage: python3.10 check_symbols.py [--nm NM] MODULE
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
    parser.add_argument('module')
    args = parser.parse_args()

    version = '%d.%d' % sys.version_info[:2]
    required = sorted(name for name in
                      dynamic_symbols(args.nm, args.module, '--undefined-only')
                      if name.startswith(('Py', '_Py')))
    images = interpreter_images()
    exported = set()
    for image in images:
        exported |= dynamic_symbols(args.nm, image, '--defined-only')

    print(f'Python symbols the module needs ({len(required)}), '
          f'checked against CPython {version} ({", ".join(images)}):')
    missing = [name for name in required if name not in exported]
    for name in required:
        print(f'  {name}{"  MISSING" if name in missing else ""}')
    if missing:
        print(f'error: CPython {version} does not export {", ".join(missing)}',
              file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
