"""The checks beyond the README's first command (`cmake --workflow --preset
default`), as nox sessions:

    nox                       # all of them, in this order:
    nox -s wheel              # source distribution, x86-64 wheel from it, checked and installed
    nox -s installed          # the Python suite against that wheel under CPython 3.10 to 3.13 (with Dask under 3.13)
    nox -s i386               # the 32-bit build and its tests, the i686 wheel
    nox -s asan               # the build and every test under ASan and UBSan
    nox -s fuzz -- 60         # every fuzz harness for 60 s (default 20)

and, not run by default:

    nox -s bench -- --filter base64   # bench/compare.py with the pinned peers

The wheels land in dist/. The tools come pinned from requirements/ and
bench/requirements.txt; the interpreters are the newest CPython 3.10 to 3.13
of pyenv, else of the PATH.
"""

import glob
import os
import re
import shutil
import subprocess
from pathlib import Path

import nox

ROOT = Path(__file__).resolve().parent
DIST = ROOT / "dist"
WORK = ROOT / "build-nox"
VERSIONS = ["3.10", "3.11", "3.12", "3.13"]
# The wheel each platform's build makes, and the tag auditwheel gives it.
PLATFORMS = {"x86_64": "linux_x86_64", "i686": "linux_i686"}

nox.needs_version = ">=2026.10.20"
nox.options.sessions = ["wheel", "installed", "i386", "asan", "fuzz"]
nox.options.default_venv_backend = "virtualenv"
nox.options.download_python = "never"
nox.options.reuse_venv = "yes"


def project_version():
    """The version declared by project() in CMakeLists.txt."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"^project\(korvalith\s+VERSION\s+([0-9.]+)", text, re.MULTILINE)[1]


def interpreter(version):
    """The newest CPython `version` of pyenv, else the name nox looks up."""
    root = os.environ.get("PYENV_ROOT") or os.path.expanduser("~/.pyenv")
    if shutil.which("pyenv"):
        found = subprocess.run(["pyenv", "root"], capture_output=True, text=True)
        root = found.stdout.strip() or root
    candidates = glob.glob(os.path.join(root, "versions", version + ".*", "bin", "python" + version))
    candidates = [path for path in candidates if re.search(r"/versions/\d+\.\d+\.\d+/", path)]
    if not candidates:
        return version
    return max(candidates, key=lambda path: [int(part) for part in re.findall(r"\d+", path.split("/versions/")[1])[:3]])


def repaired_wheel(machine):
    """The manylinux wheel of this version for `machine` in dist/, or None."""
    found = sorted(DIST.glob(f"korvalith-{project_version()}-cp310-abi3-manylinux_*_{machine}.whl"))
    return found[-1] if found else None


def build_and_repair(session, machine, env=None):
    """The source distribution, the wheel built from it in isolation (the
    backend fetched as pyproject.toml pins it), and that wheel repaired by
    auditwheel into dist/ under the oldest manylinux tag its symbols allow.
    Returns the source distribution and the repaired wheel."""
    session.install("-r", str(ROOT / "requirements" / "wheel.txt"))
    out = WORK / machine
    shutil.rmtree(out, ignore_errors=True)
    session.run("python", "-m", "build", "--outdir", str(out), str(ROOT), env=env)
    (sdist,) = out.glob("korvalith-*.tar.gz")
    (wheel,) = out.glob(f"korvalith-*-{PLATFORMS[machine]}.whl")
    DIST.mkdir(exist_ok=True)
    for old in DIST.glob(f"korvalith-*-manylinux_*_{machine}.whl"):
        old.unlink()
    session.run("auditwheel", "repair", "--wheel-dir", str(DIST), str(wheel))
    shutil.copy2(sdist, DIST / sdist.name)
    return sdist, repaired_wheel(machine)


def test_wheel(session, sdist, wheel, **env):
    with session.chdir(ROOT / "tests" / "wheel"):
        session.run("python", "-m", "unittest", "-v", "test_wheel",
                    env={"KORVALITH_SDIST": str(sdist), "KORVALITH_WHEEL": str(wheel), "PYTHONDONTWRITEBYTECODE": "1",
                         **env})


@nox.session
def wheel(session):
    """The x86-64 wheel from the source distribution: its tag, contents and
    stable-ABI symbols, and how it installs, runs, type-checks and
    uninstalls in fresh virtual environments."""
    sdist, repaired = build_and_repair(session, "x86_64")
    test_wheel(session, sdist, repaired)


# The command-line tests, which run once more through the korvalith program.
COMMAND_LINE_TESTS = ["test_cli", "test_cli_faults", "test_cli_streaming", "test_cli_targets", "test_cli_large",
                      "test_readme.CommandLineExamplesTest"]


@nox.session
@nox.parametrize("python", [interpreter(version) for version in VERSIONS], ids=VERSIONS)
def installed(session):
    """The whole Python suite against the wheel of `nox -s wheel`, installed
    in a virtual environment of each CPython as a user would have it: the
    command-line tests through cli.parse() of the installed module under
    this interpreter, then (in the newest interpreter's session) once more
    through the installed korvalith program, as CTest runs them through both
    entries of a build tree. The newest interpreter's session also has Dask
    (requirements/dask.txt) for the test of the Dask example."""
    wheel = repaired_wheel("x86_64")
    if wheel is None:
        session.error("no x86-64 wheel of version %s in dist/: run `nox -s wheel` first" % project_version())
    newest = session.python == interpreter(VERSIONS[-1])
    session.install("-r", str(ROOT / "requirements" / "test.txt"))
    # The Dask example's test (test_dask_example.py) runs under the newest
    # interpreter; the others report it as skipped.
    if newest:
        session.install("-r", str(ROOT / "requirements" / "dask.txt"))
    session.install("--no-deps", "--force-reinstall", str(wheel))
    program = shutil.which("korvalith", path=session.bin)
    # The wheel carries no Python launcher: this one runs cli.parse() of the
    # installed module under the session's interpreter.
    tmp = Path(session.create_tmp()).resolve()
    launcher = tmp / "korvalith-python"
    launcher.write_text("#!%s\nimport _korvalith; _korvalith.cli.parse()\n" % (Path(session.bin) / "python"),
                        encoding="utf-8")
    launcher.chmod(0o755)
    # The gibibytes that test bounded memory were moved by the build tree's
    # runs of the same code; once per interpreter here would add minutes.
    env = {"KORVALITH_PROGRAM": program, "KORVALITH_LAUNCHER": str(launcher), "KORVALITH_ENTRY": "python",
           "KORVALITH_VERSION": project_version(), "HYPOTHESIS_STORAGE_DIRECTORY": str(tmp),
           "KORVALITH_SKIP_LARGE_FILES": "1", "PYTHONDONTWRITEBYTECODE": "1"}
    with session.chdir(ROOT / "tests" / "python"):
        session.run("python", "-m", "unittest", "discover", "--quiet", "--start-directory", ".", env=env)
        # The installed program is one and the same under every interpreter:
        # its run through the command-line tests is made once, with the newest.
        if newest:
            session.run("python", "-m", "unittest", "--quiet", *COMMAND_LINE_TESTS,
                        env={**env, "KORVALITH_ENTRY": "program"})


@nox.session
def i386(session):
    """The 32-bit x86 workflow (the module, the C++ tests and the Python
    suite under a 32-bit interpreter), then the i686 wheel from the source
    distribution, installed under that interpreter."""
    session.run("cmake", "--workflow", "--preset", "i386", external=True)
    sdist, repaired = build_and_repair(session, "i686", env={"KORVALITH_WHEEL_PLATFORM": "linux_i686"})
    test_wheel(session, sdist, repaired, KORVALITH_WHEEL_INTERPRETER=str(ROOT / "build-i386" / "target-python"))


@nox.session(venv_backend="none")
def asan(session):
    """The module, the C++ tests and the Python suite under AddressSanitizer
    and UndefinedBehaviorSanitizer."""
    session.run("cmake", "--workflow", "--preset", "asan", external=True)


@nox.session(venv_backend="none")
def fuzz(session):
    """Every libFuzzer harness for a bounded time (seconds: the first
    argument, 20 by default)."""
    session.run(str(ROOT / "fuzz" / "run.sh"), *(session.posargs or ["20"]), external=True)


@nox.session
def bench(session):
    """bench/compare.py with its peers pinned in bench/requirements.txt,
    against the module of build/ (or --build DIR); arguments go to it."""
    session.install("-r", str(ROOT / "bench" / "requirements.txt"))
    session.run("python", str(ROOT / "bench" / "compare.py"), *session.posargs)
