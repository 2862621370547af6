"""Waiting on conditions with a time limit, and the processes a run starts."""
import os
import signal
import subprocess
import time


class WaitTimeout(AssertionError):
    pass


def until(what, probe, timeout, interval=0.1):
    """Polls `probe` until it returns something truthy and returns that; fails after `timeout`
    seconds naming `what` and the last value seen."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
        except Exception as error:  # a probe that cannot answer yet counts as "not yet"
            last = error
        else:
            if last:
                return last
        if time.monotonic() >= deadline:
            raise WaitTimeout(f"timed out after {timeout:g} s waiting for {what} (last: {last!r})")
        time.sleep(interval)


def pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A zombie still answers signal 0; it has ended all the same.
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class Process:
    """One child process whose output goes to a log file next to the test's other artifacts."""

    def __init__(self, name, args, env, log_dir, cwd=None):
        self.name = name
        self.args = [str(a) for a in args]
        self.env = env
        self.cwd = cwd
        self.log_path = os.path.join(log_dir, f"{name}.log")
        self.popen = None

    def start(self, stdout=None):
        log = open(self.log_path, "ab")
        self.popen = subprocess.Popen(self.args, env=self.env, cwd=self.cwd,
                                      stdout=stdout if stdout is not None else log,
                                      stderr=log, stdin=subprocess.DEVNULL)
        log.close()
        return self

    @property
    def pid(self):
        return self.popen.pid

    def running(self):
        return self.popen is not None and self.popen.poll() is None

    def wait_exit(self, timeout):
        """Returns the exit status, or None when it still runs after `timeout` seconds."""
        try:
            return self.popen.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill9(self):
        if self.running():
            self.popen.send_signal(signal.SIGKILL)
            self.popen.wait()

    def stop(self, timeout=5):
        if not self.running():
            return self.popen.returncode if self.popen else None
        self.popen.send_signal(signal.SIGTERM)
        code = self.wait_exit(timeout)
        if code is None:
            self.kill9()
        return code

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""
