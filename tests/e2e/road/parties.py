"""The processes of the road: the local link service, development servers and the app, each
with its files in the run's work folder."""
import json
import os
import random
import socket
import urllib.error
import urllib.request

from .waiting import Process, pid_alive, until

PYTHON = "/usr/bin/python3"
HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The app's build profile fixes the service's API port; control and tunnel ports follow it. The
# app itself always takes the tunnel client's metrics port and the router's port.
API_PORT, CONTROL_PORT, TUNNEL_PORT = 20250, 20251, 20252
APP_PORTS = (20241, 20242)
# Ports the app names after a framework whatever runs there; a dev server avoids them.
FRAMEWORK_PORTS = {3000, 4000, 4321, 5173, 8000, 8080}


def port_free(port):
    for family, address in ((socket.AF_INET, "127.0.0.1"), (socket.AF_INET6, "::1")):
        with socket.socket(family, socket.SOCK_STREAM) as s:
            # As servers bind: connections of earlier runs waiting out TIME-WAIT do not count.
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            try:
                s.bind((address, port))
            except OSError as error:
                if family == socket.AF_INET6 and error.errno == 99:  # no IPv6 loopback here
                    continue
                return False
    return True


def dev_server_port():
    """A free port in the range the app looks at for development servers."""
    while True:
        port = random.randint(5200, 9900)
        if port not in FRAMEWORK_PORTS and port_free(port):
            return port


class HttpAnswer:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = {k.lower(): v for k, v in headers.items()}
        self.body = body

    @property
    def ended(self):
        return self.headers.get("x-skerrow-status") == "ended"

    def __repr__(self):
        return f"HttpAnswer({self.status}, {self.body[:60]!r})"


def http_get(url, timeout=3.0, method="GET", body=None, headers=None):
    """The answer to one request, whatever its status; None when there is no HTTP answer."""
    request = urllib.request.Request(url, method=method, data=body, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=timeout) as reply:
            return HttpAnswer(reply.status, dict(reply.headers), reply.read())
    except urllib.error.HTTPError as error:
        return HttpAnswer(error.code, dict(error.headers), error.read())
    except (OSError, ValueError):
        return None


class LinkService:
    def __init__(self, build_dir, work, log_dir, env):
        self.binary = os.path.join(build_dir, "bin", "skerrow-link-service")
        self.state_path = os.path.join(work, "link-service", "state.json")
        os.makedirs(os.path.dirname(self.state_path), exist_ok=True)
        self.log_dir = log_dir
        self.env = env
        self.process = None

    def start(self):
        # Installs and links are kept in a file so that a restart of the service keeps them.
        self.process = Process("link-service", [self.binary, "--state", self.state_path],
                               self.env, self.log_dir)
        self.process.start(stdout=-1)
        line = self.process.popen.stdout.readline().decode()
        if "ports" not in line:
            raise RuntimeError(f"the link service did not start: {self.process.log()[-2000:]}")
        return self

    def stop(self):
        if self.process:
            self.process.stop()

    def state(self):
        answer = http_get(f"http://127.0.0.1:{CONTROL_PORT}/state")
        return json.loads(answer.body) if answer and answer.status == 200 else None

    def links(self):
        state = self.state()
        return state["links"] if state else []

    def active_hosts(self):
        return {link["host"] for link in self.links() if not link.get("ended")}

    def register_install(self):
        """A second install, registered by a bare client."""
        answer = http_get(f"http://127.0.0.1:{API_PORT}/v1/install", method="POST", body=b"",
                          headers={"X-Skerrow-Device": f"bare-client-{random.random()}"})
        return json.loads(answer.body)


class DevServer:
    """A development server started from its project folder, as a developer would."""

    def __init__(self, project, work, log_dir, env, port=None, title="Harbor notes"):
        self.project = project
        self.folder = os.path.join(work, "projects", project)
        os.makedirs(self.folder, exist_ok=True)
        self.port = port or dev_server_port()
        self.process = Process(f"devserver-{project}",
                               [PYTHON, os.path.join(HERE, "devserver.py"), "--port", self.port,
                                "--title", title], env, log_dir, cwd=self.folder)

    def start(self):
        self.process.start()
        until(f"the dev server on port {self.port}",
              lambda: http_get(f"http://127.0.0.1:{self.port}/"), 15)
        return self

    def stop(self):
        self.process.stop()


class App:
    """The app binary with a private home, runtime and data folders."""

    def __init__(self, build_dir, work, log_dir, desktop_env):
        self.binary = os.path.join(build_dir, "bin", "skerrow")
        self.home = os.path.join(work, "home")
        self.runtime = os.path.join(work, "runtime")
        for folder in (self.home, self.runtime):
            os.makedirs(folder, mode=0o700, exist_ok=True)
        self.support = os.path.join(self.home, ".local", "share", "skerrow")
        self.env = dict(desktop_env)
        self.env.update({
            "HOME": self.home,
            "XDG_DATA_HOME": os.path.join(self.home, ".local", "share"),
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_STATE_HOME": os.path.join(self.home, ".local", "state"),
            "XDG_RUNTIME_DIR": self.runtime,
            "QT_QPA_PLATFORM": desktop_env.get("QT_QPA_PLATFORM", "xcb"),
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
            "QT_ACCESSIBILITY": "1",
            # No system bus for this run: the app must not see the machine's sessions.
            "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={os.path.join(work, 'no-system-bus')}",
        })
        self.log_dir = log_dir
        self.process = None
        self.starts = 0

    def start(self):
        self.starts += 1
        self.process = Process(f"skerrow-{self.starts}", [self.binary], self.env, self.log_dir)
        self.process.start()
        return self

    @property
    def pid(self):
        return self.process.pid

    def tunnel_pid(self):
        try:
            with open(os.path.join(self.support, "cloudflared.pid")) as f:
                pid = int(f.read().strip())
        except (OSError, ValueError):
            return None
        return pid if pid_alive(pid) else None

    def saved_links(self):
        try:
            with open(os.path.join(self.support, "links.json")) as f:
                return json.load(f)
        except (OSError, ValueError):
            return None

    def processes_left(self):
        """Pids of live processes that run with this app's home: the app and all it started."""
        marker = f"HOME={self.home}".encode()
        left = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if marker in f.read().split(b"\0") and pid_alive(int(entry)):
                        left.append(int(entry))
            except OSError:
                continue
        return left

    def stop(self):
        if self.process:
            self.process.stop()
        for pid in self.processes_left():
            try:
                os.kill(pid, 9)
            except OSError:
                pass
