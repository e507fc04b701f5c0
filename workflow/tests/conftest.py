import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "workflow", "scripts"))
# The program the workflow runs: the one ctest built, or the build folder's.
PROGRAM = os.environ.get("FLUVIAGEN", os.path.join(REPO, "build", "fluviagen"))
FAKE = os.path.join(HERE, "fake_program.py")
TEMPLATE = os.path.join(REPO, "examples", "river", "settings.txt")

