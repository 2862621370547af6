#!/usr/bin/python3
"""Idle cost of the whole road with one link shared and the panel closed: CPU and resident
memory of the app, its tunnel client and the link service, against an idle dev server
measured in the same window.

usage: idle_bench.py BUILD_DIR [SECONDS]
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

# Keep the source tree free of compiled files.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))

from road.parties import DevServer  # noqa: E402
from road.waiting import until  # noqa: E402
from road_test import Road  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime + stime


def resident_mib(pid):
    with open(f"/proc/{pid}/statm") as f:
        return int(f.read().split()[1]) * PAGE / (1024 * 1024)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    build_dir = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) == 3 else 30
    road = Road(build_dir, tempfile.mkdtemp(prefix="skerrow-idle-bench-"))
    extra = []
    try:
        road.start()
        for index in range(4):
            # Each server listens before the next picks its port, so no two pick the same.
            extra.append(DevServer(f"side-project-{index + 1}", road.work, road.logs,
                                   road.desktop.env, title=f"Side project {index + 1}").start())
        road.open_panel()
        for server in [road.dev, *extra]:
            road.panel_find(f"the app row {server.project}", 60, name=server.project)
        road.share()
        # Escape closes the panel; the app then runs as it does most of the day.
        subprocess.run(["xdotool", "key", "Escape"], env=road.desktop.env, check=False)
        until("the panel to close", lambda: road.screen.find(name="Quit") is None, 10)
        parties = {"app": road.app.pid,
                   "tunnel client": until("the tunnel client", road.app.tunnel_pid, 10),
                   "link service": road.service.process.pid}
        servers = [server.process.pid for server in [road.dev, *extra]]
        pids = [*parties.values(), *servers]
        before = {pid: cpu_seconds(pid) for pid in pids}
        started = time.monotonic()
        # The measurement window itself: the road idles while the clock runs.
        until("the measurement window", lambda: time.monotonic() - started >= seconds,
              seconds + 5, interval=1)
        elapsed = time.monotonic() - started
        cpu = {pid: 100 * (cpu_seconds(pid) - before[pid]) / elapsed for pid in pids}
        rss = {pid: resident_mib(pid) for pid in pids}
        assert road.answers(), "the shared link stopped answering while idle"
    finally:
        road.stop()
        for server in extra:
            server.stop()
    base_cpu = statistics.mean(cpu[pid] for pid in servers)
    base_rss = statistics.mean(rss[pid] for pid in servers)
    print(f"idle for {elapsed:.0f} s, one link shared, panel closed, five dev servers")
    print(f"baseline, one idle dev server: cpu {base_cpu:.2f} %, resident {base_rss:.1f} MiB")
    for name, pid in parties.items():
        cpu_ratio = cpu[pid] / base_cpu if base_cpu > 0 else float("inf")
        print(f"{name:<14} cpu {cpu[pid]:6.2f} % ({cpu_ratio:5.1f} x baseline)   "
              f"resident {rss[pid]:6.1f} MiB ({rss[pid] / base_rss:4.1f} x baseline)")
    total_cpu = sum(cpu[pid] for pid in parties.values())
    total_rss = sum(rss[pid] for pid in parties.values())
    print(f"{'whole road':<14} cpu {total_cpu:6.2f} %   resident {total_rss:6.1f} MiB")
    return 0


if __name__ == "__main__":
    sys.exit(main())
