#!/usr/bin/python3
"""Time from the click on the share switch to the public address answering, median of 10,
against a client that only mints a link at the service and waits for its edge to answer.

usage: share_bench.py BUILD_DIR [ROUNDS]
"""
import json
import os
import statistics
import sys
import tempfile
import time

# Keep the source tree free of compiled files.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "tests", "e2e"))

from road.parties import API_PORT, http_get  # noqa: E402
from road.waiting import until  # noqa: E402
from road_test import Road  # noqa: E402


def baseline_round(service, authorization, port):
    """Mint a link with a bare client and wait for any answer from its public address."""
    started = time.monotonic()
    minted = http_get(f"http://127.0.0.1:{API_PORT}/v1/links", method="POST",
                      body=json.dumps({"port": port}).encode(),
                      headers={"Content-Type": "application/json",
                               "Authorization": authorization})
    host = json.loads(minted.body)["host"]
    until("the minted link's edge", lambda: http_get(f"http://{host}/", timeout=2), 30,
          interval=0.01)
    took = time.monotonic() - started
    http_get(f"http://127.0.0.1:{API_PORT}/v1/links/{host}", method="DELETE",
             headers={"Authorization": authorization})
    return took


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    build_dir = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) == 3 else 10
    road = Road(build_dir, tempfile.mkdtemp(prefix="skerrow-share-bench-"))
    try:
        road.start()
        road.step_1_local_apps()
        app_times = []
        for _ in range(rounds):
            app_times.append(road.share())
            road.unshare()
        install = road.service.register_install()
        authorization = f"Bearer {install['installId']}.{install['installToken']}"
        base_times = [baseline_round(road.service, authorization, road.dev.port)
                      for _ in range(rounds)]
    finally:
        road.stop()
    app_median = statistics.median(app_times)
    base_median = statistics.median(base_times)
    print(f"click on the share switch -> public address answers, median of {rounds}: "
          f"{app_median:.3f} s (min {min(app_times):.3f}, max {max(app_times):.3f})")
    print(f"baseline, mint at the service -> its edge answers, median of {rounds}: "
          f"{base_median:.3f} s")
    print(f"ratio app / baseline: {app_median / base_median:.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
