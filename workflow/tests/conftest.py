import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "workflow", "scripts"))
# The program the workflow runs: the one ctest built, or the build folder's.
PROGRAM = os.environ.get("FLUVIAGEN", os.path.join(REPO, "build", "fluviagen"))
FAKE = os.path.join(HERE, "fake_program.py")
TEMPLATE = os.path.join(REPO, "examples", "river", "settings.txt")


def program_for_the_workflow():
    """The program, or a stand-in for the options the workflow asks it
    (`--list-settings`, `--plan`) where this build has none."""
    if not os.access(PROGRAM, os.X_OK):
        return PROGRAM
    import subprocess
    answer = subprocess.run([PROGRAM, "--list-settings", "--json"], capture_output=True)
    if answer.returncode == 0:
        return PROGRAM
    os.environ["FLUVIAGEN_REAL"] = PROGRAM
    return os.path.join(HERE, "program_stand_in.py")
