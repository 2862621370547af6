"""Finding and using the app's controls from outside the app: the tray icon through the X
server, the panel's controls through the accessibility tree, clicks through the X server."""
import subprocess

from .waiting import until


class Screen:
    def __init__(self, env):
        # The accessibility library reads the session bus from the environment on first use, so
        # the caller has exported the desktop's environment before this import.
        import gi
        gi.require_version("Atspi", "2.0")
        from gi.repository import Atspi, GLib
        self.atspi = Atspi
        self.glib = GLib
        self.env = env
        # The app process whose controls are looked at.
        self.pid = None
        # Per process: its top-level windows seen in events.
        self.tops = {}
        self.listener = Atspi.EventListener.new(self._on_event)
        for kind in ("object:state-changed:showing", "object:property-change:accessible-name",
                     "object:children-changed", "window:", "focus:"):
            self.listener.register(kind)

    # --- X server -------------------------------------------------------------------------

    def _xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, capture_output=True,
                              text=True, timeout=10).stdout

    def click_at(self, x, y):
        # No --sync: it waits forever when the pointer is already there.
        self._xdotool("mousemove", int(x), int(y), "click", "1")

    def window_geometry(self, window):
        values = {}
        for line in self._xdotool("getwindowgeometry", "--shell", window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.isdigit() else value
        return values

    def tray_icon(self, app_pid):
        """The geometry of the app's icon inside the tray, or None while it is not embedded."""
        trays = [self.window_geometry(w)
                 for w in self._xdotool("search", "--onlyvisible", "--class", "trayer").split()]
        for window in self._xdotool("search", "--onlyvisible", "--pid", app_pid).split():
            g = self.window_geometry(window)
            if not (8 <= g.get("WIDTH", 0) <= 64 and 8 <= g.get("HEIGHT", 0) <= 64):
                continue
            for tray in trays:
                if (tray["X"] <= g["X"] < tray["X"] + tray["WIDTH"]
                        and tray["Y"] <= g["Y"] < tray["Y"] + tray["HEIGHT"]):
                    return g
        return None

    def click_tray_icon(self, app_pid, timeout=20):
        icon = until("the app's icon in the tray", lambda: self.tray_icon(app_pid), timeout)
        self.click_at(icon["X"] + icon["WIDTH"] / 2, icon["Y"] + icon["HEIGHT"] / 2)

    # --- accessibility tree ---------------------------------------------------------------

    def _on_event(self, event):
        # A popup window is no child of its application in the tree; its controls announce
        # themselves in events, and from any of them the way up leads to the popup itself.
        # A control that was just destroyed has no way up and is ignored.
        try:
            node = event.source
            while True:
                parent = node.get_parent()
                if parent is None:
                    return
                if parent.get_role() == self.atspi.Role.APPLICATION:
                    break
                node = parent
            tops = self.tops.setdefault(node.get_process_id(), [])
            if node not in tops:
                tops.append(node)
        except Exception:
            pass

    def _settle(self):
        # Takes in the change notifications: they keep the library's cache current and bring
        # the popup windows.
        context = self.glib.MainContext.default()
        while context.pending():
            context.iteration(False)

    def roots(self):
        """The app's windows, popups included."""
        self._settle()
        found = []
        desktop = self.atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(index)
            try:
                if app is None or app.get_process_id() != self.pid:
                    continue
                app.clear_cache()
                found += [app.get_child_at_index(i) for i in range(app.get_child_count())]
            except Exception:
                continue
        for top in self.tops.get(self.pid, []):
            # The panel rebuilds its rows, and a new control may take over the address of one
            # that was just destroyed: no cached name, role or child may outlive that.
            top.get_application().set_cache_mask(self.atspi.Cache.NONE)
            top.clear_cache()
            if top not in found:
                found.append(top)
        return [node for node in found if node is not None]

    def controls(self):
        """Every showing control of the app as (node, role, name, description)."""
        found = []
        stack = list(reversed(self.roots()))
        while stack:
            node = stack.pop()
            try:
                if not node.get_state_set().contains(self.atspi.StateType.SHOWING):
                    continue
                found.append((node, node.get_role_name(), node.get_name() or "",
                              node.get_description() or ""))
                children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
            except Exception:
                continue
            stack += [child for child in reversed(children) if child is not None]
        return found

    def find(self, name=None, description=None, role=None, starts_with=None):
        for node, node_role, node_name, node_description in self.controls():
            if role is not None and node_role != role:
                continue
            if name is not None and node_name != name:
                continue
            if description is not None and node_description != description:
                continue
            if starts_with is not None and not node_name.startswith(starts_with):
                continue
            return node
        return None

    def names(self):
        return [name for _, _, name, _ in self.controls() if name]

    def wait_for(self, what, timeout, **query):
        return until(what, lambda: self.find(**query), timeout, interval=0.2)

    def extents(self, node):
        return node.get_extents(self.atspi.CoordType.SCREEN)

    def enabled(self, node):
        return node.get_state_set().contains(self.atspi.StateType.ENABLED)

    def click(self, timeout=10, **query):
        """Clicks the middle of the control that the query finds once its place on screen has
        settled: the panel lays itself out again after each change, and a click during that lands
        elsewhere. The control is looked up afresh each time, since a rebuild replaces it."""
        last = []

        def settled():
            node = self.find(**query)
            if node is None:
                return None
            try:
                box = self.extents(node)
            except Exception:
                return None
            place = (box.x, box.y, box.width, box.height)
            steady = bool(last) and last[-1] == place and box.width > 0 and box.height > 0
            last.append(place)
            return steady and place

        x, y, width, height = until("the control to settle on screen", settled, timeout,
                                    interval=0.15)
        self.click_at(x + width / 2, y + height / 2)

    def describe(self):
        """A readable listing of the showing controls, for failure reports."""
        lines = []
        for node, role, name, description in self.controls():
            try:
                box = self.extents(node)
                where = f"{box.x},{box.y} {box.width}x{box.height}"
            except Exception:
                where = "?"
            lines.append(f"{role:<14} {name!r:<40} {description!r:<30} {where}")
        return "\n".join(lines)
