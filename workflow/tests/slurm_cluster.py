"""A real single-node SLURM cluster on localhost for the tests: Debian's
munged, slurmctld and slurmd, with a generated configuration (one node with
this machine's cores and memory, one partition), every file in a folder of
the test's own, started by the test and stopped when it ends.

Tried on Debian 12 as root: munged refuses to run as root, so it runs as the
`munge` user (whose key the package creates) on a socket of its own; the
SLURM daemons run as root (SlurmUser=root) with process tracking through
/proc and no task plugin, so no cgroups are needed, and without accounting
(Snakemake asks sacct first and falls back to scontrol).
"""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time

DAEMONS = {"/usr/sbin/munged": "munge", "/usr/sbin/slurmctld": "slurmctld", "/usr/sbin/slurmd": "slurmd",
           "/usr/bin/sbatch": "slurm-client"}


def missing():
    """Why no cluster can start here, or None."""
    absent = [package for path, package in DAEMONS.items() if not os.access(path, os.X_OK)]
    if absent:
        return (f"the SLURM packages are missing ({', '.join(absent)}): the cluster test needs them "
                "(tools/install-deps --tests installs them)")
    if os.geteuid() != 0:
        return "the test cluster's daemons run as root (SlurmUser=root): run the cluster test as root"
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def memory_mb():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) // 1024
    raise RuntimeError("no MemTotal in /proc/meminfo")


class Cluster:
    """`with Cluster() as cluster:` runs the daemons; `cluster.env` is the
    environment for sbatch, squeue and Snakemake. Its files live in a folder
    of its own, removed when it stops."""

    def __init__(self):
        self.folder = None
        self.started = []  # pid files of the daemons this cluster started

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def path(self, name):
        return os.path.join(self.folder, name)

    def start(self):
        # munged demands that everyone may enter every folder above its
        # socket: a folder of the cluster's own directly in /tmp.
        self.folder = tempfile.mkdtemp(prefix="fluviagen-slurm-", dir="/tmp")
        os.chmod(self.folder, 0o755)
        munge = self.path("munge")
        os.makedirs(munge)
        user = pwd.getpwnam("munge")
        os.chown(munge, user.pw_uid, user.pw_gid)
        os.chmod(munge, 0o755)  # munged demands a socket folder everyone may enter
        self.socket = os.path.join(munge, "socket")
        self.started.append(os.path.join(munge, "pid"))
        self.daemon(["runuser", "-u", "munge", "--", "/usr/sbin/munged", f"--socket={self.socket}",
                     f"--pid-file={munge}/pid", f"--log-file={munge}/log", f"--seed-file={munge}/seed"])
        for name in ("state", "spool"):
            os.makedirs(self.path(name))
        self.conf = self.path("slurm.conf")
        with open(self.conf, "w") as f:
            f.write(f"""ClusterName=fluviagen-test
SlurmctldHost=localhost
SlurmctldPort={free_port()}
SlurmdPort={free_port()}
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket={self.socket}
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core_Memory
StateSaveLocation={self.path("state")}
SlurmdSpoolDir={self.path("spool")}
SlurmctldPidFile={self.path("slurmctld.pid")}
SlurmdPidFile={self.path("slurmd.pid")}
SlurmctldLogFile={self.path("slurmctld.log")}
SlurmdLogFile={self.path("slurmd.log")}
ReturnToService=2
MpiDefault=none
NodeName=localhost NodeAddr=127.0.0.1 CPUs={os.cpu_count()} RealMemory={memory_mb()} State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
""")
        self.env = {**os.environ, "SLURM_CONF": self.conf, "USER": os.environ.get("USER") or "root"}
        self.started.append(self.path("slurmctld.pid"))
        self.daemon(["/usr/sbin/slurmctld", "-i"])
        self.started.append(self.path("slurmd.pid"))
        self.daemon(["/usr/sbin/slurmd", "-N", "localhost"])
        deadline = time.monotonic() + 60
        while True:
            state = subprocess.run(["sinfo", "-h", "-o", "%T"], env=self.env, capture_output=True, text=True)
            if state.stdout.strip() == "idle":
                return
            if time.monotonic() > deadline:
                raise RuntimeError(f"the test cluster's node is not idle after 60 s ({state.stdout.strip()} "
                                   f"{state.stderr.strip()}): {self.log('slurmctld.log')[-2000:]}")
            time.sleep(0.5)

    def daemon(self, command):
        started = subprocess.run(command, env=getattr(self, "env", None), capture_output=True, text=True, timeout=60)
        if started.returncode != 0:
            name = next(os.path.basename(word) for word in command if word.startswith("/usr/sbin/"))
            raise RuntimeError(f"the test cluster's {name} did not start: {started.stderr.strip()}")

    def log(self, name):
        try:
            with open(self.path(name)) as f:
                return f.read()
        except OSError:
            return ""

    def stop(self):
        """Ends the daemons this cluster started, by the process ids they wrote."""
        for pid_file in reversed(self.started):
            try:
                with open(pid_file) as f:
                    pid = int(f.read().split()[0])
            except (OSError, ValueError, IndexError):
                continue
            try:
                os.kill(pid, 15)
            except ProcessLookupError:
                continue
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                try:
                    os.kill(pid, 0)
                except ProcessLookupError:
                    break
                time.sleep(0.2)
        self.started = []
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)
            self.folder = None
