"""Drives the app through its real interface: a virtual desktop, real processes and sockets."""
