"""Shared fixtures of the Python module's tests: the source tree, the command line built
beside the module, and a runner that returns the command line's JSON."""

import json
import os
import subprocess
import sys

import pytest

SOURCE = os.environ.get("POLYDEC_SOURCE_DIR", os.path.abspath(os.path.join(__file__, "../../..")))
CLI = os.environ.get("POLYDEC_CLI", os.path.join(SOURCE, "build", "bin", "polydec"))


@pytest.fixture(scope="session")
def source():
    return SOURCE


@pytest.fixture(scope="session")
def example():
    return lambda name: os.path.join(SOURCE, "examples", name)


@pytest.fixture(scope="session")
def cli():
    """Runs the command line with --json and returns its output as Python objects."""

    def run(*args, json_flag=True):
        out = subprocess.run([CLI, *args] + (["--json"] if json_flag else []),
                             capture_output=True, text=True)
        assert out.returncode == 0, out.stderr
        return json.loads(out.stdout)

    return run


@pytest.fixture(scope="session")
def run_python():
    """Runs code in a fresh interpreter with the module on its path; returns the finished
    process."""

    def run(code, interpreter=sys.executable, cwd=SOURCE, timeout=120):
        env = dict(os.environ)
        env["PYTHONPATH"] = os.path.dirname(os.path.dirname(__import__("polydec").__file__))
        env["MPLBACKEND"] = "Agg"
        return subprocess.run([interpreter, "-c", code], capture_output=True, text=True,
                              cwd=cwd, env=env, timeout=timeout)

    return run


@pytest.fixture(scope="session")
def iron():
    import polydec

    return polydec.material("iron")
