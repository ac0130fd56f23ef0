"""The checks beyond the README's first command (`cmake --workflow --preset
default`), as nox sessions:

    nox                       # all of them, in this order:
    nox -s wheel              # source distribution, x86-64 wheel from it, checked and installed
    nox -s installed          # the Python suite against that wheel under CPython 3.10 to 3.13 (with Dask under 3.13)
    nox -s installed-unstable # the same under Debian's CPython 3.14 and 3.15, in a root of their own
    nox -s free-threaded      # CPython 3.13 without the global lock, built there; its cp313t wheel and the suite
    nox -s abi3t              # the module for 3.15's stable ABI of free-threaded builds, tested under the regular 3.15
    nox -s i386               # the 32-bit build and its tests, the i686 wheel
    nox -s aarch64            # the aarch64 build and its tests, under qemu
    nox -s wheel-aarch64      # the aarch64 wheel, checked, and the Python suite against it under qemu
    nox -s s390x              # the big-endian s390x build and its tests, under qemu
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
PLATFORMS = {"x86_64": "linux_x86_64", "i686": "linux_i686", "aarch64": "linux_aarch64"}
# The targets built here and run under qemu's user-mode emulation, and what
# their own interpreter takes from PyPI for the tests, pinned as
# requirements/test.txt pins it. mypy's compiled part (librt) has no s390x
# wheel: there the mypy checks of the stubs are skipped, and say why.
EMULATED = {"aarch64": ["hypothesis", "mypy"], "s390x": ["hypothesis"]}
# The Python of the emulated targets (Debian's).
TARGET_PYTHON = "3.11"

nox.needs_version = ">=2026.10.20"
nox.options.sessions = ["wheel", "installed", "installed-unstable", "free-threaded", "abi3t", "i386", "aarch64", "wheel-aarch64", "s390x", "asan", "fuzz"]
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
    # The installed program is one and the same under every interpreter: its
    # run through the command-line tests is made once, with the newest.
    run_installed_suite(session, Path(session.bin) / "python", shutil.which("korvalith", path=session.bin),
                        program_too=newest)


def run_installed_suite(session, python, program, program_too, tmp=None, inside=(), own_lock_too=False,
                        extra_env=None):
    """The whole Python suite under the interpreter `python` of a virtual
    environment where the wheel is installed, with `program` its korvalith
    command: the command-line tests through cli.parse() of the installed
    module, then, if `program_too`, once more through the program, and, if
    `own_lock_too`, once more inside a subinterpreter with a lock of its own
    (tests/python/in_interpreter.py). With `inside`, a command that runs its
    arguments elsewhere (tools/in_root.sh in a root of its own, where the
    paths are the same), the suite runs through it, in a clean environment
    with `extra_env`."""
    # The wheel carries no Python launcher: this one runs cli.parse() of the
    # installed module under that interpreter.
    tmp = tmp or Path(session.create_tmp()).resolve()
    launcher = tmp / "korvalith-python"
    launcher.write_text("#!%s\nimport _korvalith; _korvalith.cli.parse()\n" % python, encoding="utf-8")
    launcher.chmod(0o755)
    # The gibibytes that test bounded memory were moved by the build tree's
    # runs of the same code; once per interpreter here would add minutes.
    env = {"KORVALITH_PROGRAM": str(program), "KORVALITH_LAUNCHER": str(launcher), "KORVALITH_ENTRY": "python",
           "KORVALITH_VERSION": project_version(), "HYPOTHESIS_STORAGE_DIRECTORY": str(tmp),
           "KORVALITH_SKIP_LARGE_FILES": "1", "PYTHONDONTWRITEBYTECODE": "1", **(extra_env or {})}
    def run(*arguments, **extra):
        if inside:
            clean = ["env", "-i", "PATH=/usr/bin:/bin", "HOME=/root", "LANG=C.UTF-8"]
            clean += ["%s=%s" % item for item in {**env, **extra}.items()]
            session.run(*inside, *clean, str(python), *arguments, external=True)
        else:
            session.run(str(python), *arguments, env={**env, **extra}, external=True)

    with session.chdir(ROOT / "tests" / "python"):
        run("-m", "unittest", "discover", "--quiet", "--start-directory", ".")
        if program_too:
            run("-m", "unittest", "--quiet", *COMMAND_LINE_TESTS, KORVALITH_ENTRY="program")
        if own_lock_too:
            run("in_interpreter.py", "discover", "--quiet", "--start-directory", ".")


# The CPython versions taken from Debian's unstable release, which run in a
# root of their own (tools/debian_root.sh), and its packages for them.
UNSTABLE_VERSIONS = ["3.14", "3.15"]
UNSTABLE_ROOT = ROOT / "build-unstable-root"


def unstable_root(session, *extra_packages):
    """The root of Debian's unstable release with its CPython 3.14 and 3.15
    (and `extra_packages`), made or completed; the command prefix that runs
    a command in it (tools/in_root.sh, with this checkout at its own path)."""
    if os.geteuid() != 0:
        session.error("the root of Debian's unstable release needs root privileges (debootstrap, chroot)")
    if shutil.which("debootstrap") is None:
        session.error("debootstrap is not installed: apt-get install debootstrap, or run .ci/run")
    packages = [name for version in UNSTABLE_VERSIONS for name in ("python" + version, "python%s-venv" % version)]
    packages.append("binutils")  # the symbol checks of tests/python/test_shared_object.py
    session.run(str(ROOT / "tools" / "debian_root.sh"), str(UNSTABLE_ROOT), *packages, *extra_packages,
                external=True)
    return [str(ROOT / "tools" / "in_root.sh"), str(UNSTABLE_ROOT), str(ROOT)]


def unstable_venv(session, inside, version, wheel):
    """A virtual environment of Debian's CPython `version` in the unstable
    root, at the same path inside as out, with the pinned test packages and
    `wheel` (unless None) installed. The packages are fetched by this session's pip, as
    wheels for that version, and installed from there: nothing inside the
    root reaches the network."""
    work = WORK / "unstable" / version
    wheels = work / "wheels"
    session.run("python", "-m", "pip", "download", "--disable-pip-version-check", "--quiet", "--dest", str(wheels),
                "--only-binary=:all:", "--python-version", version, "--implementation", "cp",
                "--platform", "manylinux_2_34_x86_64", "--platform", "manylinux2014_x86_64",
                "-r", str(ROOT / "requirements" / "test.txt"))
    venv = work / "venv"
    shutil.rmtree(venv, ignore_errors=True)
    session.run(*inside, "python" + version, "-m", "venv", str(venv), external=True)
    pip = [str(venv / "bin" / "python"), "-m", "pip", "--disable-pip-version-check", "--quiet", "install",
           "--no-index", "--find-links", str(wheels)]
    session.run(*inside, *pip, "-r", str(ROOT / "requirements" / "test.txt"), external=True)
    if wheel is not None:
        session.run(*inside, *pip, "--no-deps", str(wheel), external=True)
    return work, venv


@nox.session(name="installed-unstable")
def installed_unstable(session):
    """The whole Python suite against the wheel of `nox -s wheel` under
    Debian's CPython 3.14 and 3.15, from its unstable release, in a root of
    their own that leaves the host's packages alone (tools/debian_root.sh),
    each in a virtual environment there, as `nox -s installed` runs it,
    with deprecation warnings as errors; then once more inside a
    subinterpreter with a lock of its own (concurrent.interpreters)."""
    wheel = repaired_wheel("x86_64")
    if wheel is None:
        session.error("no x86-64 wheel of version %s in dist/: run `nox -s wheel` first" % project_version())
    inside = unstable_root(session)
    for version in UNSTABLE_VERSIONS:
        work, venv = unstable_venv(session, inside, version, wheel)
        tmp = work / "tmp"
        shutil.rmtree(tmp, ignore_errors=True)
        tmp.mkdir()
        # Under the newest interpreters a deprecated use of the interpreter
        # fails the tests, in the processes they start too.
        run_installed_suite(session, venv / "bin" / "python", venv / "bin" / "korvalith", program_too=False,
                            tmp=tmp, inside=inside, own_lock_too=True,
                            extra_env={"PYTHONWARNINGS": "error::DeprecationWarning"})


@nox.session
def abi3t(session):
    """The module built for the stable ABI of free-threaded builds of 3.15
    and later (PEP 803, _korvalith.abi3t.so) against Debian's 3.15 headers in
    the unstable root, and the whole Python suite against it under Debian's
    regular 3.15, which loads it: no free-threaded 3.15 is at hand here."""
    inside = unstable_root(session, "g++", "cmake", "ninja-build", "python3.15-dev")
    build = ROOT / "build-abi3t"
    session.run(*inside, "cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                "-DKORVALITH_BUILD_TESTS=OFF", "-DKORVALITH_BUILD_BENCHMARKS=OFF", "-DKORVALITH_PYTHON_ABI=abi3t",
                "-DPython3_EXECUTABLE=/usr/bin/python3.15", external=True)
    session.run(*inside, "cmake", "--build", str(build), "--target", "_korvalith", "korvalith", external=True)
    work, venv = unstable_venv(session, inside, "3.15", None)
    tmp = work / "tmp-abi3t"
    shutil.rmtree(tmp, ignore_errors=True)
    tmp.mkdir()
    run_installed_suite(session, venv / "bin" / "python", build / "korvalith", program_too=False, tmp=tmp,
                        inside=inside, extra_env={"PYTHONPATH": str(build), "KORVALITH_MODULE_SUFFIX": ".abi3t.so"})


# Where tools/free_threaded_python.sh installs CPython 3.13 without the
# global interpreter lock, in the unstable root.
FREE_THREADED_PREFIX = "/opt/python3.13t"


@nox.session(name="free-threaded")
def free_threaded(session):
    """CPython 3.13 built without the global interpreter lock from Debian's
    python3.13 source package, in the unstable root
    (tools/free_threaded_python.sh); the cp313t wheel built there from the
    source distribution of `nox -s wheel`, with the root's compiler, installed
    in a virtual environment of that interpreter; and the whole Python suite
    against it, which checks that the interpreter stays without its lock.
    hypothesis and mypy have no wheels for it: their tests report themselves
    skipped."""
    sdist = DIST / f"korvalith-{project_version()}.tar.gz"
    if not sdist.exists():
        session.error("no source distribution of version %s in dist/: run `nox -s wheel` first" % project_version())
    inside = unstable_root(session, "g++", "cmake", "ninja-build")
    session.run(str(ROOT / "tools" / "free_threaded_python.sh"), str(UNSTABLE_ROOT), FREE_THREADED_PREFIX,
                external=True)
    work = WORK / "free-threaded"
    shutil.rmtree(work, ignore_errors=True)
    wheels = work / "wheels"
    # The build backend, fetched here as pyproject.toml pins it; nothing
    # inside the root reaches the network.
    backend = re.search(r'requires = \["([^"]+)"\]', (ROOT / "pyproject.toml").read_text(encoding="utf-8"))[1]
    session.run("python", "-m", "pip", "download", "--disable-pip-version-check", "--quiet", "--dest", str(wheels),
                "--only-binary=:all:", "--python-version", "3.13", "--implementation", "cp", "--abi", "cp313t",
                "--abi", "none", "--platform", "any", backend)
    # The root's pip, run from its wheel: this interpreter has no pip of its own.
    (pip_wheel,) = (UNSTABLE_ROOT / "usr" / "share" / "python-wheels").glob("pip-*.whl")
    pip_inside = "/usr/share/python-wheels/" + pip_wheel.name + "/pip"
    venv = work / "venv"
    session.run(*inside, FREE_THREADED_PREFIX + "/bin/python3.13t", "-m", "venv", "--without-pip", str(venv),
                external=True)
    python = str(venv / "bin" / "python")
    session.run(*inside, python, pip_inside, "wheel", "--disable-pip-version-check", "--quiet", "--no-index",
                "--find-links", str(wheels), "--no-deps", "--wheel-dir", str(work / "dist"), str(sdist), external=True)
    (wheel,) = (work / "dist").glob(f"korvalith-{project_version()}-cp313-cp313t-linux_x86_64.whl")
    session.run(*inside, python, pip_inside, "install", "--disable-pip-version-check", "--quiet", "--no-index",
                "--no-deps", str(wheel), external=True)
    tmp = work / "tmp"
    tmp.mkdir()
    # Debian's site module looks for a virtual environment's packages under
    # lib/python3.13, where this build's pip puts them under lib/python3.13t.
    run_installed_suite(session, venv / "bin" / "python", venv / "bin" / "korvalith", program_too=False, tmp=tmp,
                        inside=inside, extra_env={"PYTHONPATH": str(venv / "lib" / "python3.13t" / "site-packages")})


@nox.session
def i386(session):
    """The 32-bit x86 workflow (the module, the C++ tests and the Python
    suite under a 32-bit interpreter), then the i686 wheel from the source
    distribution, installed under that interpreter."""
    session.run("cmake", "--workflow", "--preset", "i386", external=True)
    sdist, repaired = build_and_repair(session, "i686", env={"KORVALITH_WHEEL_PLATFORM": "linux_i686"})
    test_wheel(session, sdist, repaired, KORVALITH_WHEEL_INTERPRETER=str(ROOT / "build-i386" / "target-python"))


def require_emulation(session, machine):
    """Stops the session, saying what to install, unless the kernel starts
    `machine`'s programs through qemu (binfmt_misc): the tests start them
    as any program, the korvalith program and the interpreter alike."""
    handler = Path("/proc/sys/fs/binfmt_misc") / ("qemu-" + machine)
    try:
        enabled = handler.read_text().splitlines()[0] == "enabled"
    except OSError:
        enabled = False
    if not enabled:
        session.error(f"the kernel does not run {machine} programs through qemu ({handler} is not enabled): "
                      f"install qemu-user-static and binfmt-support (docs/BUILDING.md, Targets), or run .ci/run")


def target_packages(session, machine):
    """The packages the tests take from PyPI, as wheels for `machine`, into
    the directory the preset puts on the target interpreter's path."""
    directory = ROOT / f"build-{machine}" / "target-packages"
    shutil.rmtree(directory, ignore_errors=True)
    session.run("python", "-m", "pip", "install", "--disable-pip-version-check", "--quiet", "--target", str(directory),
                "--platform", f"manylinux2014_{machine}", "--python-version", TARGET_PYTHON, "--implementation", "cp",
                "--only-binary=:all:", "-c", str(ROOT / "requirements" / "test.txt"), *EMULATED[machine])


@nox.session
def aarch64(session):
    """The aarch64 workflow, cross-built (the module, the program, the
    benchmarks), with the C++ tests and the Python suite, through both
    entries of the command line, under qemu, but for the tests labelled
    large: the aarch64 interpreter takes its own hypothesis and mypy."""
    require_emulation(session, "aarch64")
    target_packages(session, "aarch64")
    session.run("cmake", "--workflow", "--preset", "aarch64", external=True)


@nox.session(name="wheel-aarch64")
def wheel_aarch64(session):
    """The aarch64 wheel from the source distribution, cross-built and
    checked as the x86-64 one is, installed into virtual environments of the
    aarch64 interpreter under qemu, and the whole Python suite against it
    there, as `nox -s installed` runs it: the command line through
    cli.parse() of the installed module, then through the installed
    program."""
    require_emulation(session, "aarch64")
    # The aarch64 interpreter of the aarch64 build, made if that build has
    # not made it yet.
    session.run("cmake", "--preset", "aarch64", external=True, silent=True)
    session.run("cmake", "--build", "--preset", "aarch64", "--target", "target-python", external=True)
    python = ROOT / "build-aarch64" / "target-python"
    sdist, repaired = build_and_repair(session, "aarch64", env={"KORVALITH_WHEEL_PLATFORM": "linux_aarch64"})
    test_wheel(session, sdist, repaired, KORVALITH_WHEEL_INTERPRETER=str(python))

    venv = Path(session.create_tmp()).resolve() / "aarch64-venv"
    shutil.rmtree(venv, ignore_errors=True)
    session.run(str(python), "-m", "venv", str(venv), external=True)
    pip = [str(venv / "bin" / "python"), "-m", "pip", "--disable-pip-version-check", "--quiet", "install"]
    session.run(*pip, "-r", str(ROOT / "requirements" / "test.txt"), external=True)
    session.run(*pip, "--no-deps", str(repaired), external=True)
    run_installed_suite(session, venv / "bin" / "python", venv / "bin" / "korvalith", program_too=True)


@nox.session
def s390x(session):
    """The big-endian s390x workflow, cross-built against Debian's s390x
    packages unpacked into a root of their own (tools/target_root.sh), with
    the C++ tests and the Python suite, through both entries of the command
    line, under qemu, but for the tests labelled large."""
    require_emulation(session, "s390x")
    session.run(str(ROOT / "tools" / "target_root.sh"), "s390x", str(ROOT / "build-s390x-root"), external=True)
    target_packages(session, "s390x")
    session.run("cmake", "--workflow", "--preset", "s390x", external=True)


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
