"""Using the app's controls on Wayland, where no client may move the pointer or click for another:
the tray icon is activated over D-Bus as the tray host does on a click, and a panel control is
given the focus through the accessibility tree and pressed with the Space key of a virtual
keyboard. A real key matters: the compositor takes the clipboard only from an app that had an
input event, as it would after a user's click."""
import subprocess

from .screen import Screen
from .waiting import until

SNI_WATCHER = "org.kde.StatusNotifierWatcher"
SNI_ITEM = "org.kde.StatusNotifierItem"


class WaylandScreen(Screen):
    def __init__(self, env):
        super().__init__(env)
        from gi.repository import Gio
        self.gio = Gio
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def _call(self, destination, path, interface, method, args=None, reply=None):
        glib = self.glib
        return self.bus.call_sync(destination, path, interface, method, args,
                                  glib.VariantType(reply) if reply else None,
                                  self.gio.DBusCallFlags.NONE, 5000, None).unpack()

    def tray_item(self, app_pid):
        """The bus name and path of the app's StatusNotifierItem, or None while the tray host
        has not registered it."""
        (items,) = self._call(SNI_WATCHER, "/StatusNotifierWatcher",
                              "org.freedesktop.DBus.Properties", "Get",
                              self.glib.Variant("(ss)", (SNI_WATCHER,
                                                         "RegisteredStatusNotifierItems")), "(v)")
        for item in items:
            service, _, path = item.partition("/")
            (pid,) = self._call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                                self.glib.Variant("(s)", (service,)), "(u)")
            if pid == app_pid:
                return service, "/" + path
        return None

    def click_tray_icon(self, app_pid, timeout=20):
        service, path = until("the app's item in the tray", lambda: self.tray_item(app_pid),
                              timeout)
        self._call(service, path, SNI_ITEM, "Activate", self.glib.Variant("(ii)", (0, 0)))

    def focused(self, node):
        return node.get_state_set().contains(self.atspi.StateType.FOCUSED)

    def click(self, timeout=10, **query):
        """Focuses the control that the query finds and presses Space on it."""
        def focus():
            node = self.find(**query)
            if node is None or self.extents(node).width <= 0:
                return None
            node.get_component_iface().grab_focus()
            return self.focused(node)

        until("the control to take the focus", focus, timeout, interval=0.15)
        subprocess.run(["wtype", "-k", "space"], env=self.env, check=True, timeout=10)
