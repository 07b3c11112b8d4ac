"""Running the programs under measurement and summing up their samples.

A sample is (wall, user CPU, system CPU seconds, peak RSS bytes) of one run
or of runs made one after the other (added_up); the tables and targets take
medians of the timed rounds (median, cpu) and the highest peak (peak). Also
here: what keeps the times honest on a shared machine (the nice value of the
session's scheduler group, no run right after a mass deletion) and the
description of the machine the times come from.
"""
import os
import platform
import shutil
import statistics
import subprocess
import time

MIB = 1024 * 1024
SCRATCH = "/tmp"  # set by bench.main()
# On ext4 without a journal, creating a file skips every free inode of its block
# group that was freed in the last 60 s (360 s while its inode table block is
# dirty), one buffer-cache lookup each: a run made just after a few thousand
# deletions spends up to 0.4 s more in the kernel. The benchmark therefore
# deletes nothing while it measures, and lets this much time pass after its
# own deletions before the first round.
INODE_REUSE_DELAY = 65


def log(text):
    print(text, flush=True)


def set_autogroup_nice(value):
    """With the kernel's autogroups on, a nice value only counts against the
    processes of the same session: the other sessions' work shares the cores
    with this one as a whole. This session's group gets the nice value too,
    and gives back the old one (read first) or None when there is no group."""
    try:
        with open("/proc/sys/kernel/sched_autogroup_enabled") as f:
            if f.read().strip() != "1":
                return None
        with open("/proc/self/autogroup") as f:
            old = int(f.read().split()[-1])  # "/autogroup-238 nice 0"
        with open("/proc/self/autogroup", "w") as f:
            f.write("%d\n" % value)
        return old
    except (OSError, ValueError):
        return None


def run(command, stdout=subprocess.DEVNULL):
    """Runs one child; gives (wall, user CPU, system CPU seconds, peak RSS bytes).

    The peak RSS is the one /usr/bin/time reports: the kernel's figure for a
    child forked from this interpreter would start at the interpreter's own."""
    rss_file = os.path.join(SCRATCH, "rss")
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command,
                             stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE)
    stderr = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError("%s exited with %d: %s" % (" ".join(command[:3]), child.returncode,
                                                      stderr.decode(errors="replace")[-2000:]))
    with open(rss_file) as f:
        peak = int(f.read().split()[-1]) * 1024
    return wall, usage.ru_utime, usage.ru_stime, peak


def run_to_file(command, path):
    with open(path, "w") as out:
        return run(command, stdout=out)


def added_up(samples):
    """One sample of runs made one after the other."""
    return (sum(s[0] for s in samples), sum(s[1] for s in samples), sum(s[2] for s in samples),
            max(s[3] for s in samples))


def median(samples, i):
    """The median of one field of the samples (0 wall, 1 user CPU, 2 system
    CPU)."""
    return statistics.median(s[i] for s in samples)


def peak(samples):
    return max(s[3] for s in samples)


def cpu(samples):
    """The median of user + system CPU."""
    return statistics.median(s[1] + s[2] for s in samples)


def removal_stamp():
    return os.path.join(SCRATCH, ".removed")


def remove_tree(folder):
    """Deletes a folder and notes when, see INODE_REUSE_DELAY."""
    if not os.path.lexists(folder):
        return
    shutil.rmtree(folder)
    os.sync()
    with open(removal_stamp(), "w") as f:
        f.write("%.3f\n" % time.time())


def wait_for_inode_reuse():
    try:
        with open(removal_stamp()) as f:
            removed = float(f.read())
    except (OSError, ValueError):
        return
    left = removed + INODE_REUSE_DELAY - time.time()
    if left > 0:
        log("waiting %.0f s after deleting old files, so that creating files costs what it "
            "does on a quiet file system" % left)
        time.sleep(left)


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        total = int(f.readline().split()[1]) * 1024
    try:
        with open("/etc/debian_version") as f:
            debian = "Debian " + f.read().strip()
    except OSError:
        debian = "not Debian"
    return "%d cores (nproc, %d usable), CPU \"%s\", %.1f GiB RAM, %s, %s" % (
        os.cpu_count(), len(os.sched_getaffinity(0)), model, total / 1024 ** 3, debian,
        platform.platform())
