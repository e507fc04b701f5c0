import os
import shutil
import subprocess
import tempfile

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
DOCS = os.path.join(REPO, "docs")
# The build folder of the programs (ctest passes the one it built).
BUILD = os.environ.get("FLUVIAGEN_BUILD", os.path.join(REPO, "build"))


def program(name):
    path = os.path.join(BUILD, name)
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is not built: build the programs first (cmake --build {BUILD} -j2)")
    return path


@pytest.fixture(scope="session")
def site():
    """The site built once per test file, with warnings as errors."""
    out = os.environ.get("FLUVIAGEN_DOCS_OUT") or tempfile.mkdtemp(prefix="fluviagen-docs-")
    shutil.rmtree(out, ignore_errors=True)
    done = subprocess.run(["/usr/bin/python3", "-m", "sphinx", "-W", "--keep-going", "-q", "-b", "html",
                           "-d", os.path.join(out, ".doctrees"), DOCS, out],
                          capture_output=True, text=True)
    assert done.returncode == 0, "the site does not build without warnings:\n" + done.stderr
    return out
