"""Using the app's controls on Wayland, where no client may move the pointer or click for another:
the tray icon is activated over D-Bus as the tray host does on a click, and the panel's controls
through their accessibility actions."""
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

    def click(self, timeout=10, **query):
        """Does the default action of the control that the query finds, once it is on screen."""
        def ready():
            node = self.find(**query)
            if node is None or self.extents(node).width <= 0:
                return None
            return node

        node = until("the control to be on screen", ready, timeout, interval=0.15)
        actions = node.get_action_iface()
        assert actions is not None and actions.get_n_actions() > 0, "the control has no action"
        actions.do_action(0)
