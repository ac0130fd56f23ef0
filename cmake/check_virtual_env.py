"""Run by CTest (python.virtual_env) under the interpreter a build directory
was configured for, before its Python tests: fails, saying what to do, when
a virtual environment is active that is not this interpreter's, so that the
tests never run silently under another interpreter than the one the user
activated. Argument: the build directory."""

import os
import sys

active = os.environ.get("VIRTUAL_ENV")
if active and os.path.realpath(active) != os.path.realpath(sys.prefix):
    build = sys.argv[1]
    sys.exit(f"{build} was configured for the interpreter {sys.executable}, not for the active virtual "
             f"environment {active}. Configure it again from its preset, which takes the active environment's "
             f"interpreter (for build/: cmake --workflow --preset default), or start afresh "
             f"(cmake --fresh --preset default, or remove {build}).")
